#pragma once

// The open-file dialog of the Open command and of the URL dialog's Browse
// button: media file filters, starting at the last file chosen, which the
// profile keeps under "Path"/"video".

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace larkspan {

class SettingsProfile;

inline constexpr const char* kLastFileSection = "Path";
inline constexpr const char* kLastFileKey = "video";

QStringList MediaFileFilters();

// A dialog (not shown yet) for one or, with `multiple`, several existing
// files; it deletes itself when closed.
QFileDialog* CreateMediaFileDialog(QWidget* parent, SettingsProfile& profile, bool multiple);

// Stores the last of the chosen files for the next dialog.
void RememberChosenFiles(SettingsProfile& profile, const QStringList& files);

}  // namespace larkspan
