#include "ui/player/FilterPropertiesDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace larkspan {

FilterPropertiesDialog::FilterPropertiesDialog(const QString& elementName,
                                               const std::vector<ElementProperty>& properties, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(elementName);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* table = new QTableWidget(static_cast<int>(properties.size()), 3, this);
    table->setHorizontalHeaderLabels({tr("Property"), tr("Type"), tr("Value")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < static_cast<int>(properties.size()); ++row) {
        const ElementProperty& property = properties[static_cast<std::size_t>(row)];
        table->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(property.name)));
        table->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(property.type)));
        table->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(property.value)));
    }
    table->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(520, 420);
}

}  // namespace larkspan
