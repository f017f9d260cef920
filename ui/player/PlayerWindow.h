#pragma once
// The window in which media plays: a frameless skinned window with the video
// inside a drawn frame, a title line along the top and a caption strip along
// the bottom. Its commands come from a context menu, keyboard shortcuts and
// its owner (the recorder's main window); it tells the owner what happens
// through notify().
#include <QFont>
#include <QMap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/playback/PlaybackEngine.h"
#include "ui/player/CaptionWindow.h"
#include "ui/player/PlayerLayout.h"
#include "ui/player/SkinnedWindow.h"

class QAction;
class QMenu;

namespace larkspan {

class ScreenSaverInhibitor;
class SettingsProfile;
class VideoWidget;

// Command ids of the player's menu and of the commands the owner may send.
namespace player_command {
inline constexpr int kOpen = 57601;
inline constexpr int kUrlOpen = 32802;
inline constexpr int kPlayPause = 22771;
inline constexpr int kStop = 22772;
inline constexpr int kBack30 = 32775;
inline constexpr int kForward30 = 32776;
inline constexpr int kBack60 = 32777;
inline constexpr int kForward60 = 32779;
inline constexpr int kRepeat = 32780;
inline constexpr int kSlowSpeed = 32804;
inline constexpr int kNormalSpeed = 32807;
inline constexpr int kFastSpeed = 32808;
inline constexpr int kVolumeUp = 32784;
inline constexpr int kVolumeDown = 32785;
inline constexpr int kMute = 32786;
inline constexpr int kHideCaption = 32791;
inline constexpr int kFontBigger = 32795;
inline constexpr int kFontSmaller = 32797;
inline constexpr int kFontThick = 32798;
inline constexpr int kSettingFont = 32796;
inline constexpr int kLargeCaption = 32805;
inline constexpr int kSmallCaption = 32806;
inline constexpr int kHalfSize = 32771;
inline constexpr int kNormalSize = 32772;
inline constexpr int kDoubleSize = 32773;
inline constexpr int kFullSize = 32774;
inline constexpr int kKeepSize = 32788;
inline constexpr int kKeepRatio = 32783;
inline constexpr int kOnTop = 32800;
inline constexpr int kProtectScreenSaver = 32801;
inline constexpr int kExit = 32787;
inline constexpr int kHide = 114;
inline constexpr int kCopyFrame = 151;
inline constexpr int kCaptionWindow = 32822;
// Sent on to the owner by the open items and by Exit.
inline constexpr int kOwnerOpen = 11101;
inline constexpr int kOwnerUrlOpen = 22779;
inline constexpr int kOwnerStop = 11107;
}  // namespace player_command

// What notify() tells the owner; the value is the new state for
// StateChanged and 0 otherwise.
enum class PlayerNotification : int { StateChanged = 2, MediumOpened = 4, OpenFailed = 6, PlaybackTick = 7 };

class PlayerWindow : public SkinnedWindow {
    Q_OBJECT

public:
    // settings is the shared record the commands read and change; profile
    // keeps the window's place ("Settings": "Player xPos", "Player yPos").
    // owner may be null (the player then stands alone).
    PlayerWindow(RecorderSettings& settings, SettingsProfile& profile, Skin& skin,
                 PlaybackEngineOptions engineOptions = {}, QWidget* owner = nullptr);
    ~PlayerWindow() override;

    // Stops what plays and starts opening address. The medium plays once it
    // has opened; notify() then reports MediumOpened, or OpenFailed when it
    // cannot be opened. False when opening could not even start.
    bool Open(const QString& address, const QString& title = {});
    void Play();
    void Pause();
    void Stop();
    PlayerState State() const { return state_; }
    double Duration() const;
    double Position() const;
    void Seek(double seconds);
    // Volume in hundredths of a decibel (-10000 to 0); shows it in percent.
    void SetVolumeAndShow(int volume);
    // Position 0 to 200, 100 the centre; shows the side and the amount.
    void SetBalanceAndShow(int position);
    void ShowCaptions(bool show);

    // Runs a command of the player_command ids; false for an unknown id.
    bool RunCommand(int id);
    QAction* Action(int id) const { return actions_.value(id); }

    QString ShownTitle() const { return shownTitle_; }
    QString MediaTitle() const { return mediaTitle_; }
    bool InFullScreen() const { return fullScreen_; }
    QRect VideoGeometry() const;
    QString CurrentCaption() const { return currentCaption_; }
    QFont CaptionFont() const { return captionFont_; }
    CaptionWindow* SeparateCaptionWindow() const { return captionWindow_; }
    PlaybackEngine& Engine() { return *engine_; }
    bool ScreenSaverHeld() const;
    // Builds the context menu as a right click shows it (the caller owns it).
    QMenu* CreateContextMenu();

signals:
    void notify(int code, int value);
    // A command for the owner: open, URL open, or stop (on Exit).
    void ownerCommand(int id);

protected:
    bool FrameInteractive() const override { return !fullScreen_; }
    void ShowContextMenu(const QPoint& globalPos) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Transport and engine news.
    void Notify(PlayerNotification code, int value = 0);
    void SetState(PlayerState state);
    void HandleOpened();
    void HandleOpenFailed();
    void HandleTick();
    void PlayPauseCommand();
    void StopCommand();
    void ExitCommand();
    void UpdateScreenSaver();

    // Title line.
    void ShowMessage(const QString& message);
    void RestoreTitle();
    QRect TitleRect() const;

    // Layout and sizes.
    bool CaptionsShowing() const;
    int ShownCaptionMargin() const;
    void Relayout(QSize client);
    QSize SourceSize() const;
    void SetSizeMode(PlayerSizeMode mode);
    void ToggleFullScreen();
    void LeaveFullScreen();
    void Jump(int seconds);

    // Commands and the menu (PlayerWindowCommands.cpp).
    void CreateActions();
    QAction* AddCommand(int id, const QString& label, const QList<QKeySequence>& keys, bool checkable,
                        const std::function<void()>& handler);
    void SyncChecks();
    void ShowFilterProperties(const QString& name);
    void VolumeUp();
    void VolumeDown();
    void ToggleMute();
    void ToggleKeepRatio();
    void ToggleOnTop();
    void ToggleProtectScreenSaver();
    void CopyFrame();

    // Captions (PlayerWindowCaptions.cpp).
    void HandleCaptionEvent();
    void RebuildCaptionFont();
    void PaintCaptionStrip(QPainter& painter);
    void FontBigger();
    void FontSmaller();
    void FontThick();
    void SettingFont();
    void LargeCaptionStrip();
    void SmallCaptionStrip();
    void ToggleHideCaption();
    void ToggleCaptionWindow();
    void CreateCaptionWindow();

    RecorderSettings& settings_;
    SettingsProfile& profile_;
    std::unique_ptr<PlaybackEngine> engine_;
    VideoWidget* video_ = nullptr;
    ScreenSaverInhibitor* screenSaver_ = nullptr;
    QPointer<CaptionWindow> captionWindow_;
    QMap<int, QAction*> actions_;

    QString address_;
    QString mediaTitle_;
    QString shownTitle_;
    QFont titleFont_;
    QFont captionFont_;
    double preciseCaptionSize_ = 0.0;
    QString currentCaption_;
    QTimer titleTimer_;
    QTimer playbackTimer_;
    PlayerState state_ = PlayerState::Stopped;
    bool fullScreen_ = false;
    QRect savedRect_;
    VideoProportions proportions_;
    int lastVolume_ = 0;
};

}  // namespace larkspan
