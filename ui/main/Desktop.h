#pragma once
// The desktop program's windows put together: the main panel, the record
// list docked under it, the player, and the dialogs the panel's commands
// open. The desktop owns them all, passes every command and notification
// between them, and saves what they keep at the end.
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

#include "ui/playback/PlaybackEngine.h"

class QMessageBox;

namespace larkspan {

class FileAssociations;
class PlayerRowAdapter;
class PlayerWindow;
class PreferencesDialog;
class RecordList;
class RecordListWindow;
class RecorderWindow;
class SettingsProfile;
class DetectionControl;
class ExportCommands;
class Skin;

class Desktop : public QObject {
    Q_OBJECT

public:
    // The list window sits this far below the panel's top.
    static constexpr int kListWindowOffset = 143;

    struct Options {
        PlaybackEngineOptions engine;
        // The program the desktop's file types are handed to; the running
        // program when empty.
        QString programPath;
    };

    // Creates every window hidden. profile must outlive the desktop.
    explicit Desktop(SettingsProfile& profile, Options options = {}, QObject* parent = nullptr);
    ~Desktop() override;

    // Shows the panel with the list under it, then adds the start's source
    // text and plays or records it as mode (0 open, 1 play, 2 record) asks.
    void ShowMain(int mode, const QString& text);
    // Shows the player without the panel and plays the text's source; the
    // desktop is finished when the player is closed.
    void ShowPlayerAlone(const QString& text);
    // A request of a later start: adds its source, brings the panel to the
    // front, and plays or records the row.
    void OpenRequest(int mode, const QString& text);

    RecorderWindow* MainWindow() const { return window_.get(); }
    RecordListWindow* ListWindow() const { return listWindow_; }
    PlayerWindow* Player() const { return player_.get(); }
    RecordList* List() const { return list_.get(); }
    // The preferences dialog while it is open, else null.
    PreferencesDialog* Preferences() const;
    // The last message box shown for a list message, while it is open.
    QMessageBox* MessageBox() const;
    bool PlayerAlone() const { return playerAlone_; }

signals:
    // The panel was closed, or the lone player was: the program ends.
    void finished();

private:
    void ConnectPanel();
    void ConnectList();
    void ConnectPlayer();
    void OnCommand(int id);
    // Commands of the address detector and of the row export.
    void HandleDetectionAndExport(int id);
    void OnOpenSources(const QStringList& sources, bool play);
    // Selects row, plays or records it, and updates the record buttons.
    void StartRow(int row, bool record);
    void PlayRow(int row);
    void OnPlayerNotify(int code, int value);
    void OnPlayerOwnerCommand(int id);
    void ShowPreferences();
    void ShowListMessage(const QString& text);
    void OnPanelClosing();
    void DockListWindow();
    void BringPanelToFront();
    // The list records with what the panel's settings say now.
    void SyncListSettings();

    SettingsProfile& profile_;
    std::unique_ptr<Skin> skin_;
    std::unique_ptr<FileAssociations> associations_;
    std::unique_ptr<RecordList> list_;
    std::unique_ptr<RecorderWindow> window_;
    RecordListWindow* listWindow_ = nullptr;  // owned by the panel
    std::unique_ptr<PlayerWindow> player_;
    std::unique_ptr<PlayerRowAdapter> rowPlayer_;
    DetectionControl* detection_ = nullptr;  // children of the list
    ExportCommands* exporter_ = nullptr;
    QPointer<PreferencesDialog> preferences_;
    QPointer<QMessageBox> messageBox_;
    bool playerAlone_ = false;
    bool finished_ = false;
};

}  // namespace larkspan
