#pragma once
// The desktop program's windows, built by the program's own Desktop class,
// for the desktop benchmarks: the main panel on a profile held in memory, the
// record list with its recording workers, the list window under the panel
// and the (hidden) player.
#include <QString>

#include <memory>

#include "recorder/SettingsProfile.h"
#include "ui/main/Desktop.h"
#include "ui/mainwin/RecorderWindow.h"
#include "ui/recorder/RecordList.h"
#include "ui/recorder/RecordListWindow.h"

namespace larkspan::bench {

class DesktopWindows {
public:
    // Needs a QApplication. recordFolder: where recordings go ("" keeps the
    // settings' own folder).
    explicit DesktopWindows(const QString& recordFolder = QString());
    ~DesktopWindows();

    // Shows the panel and the list window below it.
    void Show();

    RecorderWindow& Panel() { return *desktop_->MainWindow(); }
    RecordList& List() { return *desktop_->List(); }
    RecordListWindow& ListWindow() { return *desktop_->ListWindow(); }

private:
    MemoryProfile profile_;
    std::unique_ptr<Desktop> desktop_;
};

}  // namespace larkspan::bench
