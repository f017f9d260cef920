#pragma once

// The main window's commands as actions keyed by their numeric ids, the
// main popup menu built from them, its recent-files submenu, and the rules
// that gray its entries.

#include <QHash>
#include <QObject>
#include <QUrl>

#include <string>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace larkspan {

struct MenuState {
    // Enabled state of the matching buttons.
    bool play = false;
    bool pause = false;
    bool stop = false;
    bool record = false;
    bool recordCancel = false;
    bool detecting = false;
    bool hasSelection = false;
    bool selectionIsLocal = false;
};

class RecorderCommands : public QObject {
    Q_OBJECT

public:
    // Position of the "&Recent Files" submenu in the popup menu.
    static constexpr int kRecentMenuPosition = 10;

    // Adds the actions with keyboard shortcuts to `owner`, so that they work
    // while it is active.
    explicit RecorderCommands(QWidget* owner);
    ~RecorderCommands() override;

    // The action of a menu command, or nullptr.
    QAction* action(int id) const { return actions_.value(id); }
    QMenu* popupMenu() const { return popup_; }
    QMenu* recentMenu() const { return recent_; }

    // Rebuilds the recent-files submenu: entry i has id kCmdRecentFirst + i;
    // an empty entry ends it.
    void SetRecentEntries(const std::vector<std::string>& entries);
    // Grays the transport entries whose buttons are disabled, Start while
    // detection runs, and the export entries unless a remote row is selected
    // (Copy to Clipboard only needs a selected row).
    void ApplyMenuState(const MenuState& state);

    // The page a web command opens; empty for other ids.
    static QUrl WebPageFor(int id);

signals:
    void triggered(int id);

private:
    QAction* Add(QMenu* menu, int id, const QString& text);

    QWidget* owner_;
    QMenu* popup_;
    QMenu* recent_;
    QHash<int, QAction*> actions_;
};

}  // namespace larkspan
