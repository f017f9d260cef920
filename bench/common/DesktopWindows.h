#pragma once
// The recorder's windows as the desktop program puts them together, for the
// desktop benchmarks: the main panel (RecorderWindow) on a profile held in
// memory, the record list with its recording workers, and the list window
// under the panel. The list records into the panel's live settings, its
// button states reach the panel, and the list window follows the panel when
// it moves.
#include <QString>

#include <memory>

#include "recorder/SettingsProfile.h"
#include "ui/mainwin/RecorderWindow.h"
#include "ui/recorder/RecordList.h"
#include "ui/recorder/RecordListWindow.h"
#include "ui/skin/Skin.h"

namespace larkspan::bench {

class DesktopWindows {
public:
    // Needs a QApplication. recordFolder: where recordings go ("" keeps the
    // settings' own folder).
    explicit DesktopWindows(const QString& recordFolder = QString());
    ~DesktopWindows();

    // Shows the panel and the list window below it.
    void Show();

    RecorderWindow& Panel() { return *panel_; }
    RecordList& List() { return *list_; }
    RecordListWindow& ListWindow() { return *listWindow_; }

private:
    MemoryProfile profile_;
    Skin skin_;
    std::unique_ptr<RecorderWindow> panel_;
    std::unique_ptr<RecordList> list_;
    std::unique_ptr<RecordListWindow> listWindow_;
};

}  // namespace larkspan::bench
