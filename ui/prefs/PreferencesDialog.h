#pragma once
#include <array>

#include <QDialog>
#include <QStringList>

#include "recorder/RecorderSettings.h"
#include "ui/associations/FileAssociations.h"
#include "ui/prefs/FolderBrowser.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace larkspan {

class SettingsProfile;

// The preferences of the recorder: output folder, overwrite question,
// instances, the limits of recordings, the live-content time switch, repeat,
// captions, and which media types this program handles. Edits a copy of the
// settings; OK writes the dialog's fields into the live settings and saves
// them to the profile, Cancel leaves both as they are. Emptying the recent
// lists is the one thing done at once.
class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kRecentUrlSection = "RecentUrl\\Url";
    static constexpr const char* kRecentFileSection = "FileMRUList\\url";

    // associations may be null where the desktop has no store of handlers;
    // the association boxes are then disabled.
    PreferencesDialog(RecorderSettings& live, SettingsProfile& profile, FileAssociations* associations,
                      QWidget* parent = nullptr);

    // The folder picker behind "Browser..."; tests give it a chooser of their own.
    FolderBrowser& Folders() { return folderBrowser_; }

signals:
    // Both recent lists were deleted from the profile; whoever holds them in
    // memory empties them now, so that nothing writes them back later.
    void recentListsDeleted();

public slots:
    void accept() override;

private:
    struct AssociationBox {
        AssociationGroup group;
        QCheckBox* box = nullptr;
        bool changed = false;
    };

    QGroupBox* BuildPreferencesBox();
    QGroupBox* BuildRecordBox();
    QGroupBox* BuildAssociationsBox();
    QSpinBox* AddSpin(const QString& name, int value, int minimum, int maximum);
    void ShowLimitControls();
    void AssociationClicked(AssociationBox& entry);
    void BrowseFolder();
    void DeleteRecentLists();
    void TakeFields();
    // Hands over or gives back every group the user clicked; the desktop's
    // error texts of the calls that failed.
    QStringList WriteAssociations();
    QString GroupName(AssociationGroup group) const;

    RecorderSettings& live_;
    SettingsProfile& profile_;
    FileAssociations* associations_;
    RecorderSettings edit_;
    FolderBrowser folderBrowser_;

    QLineEdit* pathEdit_ = nullptr;
    QCheckBox* overwriteBox_ = nullptr;
    QCheckBox* instancesBox_ = nullptr;
    QCheckBox* sizeLimitBox_ = nullptr;
    QSpinBox* sizeSpin_ = nullptr;
    QLabel* sizeUnit_ = nullptr;
    QCheckBox* timeLimitBox_ = nullptr;
    QSpinBox* minutesSpin_ = nullptr;
    QLabel* minutesUnit_ = nullptr;
    QSpinBox* secondsSpin_ = nullptr;
    QLabel* secondsUnit_ = nullptr;
    QCheckBox* liveTimeBox_ = nullptr;
    QCheckBox* repeatBox_ = nullptr;
    QCheckBox* captionBox_ = nullptr;
    std::array<AssociationBox, 3> associationBoxes_{
        {{AssociationGroup::Asf}, {AssociationGroup::Audio}, {AssociationGroup::Video}}};
};

}  // namespace larkspan
