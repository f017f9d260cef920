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

} // namespace

RecorderCommands::RecorderCommands(QWidget* owner)
    : QObject(owner), m_owner(owner), m_popup(new QMenu(owner)), m_recent(new QMenu(tr("&Recent Files"), owner))
{
    Add(m_popup, kCmdOpen, tr("Open(&O)..."))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Add(m_popup, kCmdUrlOpen, tr("&URL Open"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    Add(m_popup, kCmdOpenOrmo, tr("Open Ormo"))->setVisible(false);
    m_popup->addSeparator();
    QMenu* detect = m_popup->addMenu(tr("URL Auto Detect(&H)"));
    Add(detect, kCmdDetectStart, tr("Start(&S)"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Add(detect, kCmdDetectStop, tr("Stop(&T)"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    // Picking another program's window has no meaning here.
    QAction* viewSource = Add(m_popup, kCmdViewSource, tr("View Source"));
    viewSource->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    viewSource->setVisible(false);
    m_popup->addSeparator();
    QMenu* play = m_popup->addMenu(tr("Play Control"));
    Add(play, kCmdPlay, tr("Play"));
    Add(play, kCmdPause, tr("Pause"));
    Add(play, kCmdStop, tr("Stop"));
    QMenu* record = m_popup->addMenu(tr("Record Control"));
    Add(record, kCmdRecord, tr("Record"));
    Add(record, kCmdRecordCancel, tr("Stop"));
    Add(m_popup, kCmdRepeat, tr("Repeat"))->setCheckable(true);
    m_popup->addMenu(m_recent);
    m_popup->addSeparator();
    Add(m_popup, kCmdCopyToClipboard, tr("Copy to Clipboard(&C)"));
    Add(m_popup, kCmdSave, tr("Save"));
    Add(m_popup, kCmdSaveAs, tr("Save As..."));
    m_popup->addSeparator();
    Add(m_popup, kCmdHomePage, tr("Brellow HomePage"));
    Add(m_popup, kCmdTvData, tr("TV Data"));
    Add(m_popup, kCmdMusicData, tr("Music Data"));
    Add(m_popup, kCmdPembryData, tr("Pembry Data"));
    m_popup->addSeparator();
    Add(m_popup, kCmdPreferences, tr("&Preferences"));
    Add(m_popup, kCmdHelp, tr("Help"));
    Add(m_popup, kCmdAbout, tr("About(&A)"));
    m_popup->addSeparator();
    Add(m_popup, kCmdExit, tr("Exit(&X)"));
    for (QAction* action : std::as_const(m_actions)) {
        if (!action->shortcut().isEmpty() && action->isVisible())
            owner->addAction(action);
    }
}

RecorderCommands::~RecorderCommands() = default;

QAction* RecorderCommands::Add(QMenu* menu, int id, const QString& text)
{
    QAction* action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { emit triggered(id); });
    m_actions.insert(id, action);
    return action;
}

void RecorderCommands::SetRecentEntries(const std::vector<std::string>& entries)
{
    m_recent->clear();
    const int count = std::min<int>(static_cast<int>(entries.size()), kCmdRecentLast - kCmdRecentFirst + 1);
    for (int i = 0; i < count && !entries[i].empty(); ++i) {
        const int id = kCmdRecentFirst + i;
        QAction* action = m_recent->addAction(RecentMenuText(i, QString::fromStdString(entries[i])));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { emit triggered(id); });
    }
}

void RecorderCommands::ApplyMenuState(const MenuState& state)
{
    m_actions[kCmdPlay]->setEnabled(state.play);
    m_actions[kCmdPause]->setEnabled(state.pause);
    m_actions[kCmdStop]->setEnabled(state.stop);
    m_actions[kCmdRecord]->setEnabled(state.record);
    m_actions[kCmdRecordCancel]->setEnabled(state.recordCancel);
    m_actions[kCmdDetectStart]->setEnabled(!state.detecting);
    const bool remoteRow = state.hasSelection && !state.selectionIsLocal;
    m_actions[kCmdSave]->setEnabled(remoteRow);
    m_actions[kCmdSaveAs]->setEnabled(remoteRow);
    m_actions[kCmdCopyToClipboard]->setEnabled(state.hasSelection);
}

QUrl RecorderCommands::WebPageFor(int id)
{
    for (const WebPage& page : kWebPages) {
        if (page.id == id)
            return QUrl(QString::fromLatin1(page.url));
    }
    return {};
}

} // namespace larkspan
