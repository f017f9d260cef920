#pragma once
#include <functional>

#include <QString>

class QWidget;

namespace larkspan {

class SettingsProfile;

// Lets the user pick a folder for the recordings. Starts from the folder the
// caller shows, or, when that does not exist, from the last folder picked
// here, which it keeps in the profile.
class FolderBrowser {
public:
    static constexpr const char* kSection = "setting";
    static constexpr const char* kLastFolderKey = "last folder";

    // Shows a folder chooser with a window title, a text telling what to
    // pick and a starting folder; returns the chosen folder, or an empty text
    // when the user cancelled.
    using Chooser = std::function<QString(QWidget* parent, const QString& windowTitle, const QString& text,
                                          const QString& startFolder)>;

    explicit FolderBrowser(SettingsProfile& profile, Chooser chooser = ShowFolderDialog);

    void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

    // The chosen folder's full path, or an empty text when cancelled.
    QString Browse(QWidget* parent, const QString& text, const QString& currentPath);

    // The desktop's own folder dialog, showing folders only.
    static QString ShowFolderDialog(QWidget* parent, const QString& windowTitle, const QString& text,
                                    const QString& startFolder);

private:
    QString StartFolder(const QString& currentPath);

    SettingsProfile& profile_;
    Chooser chooser_;
};

}  // namespace larkspan
