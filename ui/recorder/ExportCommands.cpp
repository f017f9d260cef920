#include "ui/recorder/ExportCommands.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "media/MediaRefKind.h"
#include "ui/recorder/RecordList.h"

namespace larkspan {

ExportCommands::ExportCommands(RecordList& list, SettingsProfile* siblingProfile, QWidget* dialogParent,
                               QObject* parent)
    : QObject(parent), list_(list), sibling_(siblingProfile), dialogParent_(dialogParent) {
    // A completed recording turns a row's source into a local file, and a
    // deleted row takes the selection with it.
    connect(list.Selection(), &QItemSelectionModel::selectionChanged, this, &ExportCommands::UpdateSelection);
    connect(list.Model(), &QAbstractItemModel::dataChanged, this, &ExportCommands::UpdateSelection);
    connect(list.Model(), &QAbstractItemModel::rowsRemoved, this, &ExportCommands::UpdateSelection);
    connect(list.Model(), &QAbstractItemModel::modelReset, this, &ExportCommands::UpdateSelection);
}

bool ExportCommands::IsLocalSource(const QString& source) {
    return (ClassifyMediaRef(source.toStdString()) & refkind::LocalFile) != 0;
}

bool ExportCommands::HandleCommand(int id) {
    switch (id) {
    case kSaveCommand:
        Save();
        return true;
    case kSaveAsCommand:
        SaveAs();
        return true;
    case kCopyToClipboardCommand:
        CopyToClipboard();
        return true;
    default:
        return false;
    }
}

void ExportCommands::Save() {
    std::string source, name;
    if (!SelectedRow(source, name)) return;
    Report(SavePlaylist(source, name, ExportFolder(sibling_, list_.Settings()), *this));
}

void ExportCommands::SaveAs() {
    std::string source, name;
    if (!SelectedRow(source, name)) return;
    Report(SavePlaylistAs(source, name, ExportFolder(sibling_, list_.Settings()), *this));
}

void ExportCommands::CopyToClipboard() {
    std::string source, name;
    if (!SelectedRow(source, name)) return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(source));
}

void ExportCommands::UpdateSelection() {
    std::string source, name;
    SelectedRow(source, name);
    const QString shown = QString::fromStdString(source);
    const bool local = !shown.isEmpty() && IsLocalSource(shown);
    if (shown == shownSource_ && local == shownLocal_) return;
    shownSource_ = shown;
    shownLocal_ = local;
    emit selectedSourceChanged(shown, local);
}

bool ExportCommands::SelectedRow(std::string& source, std::string& name) const {
    const int row = list_.SelectedRow();
    if (row < 0) return false;
    source = list_.Model()->Text(row, RecordListModel::kSource).toStdString();
    name = list_.Model()->Text(row, RecordListModel::kName).toStdString();
    return true;
}

bool ExportCommands::ConfirmOverwrite(const std::string& shownName) {
    const QString question = QCoreApplication::translate("QuestionDialogs", "%1 \n\n File exist. Overwrite?")
                                 .arg(QString::fromStdString(shownName));
    if (confirm_) return confirm_(question);
    return QMessageBox::question(dialogParent_, QCoreApplication::applicationName(), question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::string ExportCommands::AskSaveAsPath(const std::string& defaultPath) {
    const QString proposed = QString::fromStdString(defaultPath);
    if (saveAs_) return saveAs_(proposed).toStdString();
    QFileDialog dialog(dialogParent_, tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(tr("asx Files (*.asx)"));
    dialog.setDefaultSuffix(QStringLiteral("asx"));
    // The playlist writer asks before it overwrites.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first().toStdString();
}

void ExportCommands::Report(const ExportOutcome& outcome) {
    if (outcome.status != ExportStatus::Failed) return;
    const QString text = tr("The file %1 could not be written: %2")
                             .arg(QString::fromStdString(outcome.path), QString::fromStdString(outcome.reason));
    if (message_) {
        message_(text);
        return;
    }
    QMessageBox::warning(dialogParent_, QCoreApplication::applicationName(), text);
}

}  // namespace larkspan
