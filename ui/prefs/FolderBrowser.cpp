#include "ui/prefs/FolderBrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "recorder/SettingsProfile.h"

namespace larkspan {

namespace {
bool IsFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}
}  // namespace

FolderBrowser::FolderBrowser(SettingsProfile& profile, Chooser chooser)
    : profile_(profile), chooser_(std::move(chooser)) {}

QString FolderBrowser::StartFolder(const QString& currentPath) {
    if (IsFolder(currentPath)) return QDir::cleanPath(currentPath);
    const QString last = QString::fromStdString(profile_.GetString(kSection, kLastFolderKey, ""));
    return IsFolder(last) ? last : QDir::homePath();
}

QString FolderBrowser::Browse(QWidget* parent, const QString& text, const QString& currentPath) {
    const QString title = QCoreApplication::translate("FolderBrowser", "Select Folder");
    const QString chosen = chooser_(parent, title, text, StartFolder(currentPath));
    if (chosen.isEmpty()) return {};
    const QString folder = QDir::toNativeSeparators(QDir::cleanPath(chosen));
    profile_.WriteString(kSection, kLastFolderKey, folder.toStdString());
    return folder;
}

QString FolderBrowser::ShowFolderDialog(QWidget* parent, const QString& windowTitle, const QString& text,
                                        const QString& startFolder) {
    QFileDialog dialog(parent, windowTitle, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The text stands where the dialog names the folder being looked at.
    dialog.setLabelText(QFileDialog::LookIn, text);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace larkspan
