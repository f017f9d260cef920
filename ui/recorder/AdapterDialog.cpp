#include "ui/recorder/AdapterDialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace larkspan {

AdapterDialog::AdapterDialog(const std::vector<CaptureAdapter>& adapters, int selected, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
    setWindowTitle(tr("Select Adapter"));
    for (const CaptureAdapter& adapter : adapters) {
        QString text = QString::fromStdString(adapter.name);
        if (!adapter.description.empty()) text += QStringLiteral(" - ") + QString::fromStdString(adapter.description);
        list_->addItem(text);
    }
    list_->setCurrentRow(selected >= 0 && selected < list_->count() ? selected : 0);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* file = buttons->addButton(tr("Open capture file..."), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(file, &QPushButton::clicked, this, &AdapterDialog::OpenCaptureFile);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
}

std::optional<CaptureChoice> AdapterDialog::Choose(const std::vector<CaptureAdapter>& adapters, int selected,
                                                   QWidget* parent) {
    AdapterDialog dialog(adapters, selected, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Choice();
}

CaptureChoice AdapterDialog::Choice() const {
    if (!captureFile_.isEmpty()) return {-1, captureFile_};
    return {list_->currentRow() < 0 ? 0 : list_->currentRow(), {}};
}

void AdapterDialog::OpenCaptureFile() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open capture file"), QString(),
                                                      tr("Capture files (*.pcap *.pcapng *.cap);;All Files (*)"));
    if (path.isEmpty()) return;
    captureFile_ = path;
    accept();
}

}  // namespace larkspan
