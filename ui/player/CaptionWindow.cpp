#include "ui/player/CaptionWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>

#include "recorder/SettingsProfile.h"
#include "ui/player/PlayerFrame.h"
#include "ui/player/PlayerLayout.h"

namespace larkspan {
namespace {

const char kSection[] = "Settings";
constexpr int kDefaultHeight = 100;

}  // namespace

CaptionWindow::CaptionWindow(Skin& skin, SettingsProfile& profile, QWidget* player)
    : SkinnedWindow(skin, player), profile_(profile) {
    setWindowTitle(QStringLiteral("Caption Screen"));
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect work = primary ? primary->availableGeometry() : QRect(0, 0, 1024, 768);
    const int x = profile_.GetInt(kSection, "Caption x", 0);
    const int y = profile_.GetInt(kSection, "Caption y", work.height() - kDefaultHeight);
    const int w = profile_.GetInt(kSection, "Caption w", work.width() / 2);
    const int h = profile_.GetInt(kSection, "Caption h", kDefaultHeight);
    resize(std::max(w, kMinimumWindowSide), std::max(h, kMinimumWindowSide));
    move(x, y);
}

CaptionWindow::~CaptionWindow() {
    const QRect frame = geometry();
    profile_.WriteInt(kSection, "Caption x", frame.x());
    profile_.WriteInt(kSection, "Caption y", frame.y());
    profile_.WriteInt(kSection, "Caption w", frame.width());
    profile_.WriteInt(kSection, "Caption h", frame.height());
}

void CaptionWindow::SetCaption(const QString& text) {
    caption_ = text;
    update();
}

void CaptionWindow::SetCaptionLook(const QFont& font, const QColor& color) {
    font_ = font;
    color_ = color;
    update();
}

void CaptionWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintPlayerFrame(painter, skin(), size());
    if (caption_.isEmpty()) return;
    painter.setFont(font_);
    painter.setPen(color_);
    const QRect interior = rect().adjusted(kVideoInsetX, kVideoInsetY, -kVideoInsetX, -kVideoInsetY);
    painter.drawText(interior, Qt::AlignCenter | Qt::TextWordWrap, caption_);
}

}  // namespace larkspan
