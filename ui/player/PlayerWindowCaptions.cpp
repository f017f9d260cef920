// The player's captions: the current caption, the strip that shows it, the
// caption font and the separate caption window.
#include <QColorDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QPainter>

#include <algorithm>

#include "recorder/RecorderSettings.h"
#include "ui/player/CaptionFont.h"
#include "ui/player/CaptionText.h"
#include "ui/player/CaptionWindow.h"
#include "ui/player/PlayerWindow.h"

namespace larkspan {
namespace {

constexpr int kStripStep = 5;

}  // namespace

void PlayerWindow::HandleCaptionEvent() {
    std::string text;
    if (!engine_->ReadCaption(text)) return;
    currentCaption_ = QString::fromStdString(CleanCaptionText(std::move(text)));
    if (captionWindow_) captionWindow_->SetCaption(currentCaption_);
    update(CaptionStripRect(size(), fullScreen_, ShownCaptionMargin()));
}

void PlayerWindow::RebuildCaptionFont() {
    captionFont_ = CaptionFontFor(settings_, preciseCaptionSize_);
    if (captionWindow_) captionWindow_->SetCaptionLook(captionFont_, ColorFromColorRef(settings_.captionColor));
    update(CaptionStripRect(size(), fullScreen_, ShownCaptionMargin()));
}

void PlayerWindow::PaintCaptionStrip(QPainter& painter) {
    if (!CaptionsShowing()) return;  // the video covers the strip's place
    const QRect strip = CaptionStripRect(size(), fullScreen_, ShownCaptionMargin());
    painter.fillRect(strip, Qt::black);
    if (currentCaption_.isEmpty()) return;
    painter.save();
    painter.setClipRect(strip);  // long captions stay inside the strip
    painter.setFont(captionFont_);
    painter.setPen(ColorFromColorRef(settings_.captionColor));
    painter.drawText(strip, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, currentCaption_);
    painter.restore();
}

void PlayerWindow::FontBigger() {
    settings_.captionSize = std::min(settings_.captionSize + 1, kLargestCaptionSize);
    preciseCaptionSize_ = 0.0;
    RebuildCaptionFont();
}

void PlayerWindow::FontSmaller() {
    settings_.captionSize = std::max(settings_.captionSize - 1, kSmallestCaptionSize);
    preciseCaptionSize_ = 0.0;
    RebuildCaptionFont();
}

void PlayerWindow::FontThick() {
    settings_.captionBold = !settings_.captionBold;
    RebuildCaptionFont();
}

void PlayerWindow::SettingFont() {
    // The font first, then its colour; each dialog's OK keeps what it chose.
    auto* fonts = new QFontDialog(captionFont_, this);
    fonts->setAttribute(Qt::WA_DeleteOnClose);
    connect(fonts, &QFontDialog::fontSelected, this, [this](const QFont& font) {
        const double size = font.pointSizeF() > 0 ? font.pointSizeF() : captionFont_.pointSizeF();
        settings_.captionSize = std::clamp(static_cast<int>(size), kSmallestCaptionSize, kLargestCaptionSize);
        preciseCaptionSize_ = size;
        settings_.captionStyleName = QFontDatabase::styleString(font).toStdString();
        settings_.captionFaceName = font.family().toStdString();
        settings_.captionBold = font.weight() == QFont::Bold ? 1 : 0;
        RebuildCaptionFont();

        auto* colors = new QColorDialog(ColorFromColorRef(settings_.captionColor), this);
        colors->setAttribute(Qt::WA_DeleteOnClose);
        connect(colors, &QColorDialog::colorSelected, this, [this](const QColor& color) {
            settings_.captionColor = ColorRefFromColor(color);
            RebuildCaptionFont();
        });
        colors->open();
    });
    fonts->open();
}

void PlayerWindow::LargeCaptionStrip() {
    if (!engine_->HasCaptions() && !settings_.enableCaption) return;
    settings_.captionMargin += kStripStep;
    // Windowed, the video keeps its place and the strip grows over it; in
    // full screen the video gives up the room.
    Relayout(fullScreen_ ? size() : size() + QSize(0, kStripStep));
}

void PlayerWindow::SmallCaptionStrip() {
    if (!engine_->HasCaptions() && !settings_.enableCaption) return;
    settings_.captionMargin = std::max(settings_.captionMargin - kStripStep, 0);
    Relayout(fullScreen_ ? size() : size() - QSize(0, kStripStep));
}

void PlayerWindow::ToggleHideCaption() {
    settings_.enableCaption = !settings_.enableCaption;
    ShowCaptions(settings_.enableCaption != 0);
}

void PlayerWindow::ShowCaptions(bool show) {
    Relayout(size());
    if (captionWindow_) captionWindow_->setVisible(show);
}

void PlayerWindow::ToggleCaptionWindow() {
    settings_.spliteCaptionWnd = !settings_.spliteCaptionWnd;
    if (settings_.spliteCaptionWnd) {
        if (!captionWindow_) CreateCaptionWindow();
        captionWindow_->show();
    } else {
        delete captionWindow_.data();
    }
}

void PlayerWindow::CreateCaptionWindow() {
    captionWindow_ = new CaptionWindow(skin(), profile_, this);
    captionWindow_->SetOnTop(settings_.onTop != 0);
    captionWindow_->SetCaptionLook(captionFont_, ColorFromColorRef(settings_.captionColor));
    captionWindow_->SetCaption(currentCaption_);
}

}  // namespace larkspan
