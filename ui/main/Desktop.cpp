#include "ui/main/Desktop.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>

#include "app/CommandLine.h"
#include "recorder/SettingsProfile.h"
#include "ui/recorder/DetectionControl.h"
#include "ui/recorder/ExportCommands.h"
#include "ui/associations/FileAssociations.h"
#include "ui/main/PlayerRowAdapter.h"
#include "ui/mainwin/CommandId.h"
#include "ui/mainwin/RecorderWindow.h"
#include "ui/player/PlayerWindow.h"
#include "ui/prefs/PreferencesDialog.h"
#include "ui/recorder/RecordList.h"
#include "ui/recorder/RecordListWindow.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SkinButton.h"
#include "ui/skin/SkinSlider.h"

namespace larkspan {

namespace {

constexpr int kOpenModeRecord = 2;

QString ProgramPath(const QString& given) {
    return given.isEmpty() ? QCoreApplication::applicationFilePath() : given;
}

}  // namespace

Desktop::Desktop(SettingsProfile& profile, Options options, QObject* parent)
    : QObject(parent),
      profile_(profile),
      skin_(std::make_unique<Skin>(Skin::scaleFor(qGuiApp->devicePixelRatio()))),
      associations_(MakeDesktopAssociations(ProgramPath(options.programPath).toStdString())),
      list_(std::make_unique<RecordList>()),
      window_(std::make_unique<RecorderWindow>(*skin_, profile)) {
    list_->SetSettings(window_->settings());
    listWindow_ = new RecordListWindow(skin_.get(), list_.get(), window_.get());
    player_ = std::make_unique<PlayerWindow>(window_->settings(), profile, *skin_, std::move(options.engine));
    rowPlayer_ = std::make_unique<PlayerRowAdapter>(*player_, [this] { window_->StopPlaybackChain(); });
    list_->SetPlayer(rowPlayer_.get());
    window_->SetPlayerWindow(player_.get());
    // Both live as long as the list they work on; the detector also stops
    // itself when a recording starts.
    detection_ = new DetectionControl(*list_, profile, window_.get(), list_.get());
    exporter_ = new ExportCommands(*list_, nullptr, window_.get(), list_.get());
    connect(detection_, &DetectionControl::runningChanged, window_.get(), &RecorderWindow::SetDetectionRunning);
    // The export commands follow the selected row; the menu's graying goes by it.
    connect(exporter_, &ExportCommands::selectedSourceChanged, window_.get(), &RecorderWindow::SetSelectedSource);
    ConnectPanel();
    ConnectList();
    ConnectPlayer();
    // The player starts where the panel's sliders stand.
    player_->SetBalanceAndShow(static_cast<SkinSlider*>(window_->control(kCtlBalanceSlider))->value());
    player_->SetVolumeAndShow(window_->playerVolume());
}

Desktop::~Desktop() {
    // The recordings end first; the player goes before the panel whose
    // settings it reads, the panel before the list its window shows.
    list_->Shutdown();
    list_->SetPlayer(nullptr);
    rowPlayer_.reset();
    player_.reset();
    window_.reset();
    list_.reset();
}

PreferencesDialog* Desktop::Preferences() const { return preferences_.data(); }

QMessageBox* Desktop::MessageBox() const { return messageBox_.data(); }

void Desktop::ConnectPanel() {
    RecorderWindow* w = window_.get();
    connect(w, &RecorderWindow::commandTriggered, this, &Desktop::OnCommand);
    connect(w, &RecorderWindow::openSources, this, &Desktop::OnOpenSources);
    connect(w, &RecorderWindow::urlOpen, this, [this](const QString& text, bool record) {
        StartRow(list_->AddEntry(text, QString(), QStringLiteral("0")), record);
    });
    connect(w, &RecorderWindow::recentChosen, this, [this](const QString& source) {
        StartRow(list_->AddEntry(source, QString(), QStringLiteral("0")), false);
    });
    connect(w, &RecorderWindow::seekRequested, player_.get(), &PlayerWindow::Seek);
    connect(w, &RecorderWindow::volumeChanged, player_.get(), &PlayerWindow::SetVolumeAndShow);
    connect(w, &RecorderWindow::balanceChanged, player_.get(), &PlayerWindow::SetBalanceAndShow);
    connect(w, &RecorderWindow::repeatChanged, this, &Desktop::SyncListSettings);
    connect(w, &RecorderWindow::panelMoved, this, &Desktop::DockListWindow);
    connect(w, &RecorderWindow::closing, this, &Desktop::OnPanelClosing);
    connect(listWindow_, &RecordListWindow::rightPressed, this,
            [this](const QPoint& at) { window_->PreparePopupMenu()->popup(at); });
}

void Desktop::ConnectList() {
    RecordList* list = list_.get();
    connect(list, &RecordList::buttonsChanged, this, [this] {
        window_->SetButtonEnabled(kCmdRecord, list_->RecordEnabled());
        window_->SetButtonEnabled(kCmdRecordCancel, list_->RecordCancelEnabled());
        window_->SetButtonEnabled(kCmdPlay, list_->PlayEnabled());
    });
    connect(list, &RecordList::message, this, &Desktop::ShowListMessage);
    connect(list, &RecordList::recentListChanged, this, [this] {
        if (!list_->RecentList().isEmpty()) window_->NoteRecentSource(list_->RecentList().first());
    });
    connect(list, &RecordList::playStarted, window_.get(), &RecorderWindow::SetCurrentTitle);
}

void Desktop::ConnectPlayer() {
    connect(player_.get(), &PlayerWindow::notify, this, &Desktop::OnPlayerNotify);
    connect(player_.get(), &PlayerWindow::ownerCommand, this, &Desktop::OnPlayerOwnerCommand);
}

void Desktop::ShowMain(int mode, const QString& text) {
    playerAlone_ = false;
    window_->show();
    DockListWindow();
    listWindow_->show();
    const SourceFields fields = SplitSourceText(text.toStdString());
    if (fields.source.empty()) return;
    const int row = list_->AddEntry(QString::fromStdString(fields.source), QString::fromStdString(fields.name),
                                    QString::fromStdString(fields.recordTime));
    StartRow(row, mode == kOpenModeRecord);
}

void Desktop::ShowPlayerAlone(const QString& text) {
    playerAlone_ = true;
    const SourceFields fields = SplitSourceText(text.toStdString());
    player_->show();
    player_->Open(QString::fromStdString(fields.source), QString::fromStdString(fields.name));
}

void Desktop::OpenRequest(int mode, const QString& text) {
    if (!window_->isVisible()) {
        // The lone player's program becomes the whole desktop.
        ShowMain(mode, text);
        BringPanelToFront();
        return;
    }
    const SourceFields fields = SplitSourceText(text.toStdString());
    const int row = fields.source.empty()
                        ? -1
                        : list_->AddEntry(QString::fromStdString(fields.source), QString::fromStdString(fields.name),
                                          QString::fromStdString(fields.recordTime));
    BringPanelToFront();
    StartRow(row, mode == kOpenModeRecord);
}

void Desktop::StartRow(int row, bool record) {
    if (list_->SelectRow(row) < 0) return;
    if (!record) {
        PlayRow(row);
    } else if (!list_->Model()->AnyRecording()) {
        SyncListSettings();
        list_->Record();
    }
    list_->UpdateRecordButtons();
}

void Desktop::PlayRow(int row) {
    // Play resumes a paused medium; a newly chosen row starts afresh.
    if (player_->State() == PlayerState::Paused) player_->Stop();
    SyncListSettings();
    list_->SelectRow(row);
    list_->PlaySelectedRow();
}

void Desktop::OnOpenSources(const QStringList& sources, bool play) {
    int first = -1;
    for (const QString& source : sources) {
        const int row = list_->AddEntry(source, QString(), QStringLiteral("0"));
        if (first < 0) first = row;
    }
    if (play) StartRow(first, false);
}

void Desktop::OnCommand(int id) {
    switch (id) {
    case kCmdPlay:
        SyncListSettings();
        list_->PlaySelectedRow();
        break;
    case kCmdPause:
        player_->Pause();
        break;
    case kCmdStop:
        list_->StopPlaybackTimer();
        player_->Stop();
        break;
    case kCmdRecord:
        SyncListSettings();
        list_->Record();
        break;
    case kCmdRecordCancel:
        list_->RecordCancel();
        break;
    case kCmdPreferences:
        ShowPreferences();
        break;
    case kCmdDetectStart:
    case kCmdDetectStop:
    case kCmdSave:
    case kCmdSaveAs:
    case kCmdCopyToClipboard:
        HandleDetectionAndExport(id);
        break;
    default:
        break;
    }
}

void Desktop::HandleDetectionAndExport(int id) {
    if (!detection_->HandleCommand(id)) exporter_->HandleCommand(id);
}

void Desktop::OnPlayerNotify(int code, int value) {
    window_->OnPlayerNotify(code, value, player_->Duration(), player_->Position());
    if (code == kNotifyTick) return;
    SyncListSettings();  // the player's own Repeat switch changes the shared settings
    if (code == kNotifyMediaOpened || code == kNotifyOpenFailed) list_->StartPlaybackTimer();
    // A lone player holding only sound stays on screen: closing it ends the program.
    if (code == kNotifyMediaOpened && playerAlone_ && !player_->isVisible()) player_->show();
}

void Desktop::OnPlayerOwnerCommand(int id) {
    switch (id) {
    case player_command::kOwnerOpen:
        window_->ExecuteCommand(kCmdOpen);
        break;
    case player_command::kOwnerUrlOpen:
        window_->ExecuteCommand(kCmdUrlOpen);
        break;
    case player_command::kOwnerStop:
        window_->ExecuteCommand(kCmdStop);
        if (playerAlone_ && !window_->isVisible() && !finished_) {
            finished_ = true;
            QMetaObject::invokeMethod(this, &Desktop::finished, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
}

void Desktop::ShowPreferences() {
    if (preferences_ && preferences_->isVisible()) {
        preferences_->raise();
        return;
    }
    // What this session added to the recent list survives the reload after OK.
    window_->recentList().Save(profile_);
    auto* dialog = new PreferencesDialog(window_->settings(), profile_, associations_.get(), window_.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    preferences_ = dialog;
    connect(dialog, &PreferencesDialog::recentListsDeleted, this, [this] { window_->recentList().Clear(); });
    connect(dialog, &QDialog::accepted, this, [this] {
        const RecorderSettings& settings = window_->settings();
        SyncListSettings();
        window_->ReloadRecentList();
        player_->ShowCaptions(settings.enableCaption != 0);
        static_cast<SkinButton*>(window_->control(kCmdRepeat))->setLatched(settings.repeat != 0);
    });
    dialog->open();
}

void Desktop::ShowListMessage(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, tr("Larkspan Recorder"), text, QMessageBox::Ok,
                                window_.get());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    messageBox_ = box;
    box->show();
}

void Desktop::OnPanelClosing() {
    // Questions on screen are answered Cancel; the recordings get a bounded
    // time to finish their files.
    list_->Shutdown();
    list_->StopPlaybackTimer();
    player_->Stop();
    player_->hide();
    listWindow_->hide();
    if (messageBox_) messageBox_->close();
    if (finished_) return;
    finished_ = true;
    QMetaObject::invokeMethod(this, &Desktop::finished, Qt::QueuedConnection);
}

void Desktop::DockListWindow() { listWindow_->move(window_->pos() + QPoint(0, kListWindowOffset)); }

void Desktop::BringPanelToFront() {
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    window_->raise();
    window_->activateWindow();
    listWindow_->raise();
}

void Desktop::SyncListSettings() { list_->SetSettings(window_->settings()); }

}  // namespace larkspan
