#include "ui/mainwin/MediaFileDialog.h"

#include "recorder/SettingsProfile.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace larkspan {

QStringList MediaFileFilters() {
    // Each entry: the translatable description and the patterns the dialog filters by.
    static const char* const kFilters[][2] = {
        {QT_TRANSLATE_NOOP("MediaFileDialog", "Media Files"),
         " (*.asx *.asf *.wax *.wma *.mpg *.mpeg *.mp3 *.avi *.wmv *.wvx *.wmx)"},
        {QT_TRANSLATE_NOOP("MediaFileDialog", "Media Meta files(*.asx;*.wax)"), " (*.asx *.wax)"},
        {QT_TRANSLATE_NOOP("MediaFileDialog", "Video Files(*.asf;*.mpg;*mpeg)"), " (*.asf *.mpg *mpeg)"},
        {QT_TRANSLATE_NOOP("MediaFileDialog", "Music Files(*.mp3;*.wma)"), " (*.mp3 *.wma)"},
        {QT_TRANSLATE_NOOP("MediaFileDialog", "All Files(*.*)"), " (*)"},
    };
    QStringList filters;
    for (const auto& [description, patterns] : kFilters)
        filters << QCoreApplication::translate("MediaFileDialog", description) + QLatin1String(patterns);
    return filters;
}

QFileDialog* CreateMediaFileDialog(QWidget* parent, SettingsProfile& profile, bool multiple) {
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

void RememberChosenFiles(SettingsProfile& profile, const QStringList& files) {
    if (!files.isEmpty())
        profile.WriteString(kLastFileSection, kLastFileKey, files.last().toStdString());
}

}  // namespace larkspan
