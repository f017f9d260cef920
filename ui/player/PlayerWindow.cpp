#include "ui/player/PlayerWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>

#include <algorithm>

#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"
#include "ui/player/CaptionWindow.h"
#include "ui/player/PlayerFrame.h"
#include "ui/player/ScreenSaverInhibitor.h"
#include "ui/player/VideoWidget.h"

namespace larkspan {
namespace {

const char kPositionSection[] = "Settings";
const QString kInitialTitle = QStringLiteral("Larkspan Recorder/Player");
// The window's size before a medium sizes it: a 320 x 240 video in its frame.
constexpr int kInitialWidth = 366;
constexpr int kInitialHeight = 292;
// Offsets of the default position from the screen's centre.
constexpr int kDefaultOffsetX = 183;
constexpr int kDefaultOffsetY = 146;
// A video smaller than this on both sides is not worth a window.
constexpr int kSmallestVideoSide = 10;
constexpr int kTitleMargin = 63;
const QColor kTitleColor(250, 241, 5);

// The saved top-left when some screen holds it; otherwise one that centres
// the window on the primary screen.
QPoint InitialPosition(SettingsProfile& profile) {
    int x = profile.GetInt(kPositionSection, "Player xPos", 0);
    int y = profile.GetInt(kPositionSection, "Player yPos", 0);
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect screen = primary ? primary->geometry() : QRect(0, 0, 1024, 768);
    if (!QGuiApplication::screenAt(QPoint(x, y))) x = y = 0;
    if (x < 1) x = screen.width() / 2 - kDefaultOffsetX;
    if (y < 1) y = screen.height() / 2 - kDefaultOffsetY;
    return QPoint(x, y);
}

}  // namespace

PlayerWindow::PlayerWindow(RecorderSettings& settings, SettingsProfile& profile, Skin& skin,
                           PlaybackEngineOptions engineOptions, QWidget* owner)
    : SkinnedWindow(skin, owner),
      settings_(settings),
      profile_(profile),
      engine_(std::make_unique<PlaybackEngine>(std::move(engineOptions))),
      mediaTitle_(kInitialTitle),
      shownTitle_(kInitialTitle) {
    setWindowTitle(QStringLiteral("Media Screen"));
    video_ = new VideoWidget(this);
    screenSaver_ = new ScreenSaverInhibitor(this);

    titleFont_ = QFont(QString::fromUtf8("\xEA\xB5\xB4\xEB\xA6\xBC"));  // Gulim
    titleFont_.setPointSizeF(8.5);
    RebuildCaptionFont();

    titleTimer_.setSingleShot(true);
    titleTimer_.setInterval(1000);
    connect(&titleTimer_, &QTimer::timeout, this, &PlayerWindow::RestoreTitle);
    playbackTimer_.setInterval(100);
    connect(&playbackTimer_, &QTimer::timeout, this, &PlayerWindow::HandleTick);

    connect(engine_.get(), &PlaybackEngine::opened, this, &PlayerWindow::HandleOpened);
    connect(engine_.get(), &PlaybackEngine::openFailed, this, &PlayerWindow::HandleOpenFailed);
    connect(engine_.get(), &PlaybackEngine::frameReady, video_, &VideoWidget::ShowFrame);
    connect(engine_.get(), &PlaybackEngine::captionReady, this, &PlayerWindow::HandleCaptionEvent);

    CreateActions();
    resize(kInitialWidth, kInitialHeight);
    move(InitialPosition(profile_));
    Relayout(size());
    SetOnTop(settings_.onTop != 0);
    if (settings_.spliteCaptionWnd) CreateCaptionWindow();
}

PlayerWindow::~PlayerWindow() {
    playbackTimer_.stop();
    screenSaver_->Release();
    profile_.WriteInt(kPositionSection, "Player xPos", fullScreen_ ? savedRect_.x() : x());
    profile_.WriteInt(kPositionSection, "Player yPos", fullScreen_ ? savedRect_.y() : y());
    delete captionWindow_.data();
    // The engine goes before the widgets its signals reach.
    engine_.reset();
}

// ---- Transport -------------------------------------------------------------

void PlayerWindow::Notify(PlayerNotification code, int value) { emit notify(static_cast<int>(code), value); }

void PlayerWindow::SetState(PlayerState state) {
    state_ = state;
    UpdateScreenSaver();
    Notify(PlayerNotification::StateChanged, static_cast<int>(state));
}

bool PlayerWindow::Open(const QString& address, const QString& title) {
    Stop();
    currentCaption_.clear();
    if (captionWindow_) captionWindow_->SetCaption({});
    video_->Clear();
    address_ = address;
    mediaTitle_ = title.isEmpty() ? address : title;
    if (engine_->Open(address.toStdString())) return true;
    HandleOpenFailed();
    return false;
}

void PlayerWindow::HandleOpened() {
    settings_.enableCaption = engine_->HasCaptions() ? 1 : 0;
    const QSize source = SourceSize();
    proportions_ = VideoProportions::Of(source);
    if (source.width() >= kSmallestVideoSide || source.height() >= kSmallestVideoSide) {
        if (settings_.keepSize)
            Relayout(size());
        else
            SetSizeMode(settings_.PlayerSizeMode == 0   ? PlayerSizeMode::Half
                        : settings_.PlayerSizeMode == 2 ? PlayerSizeMode::Double
                                                        : PlayerSizeMode::Normal);
        show();
        if (captionWindow_ && settings_.enableCaption) captionWindow_->show();
    } else {
        hide();  // sound only
    }
    Notify(PlayerNotification::MediumOpened);
    engine_->SetMute(engine_->IsMuted());
    if (lastVolume_ != 0) engine_->SetVolume(lastVolume_);
    Play();
    ShowMessage(mediaTitle_);
}

void PlayerWindow::HandleOpenFailed() {
    mediaTitle_ = address_ + QStringLiteral(" - Url not found");
    ShowMessage(mediaTitle_);
    Notify(PlayerNotification::OpenFailed);
}

void PlayerWindow::Play() {
    if (!engine_->IsReady()) return;  // nothing opened (yet): nothing to play
    playbackTimer_.start();
    engine_->Run();
    SetState(PlayerState::Playing);
}

void PlayerWindow::Pause() {
    if (!engine_->IsReady()) return;
    engine_->Pause();
    SetState(PlayerState::Paused);
}

void PlayerWindow::Stop() {
    playbackTimer_.stop();
    engine_->Stop();
    engine_->Seek(0.0);
    // An end or failure the timer has not seen yet belongs to the playback
    // that stops here; left queued it would stop the next Play at once.
    while (engine_->PollEvent() != PlaybackEvent::None) {
    }
    SetState(PlayerState::Stopped);
}

void PlayerWindow::PlayPauseCommand() {
    if (state_ == PlayerState::Playing)
        Pause();
    else
        Play();
}

void PlayerWindow::StopCommand() {
    if (state_ != PlayerState::Stopped) Stop();
}

void PlayerWindow::ExitCommand() {
    emit ownerCommand(player_command::kOwnerStop);
    // Without an owner (or one that ignored it) the medium stops here.
    StopCommand();
    hide();
    if (captionWindow_) captionWindow_->hide();
}

void PlayerWindow::HandleTick() {
    Notify(PlayerNotification::PlaybackTick);
    switch (engine_->PollEvent()) {
    case PlaybackEvent::Complete:
        StopCommand();
        if (settings_.repeat) Play();
        break;
    case PlaybackEvent::UserAbort:
    case PlaybackEvent::ErrorAbort:
        playbackTimer_.stop();
        engine_->Stop();
        SetState(PlayerState::Stopped);
        break;
    case PlaybackEvent::None: break;
    }
}

double PlayerWindow::Duration() const { return engine_->Duration(); }

double PlayerWindow::Position() const { return engine_->Position(); }

void PlayerWindow::Seek(double seconds) { engine_->Seek(seconds); }

void PlayerWindow::Jump(int seconds) {
    const std::optional<int> target = JumpTarget(engine_->Position(), engine_->Duration(), seconds);
    if (!target) return;
    engine_->Seek(*target);
    if (state_ == PlayerState::Playing) engine_->Run();
}

void PlayerWindow::SetVolumeAndShow(int volume) {
    lastVolume_ = volume;
    engine_->SetVolume(volume);
    ShowMessage(tr("Volume : %1 %").arg((volume + 10000) / 100));
}

void PlayerWindow::SetBalanceAndShow(int position) {
    const int balance = position - 100;
    engine_->SetBalance(balance * 30);
    if (balance == 0)
        ShowMessage(tr("Center"));
    else if (balance > 0)
        ShowMessage(tr("Right : %1%").arg(balance));
    else
        ShowMessage(tr("Left : %1%").arg(-balance));
}

void PlayerWindow::UpdateScreenSaver() {
    const bool videoPlays = state_ == PlayerState::Playing && isVisible() && !SourceSize().isEmpty();
    if (settings_.screenSave && videoPlays)
        screenSaver_->Hold();
    else
        screenSaver_->Release();
}

bool PlayerWindow::ScreenSaverHeld() const { return screenSaver_->Held(); }

// ---- Title line ------------------------------------------------------------

QRect PlayerWindow::TitleRect() const { return QRect(kTitleMargin, 3, width() - 2 * kTitleMargin, 11); }

void PlayerWindow::ShowMessage(const QString& message) {
    shownTitle_ = message;
    update(TitleRect());
    titleTimer_.start();
}

void PlayerWindow::RestoreTitle() {
    titleTimer_.stop();
    shownTitle_ = mediaTitle_;
    update(TitleRect());
}

// ---- Layout and sizes ------------------------------------------------------

QSize PlayerWindow::SourceSize() const { return QSize(engine_->VideoWidth(), engine_->VideoHeight()); }

bool PlayerWindow::CaptionsShowing() const { return engine_->HasCaptions() && settings_.enableCaption; }

int PlayerWindow::ShownCaptionMargin() const { return CaptionsShowing() ? std::max(settings_.captionMargin, 0) : 0; }

QRect PlayerWindow::VideoGeometry() const { return video_->geometry(); }

void PlayerWindow::Relayout(QSize client) {
    const QRect rect = VideoRectFor(client, fullScreen_, settings_.keep != 0, ShownCaptionMargin(), proportions_);
    video_->setGeometry(rect);
    engine_->SetVideoRect(rect);
    update();
}

void PlayerWindow::SetSizeMode(PlayerSizeMode mode) {
    const bool leaving = fullScreen_;
    fullScreen_ = false;
    settings_.PlayerSizeMode = static_cast<int>(mode);
    const QSize video = ModeVideoSize(mode, SourceSize());
    const QSize window = WindowSizeFor(video, ShownCaptionMargin());
    if (leaving)
        setGeometry(QRect(savedRect_.topLeft(), window));
    else
        resize(window);
    Relayout(size());
    QString label;
    switch (mode) {
    case PlayerSizeMode::Half: label = tr("Half size"); break;
    case PlayerSizeMode::Normal: label = tr("Normal size"); break;
    case PlayerSizeMode::Double: label = tr("Double size"); break;
    }
    ShowMessage(QStringLiteral("%1 : %2x%3").arg(label).arg(video.width()).arg(video.height()));
}

void PlayerWindow::ToggleFullScreen() {
    if (fullScreen_) {
        LeaveFullScreen();
        return;
    }
    savedRect_ = geometry();
    fullScreen_ = true;
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = where ? where->geometry() : QRect(0, 0, 1024, 768);
    setGeometry(area);
    Relayout(size());
    ShowMessage(QStringLiteral("%1 : %2x%3").arg(tr("Full screen")).arg(area.width()).arg(area.height()));
}

void PlayerWindow::LeaveFullScreen() {
    if (!fullScreen_) return;
    fullScreen_ = false;
    setGeometry(savedRect_);
    Relayout(size());
    ShowMessage(QStringLiteral(" %1 x %2")
                    .arg(savedRect_.width() - 2 * kVideoInsetX)
                    .arg(savedRect_.height() - 2 * kVideoInsetY));
}

// ---- Events ----------------------------------------------------------------

void PlayerWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (fullScreen_) {
        painter.fillRect(rect(), Qt::black);
    } else {
        PaintPlayerFrame(painter, skin(), size());
        if (!shownTitle_.isEmpty()) {
            painter.setFont(titleFont_);
            painter.setPen(kTitleColor);
            painter.drawText(TitleRect(), Qt::AlignCenter, shownTitle_);
        }
    }
    PaintCaptionStrip(painter);
}

void PlayerWindow::resizeEvent(QResizeEvent* event) {
    SkinnedWindow::resizeEvent(event);
    Relayout(size());
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
    // The window lives as long as its owner; closing it only puts it away.
    event->ignore();
    ExitCommand();
}

void PlayerWindow::showEvent(QShowEvent* event) {
    SkinnedWindow::showEvent(event);
    UpdateScreenSaver();
}

void PlayerWindow::hideEvent(QHideEvent* event) {
    SkinnedWindow::hideEvent(event);
    UpdateScreenSaver();
}

void PlayerWindow::ShowContextMenu(const QPoint& globalPos) {
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

}  // namespace larkspan
