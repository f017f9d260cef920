#pragma once

// The recorder's main window: a frameless skinned panel of 275 x 116 pixels
// with the transport buttons, the title and time display, the seek, volume
// and balance sliders and the processor meter. It keeps the live settings
// and the recent list, turns its buttons, menu and keys into commands, and
// follows the player's notifications.
//
// Commands that belong to the record list, the player, the detector and the
// preferences are handed on as signals; the window itself runs the Open and
// URL dialogs, the web pages, About, the Repeat switch, minimise and close.

#include "recorder/RecorderSettings.h"
#include "ui/mainwin/RecentList.h"

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QAction;
class QMenu;

namespace larkspan {

class BannerStrip;
class RecorderCommands;
class SettingsProfile;
class Skin;
class SkinButton;
class SkinSlider;

class RecorderWindow : public QWidget {
    Q_OBJECT

public:
    // Reads the settings, the recent list and the window's profile values
    // ("Settings" xPos/yPos, "Options" OnTopControl, "settings" Volume and
    // Balance). `profile` must outlive the window.
    RecorderWindow(Skin& skin, SettingsProfile& profile, QWidget* parent = nullptr);
    ~RecorderWindow() override;

    // The live settings: the player, the record list and the preferences
    // dialog work on this record.
    RecorderSettings& settings() { return settings_; }
    RecentList& recentList() { return recent_; }

    // A button, slider or (kCtlSpectrum) the meter by its id, or nullptr.
    QWidget* control(int id) const { return controls_.value(id); }
    QAction* action(int id) const;
    // The main popup menu, brought up to date (recent files, Repeat, grayed
    // entries) but not shown.
    QMenu* PreparePopupMenu();

    QString currentTitle() const { return title_; }
    QString shownTitle() const;
    QString timeText() const;
    bool isSeekDragging() const { return seekDragging_; }
    bool isDocked() const { return docked_; }
    bool isPlaybackChainRunning() const { return chainTimer_.isActive(); }
    // The player's volume for the volume slider's position.
    int playerVolume() const;

    // The player window, for docking; may be null.
    void SetPlayerWindow(QWidget* player);

public slots:
    // A notification of the player: 2 state changed (value = player state),
    // 4 media opened, 6 open failed, 7 playback tick, 32 docking. Duration
    // and position are the player's, in seconds.
    void OnPlayerNotify(int code, int value, double duration, double position);

    // The medium now playing; the title area shows its file-name part.
    void SetCurrentTitle(const QString& media);
    void SetTimeSeconds(int seconds);
    void SetButtonEnabled(int id, bool enabled);
    void SetDetectionRunning(bool running);
    // The record list's selected row: its source, empty when none is selected.
    void SetSelectedSource(const QString& source, bool isLocal);
    // A source was added to the list: first in the recent list.
    void NoteRecentSource(const QString& source);
    // After the preferences dialog (it may have cleared the stored list).
    void ReloadRecentList();
    // Playback moves on to another row or stops: no more chaining ticks.
    void StopPlaybackChain();

    void ExecuteCommand(int id);

signals:
    // Play, Pause, Stop, Record, Record Cancel, Preferences, Save, Save As,
    // Copy to Clipboard, detection Start and Stop.
    void commandTriggered(int id);
    // Files chosen in the Open dialog (play the first) or dropped (only add).
    void openSources(const QStringList& sources, bool play);
    void urlOpen(const QString& text, bool record);
    void recentChosen(const QString& source);
    void seekRequested(double seconds);
    // In hundredths of a decibel, -10000 to 0.
    void volumeChanged(int volume);
    // 0 to 200, 100 the centre.
    void balanceChanged(int balance);
    void repeatChanged(bool on);
    // Every second after media opened or failed to open, until stopped.
    void playbackChainTick();
    // The panel moved; windows docked below it follow.
    void panelMoved(const QPoint& topLeft);
    // Before the profile values are written on close.
    void closing();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void OnSeekSlider(int change, int value);
    void ToggleRepeat();
    void ShowOpenDialog();
    void ShowUrlDialog();
    void ShowAbout();
    void ApplyMenuState();
    void MoveDragged(QPoint delta);
    void SaveProfileValues();
    static bool PlatformPlacesWindows();

    Skin& skin_;
    SettingsProfile& profile_;
    RecorderSettings settings_;
    RecentList recent_;
    RecorderCommands* commands_ = nullptr;
    QHash<int, QWidget*> controls_;
    SkinButton* repeatButton_ = nullptr;
    SkinSlider* seek_ = nullptr;
    SkinSlider* volume_ = nullptr;
    SkinSlider* balance_ = nullptr;
    BannerStrip* banner_ = nullptr;
    QPointer<QWidget> player_;
    QTimer chainTimer_;

    QString title_;
    int timeSeconds_ = 0;
    bool seekDragging_ = false;
    bool detecting_ = false;
    bool hasSelection_ = false;
    bool selectionIsLocal_ = false;
    // Docking to the player window.
    bool docked_ = true;
    int dockValue_ = 0;
    QPoint playerOffset_;
    // Dragging the panel by hand where the platform lets programs place windows.
    bool dragging_ = false;
    QPoint pressPoint_;
    bool profileSaved_ = false;
};

}  // namespace larkspan
