#include "ui/mainwin/RecorderCommands.h"

#include "ui/mainwin/CommandId.h"
#include "ui/mainwin/PanelTexts.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace larkspan {

namespace {

struct WebPage {
    int id;
    const char* url;
};

// The maker's pages.
constexpr WebPage kWebPages[] = {
    {kCmdHomePage, "https://larkspan.example/"},
    {kCmdTvData, "https://larkspan.example/boards/tv"},
    {kCmdMusicData, "https://larkspan.example/boards/music"},
    {kCmdPembryData, "https://larkspan.example/boards/pembry"},
    {kCmdHelp, "https://larkspan.example/introduction"},
};

}  // namespace

RecorderCommands::RecorderCommands(QWidget* owner)
    : QObject(owner), owner_(owner), popup_(new QMenu(owner)), recent_(new QMenu(tr("&Recent Files"), owner)) {
    Add(popup_, kCmdOpen, tr("Open(&O)..."))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Add(popup_, kCmdUrlOpen, tr("&URL Open"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    Add(popup_, kCmdOpenOrmo, tr("Open Ormo"))->setVisible(false);
    popup_->addSeparator();
    QMenu* detect = popup_->addMenu(tr("URL Auto Detect(&H)"));
    Add(detect, kCmdDetectStart, tr("Start(&S)"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Add(detect, kCmdDetectStop, tr("Stop(&T)"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    // Picking another program's window has no meaning here.
    QAction* viewSource = Add(popup_, kCmdViewSource, tr("View Source"));
    viewSource->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    viewSource->setVisible(false);
    popup_->addSeparator();
    QMenu* play = popup_->addMenu(tr("Play Control"));
    Add(play, kCmdPlay, tr("Play"));
    Add(play, kCmdPause, tr("Pause"));
    Add(play, kCmdStop, tr("Stop"));
    QMenu* record = popup_->addMenu(tr("Record Control"));
    Add(record, kCmdRecord, tr("Record"));
    Add(record, kCmdRecordCancel, tr("Stop"));
    Add(popup_, kCmdRepeat, tr("Repeat"))->setCheckable(true);
    popup_->addMenu(recent_);
    popup_->addSeparator();
    Add(popup_, kCmdCopyToClipboard, tr("Copy to Clipboard(&C)"));
    Add(popup_, kCmdSave, tr("Save"));
    Add(popup_, kCmdSaveAs, tr("Save As..."));
    popup_->addSeparator();
    Add(popup_, kCmdHomePage, tr("Brellow HomePage"));
    Add(popup_, kCmdTvData, tr("TV Data"));
    Add(popup_, kCmdMusicData, tr("Music Data"));
    Add(popup_, kCmdPembryData, tr("Pembry Data"));
    popup_->addSeparator();
    Add(popup_, kCmdPreferences, tr("&Preferences"));
    Add(popup_, kCmdHelp, tr("Help"));
    Add(popup_, kCmdAbout, tr("About(&A)"));
    popup_->addSeparator();
    Add(popup_, kCmdExit, tr("Exit(&X)"));
    for (QAction* action : std::as_const(actions_)) {
        if (!action->shortcut().isEmpty() && action->isVisible())
            owner->addAction(action);
    }
}

RecorderCommands::~RecorderCommands() = default;

QAction* RecorderCommands::Add(QMenu* menu, int id, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { emit triggered(id); });
    actions_.insert(id, action);
    return action;
}

void RecorderCommands::SetRecentEntries(const std::vector<std::string>& entries) {
    recent_->clear();
    const int count = std::min<int>(static_cast<int>(entries.size()), kCmdRecentLast - kCmdRecentFirst + 1);
    for (int i = 0; i < count && !entries[i].empty(); ++i) {
        const int id = kCmdRecentFirst + i;
        QAction* action = recent_->addAction(RecentMenuText(i, QString::fromStdString(entries[i])));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { emit triggered(id); });
    }
}

void RecorderCommands::ApplyMenuState(const MenuState& state) {
    actions_[kCmdPlay]->setEnabled(state.play);
    actions_[kCmdPause]->setEnabled(state.pause);
    actions_[kCmdStop]->setEnabled(state.stop);
    actions_[kCmdRecord]->setEnabled(state.record);
    actions_[kCmdRecordCancel]->setEnabled(state.recordCancel);
    actions_[kCmdDetectStart]->setEnabled(!state.detecting);
    const bool remoteRow = state.hasSelection && !state.selectionIsLocal;
    actions_[kCmdSave]->setEnabled(remoteRow);
    actions_[kCmdSaveAs]->setEnabled(remoteRow);
    actions_[kCmdCopyToClipboard]->setEnabled(state.hasSelection);
}

QUrl RecorderCommands::WebPageFor(int id) {
    for (const WebPage& page : kWebPages) {
        if (page.id == id)
            return QUrl(QString::fromLatin1(page.url));
    }
    return {};
}

}  // namespace larkspan
