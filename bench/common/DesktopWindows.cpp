#include "bench/common/DesktopWindows.h"

#include <QApplication>

#include "ui/mainwin/CommandId.h"

namespace larkspan::bench {

DesktopWindows::DesktopWindows(const QString& recordFolder)
    : skin_(Skin::scaleFor(qApp->devicePixelRatio())),
      panel_(std::make_unique<RecorderWindow>(skin_, profile_)),
      list_(std::make_unique<RecordList>()),
      listWindow_(std::make_unique<RecordListWindow>(&skin_, list_.get(), panel_.get())) {
    if (!recordFolder.isEmpty()) panel_->settings().baseDir = recordFolder.toStdString();
    list_->SetSettings(panel_->settings());
    listWindow_->resize(RecordListWindow::kDefaultWidth, RecordListWindow::kDefaultHeight);

    RecorderWindow* panel = panel_.get();
    RecordList* list = list_.get();
    QObject::connect(list, &RecordList::buttonsChanged, panel, [panel, list] {
        panel->SetButtonEnabled(kCmdRecord, list->RecordEnabled());
        panel->SetButtonEnabled(kCmdRecordCancel, list->RecordCancelEnabled());
        panel->SetButtonEnabled(kCmdPlay, list->PlayEnabled());
    });
    QObject::connect(list->Selection(), &QItemSelectionModel::currentRowChanged, panel, [panel, list] {
        const int row = list->SelectedRow();
        const QString source = row >= 0 ? list->Model()->Text(row, RecordListModel::kSource) : QString();
        panel->SetSelectedSource(source, !source.isEmpty() && !source.contains(QStringLiteral("://")));
    });
    QObject::connect(panel, &RecorderWindow::commandTriggered, list, [list](int id) {
        if (id == kCmdRecord) list->Record();
        if (id == kCmdRecordCancel) list->RecordCancel();
    });
    RecordListWindow* listWindow = listWindow_.get();
    QObject::connect(panel, &RecorderWindow::panelMoved, listWindow, [panel, listWindow](const QPoint& topLeft) {
        listWindow->move(topLeft + QPoint(0, panel->height()));
    });
}

DesktopWindows::~DesktopWindows() {
    list_->Shutdown();
    listWindow_.reset();
}

void DesktopWindows::Show() {
    panel_->show();
    listWindow_->move(panel_->pos() + QPoint(0, panel_->height()));
    listWindow_->show();
}

}  // namespace larkspan::bench
