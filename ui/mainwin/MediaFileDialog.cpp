#include "ui/mainwin/MediaFileDialog.h"

#include "recorder/SettingsProfile.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace larkspan {

QStringList MediaFileFilters()
{
    auto tr = [](const char* text) { return QCoreApplication::translate("MediaFileDialog", text); };
    return {
        tr("Media Files") + QStringLiteral(" (*.asx *.asf *.wax *.wma *.mpg *.mpeg *.mp3 *.avi *.wmv *.wvx *.wmx)"),
        tr("Media Meta files(*.asx;*.wax)") + QStringLiteral(" (*.asx *.wax)"),
        tr("Video Files(*.asf;*.mpg;*mpeg)") + QStringLiteral(" (*.asf *.mpg *mpeg)"),
        tr("Music Files(*.mp3;*.wma)") + QStringLiteral(" (*.mp3 *.wma)"),
        tr("All Files(*.*)") + QStringLiteral(" (*)"),
    };
}

QFileDialog* CreateMediaFileDialog(QWidget* parent, SettingsProfile& profile, bool multiple)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setNameFilters(MediaFileFilters());
    dialog->setDefaultSuffix(QStringLiteral("asx"));
    const QString last = QString::fromStdString(profile.GetString(kLastFileSection, kLastFileKey, ""));
    if (!last.isEmpty()) {
        const QFileInfo info(last);
        dialog->setDirectory(info.absolutePath());
        dialog->selectFile(info.fileName());
    }
    return dialog;
}

void RememberChosenFiles(SettingsProfile& profile, const QStringList& files)
{
    if (!files.isEmpty())
        profile.WriteString(kLastFileSection, kLastFileKey, files.last().toStdString());
}

} // namespace larkspan
