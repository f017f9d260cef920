#include "ui/prefs/PreferencesDialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "recorder/SettingsProfile.h"
#include "ui/prefs/MaxTimeFields.h"

namespace larkspan {

namespace {
constexpr int kSpinMaximum = 1000;
constexpr int kSecondsMaximum = 60;

Qt::CheckState ToCheckState(AssociationState state) {
    switch (state) {
    case AssociationState::Checked: return Qt::Checked;
    case AssociationState::Indeterminate: return Qt::PartiallyChecked;
    case AssociationState::Unchecked: break;
    }
    return Qt::Unchecked;
}

QCheckBox* SwitchBox(const QString& text, const QString& name, int value) {
    auto* box = new QCheckBox(text);
    box->setObjectName(name);
    box->setChecked(value != 0);
    return box;
}

QLabel* UnitLabel(const QString& text, const QString& name) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    return label;
}
}  // namespace

PreferencesDialog::PreferencesDialog(RecorderSettings& live, SettingsProfile& profile,
                                     FileAssociations* associations, QWidget* parent)
    : QDialog(parent), live_(live), profile_(profile), associations_(associations), edit_(live),
      folderBrowser_(profile) {
    setWindowTitle(tr("Preferences"));

    auto* deleteButton = new QPushButton(tr("&Delete recent files"));
    deleteButton->setObjectName(QStringLiteral("deleteRecent"));
    deleteButton->setAutoDefault(false);
    connect(deleteButton, &QPushButton::clicked, this, &PreferencesDialog::DeleteRecentLists);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(deleteButton);
    bottom->addStretch();
    bottom->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildPreferencesBox());
    layout->addWidget(BuildRecordBox());
    layout->addWidget(BuildAssociationsBox());
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowLimitControls();
}

QGroupBox* PreferencesDialog::BuildPreferencesBox() {
    pathEdit_ = new QLineEdit(QString::fromStdString(edit_.baseDir));
    pathEdit_->setObjectName(QStringLiteral("path"));
    pathEdit_->setMinimumWidth(320);
    auto* browse = new QPushButton(tr("Browser..."));
    browse->setObjectName(QStringLiteral("browse"));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &PreferencesDialog::BrowseFolder);

    overwriteBox_ = SwitchBox(tr("Overwrite confirmation"), QStringLiteral("overwrite"), edit_.overWrite);
    instancesBox_ = SwitchBox(tr("Allow miltiple instances"), QStringLiteral("instances"),
                              edit_.allowMultipleInstances);
    repeatBox_ = SwitchBox(tr("Repeat"), QStringLiteral("repeat"), edit_.repeat);
    captionBox_ = SwitchBox(tr("Enable Caption"), QStringLiteral("caption"), edit_.enableCaption);

    auto* box = new QGroupBox(tr("Preferences"));
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel(tr("Default Path :")), 0, 0, 1, 2);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pathEdit_, 1);
    pathRow->addWidget(browse);
    grid->addLayout(pathRow, 1, 0, 1, 2);
    grid->addWidget(overwriteBox_, 2, 0);
    grid->addWidget(instancesBox_, 2, 1);
    grid->addWidget(repeatBox_, 3, 0);
    grid->addWidget(captionBox_, 3, 1);
    return box;
}

QSpinBox* PreferencesDialog::AddSpin(const QString& name, int value, int minimum, int maximum) {
    auto* spin = new QSpinBox;
    spin->setObjectName(name);
    // A value the profile holds outside the range is shown and kept as it is.
    spin->setRange(std::min(minimum, value), std::max(maximum, value));
    spin->setValue(value);
    spin->setAlignment(Qt::AlignRight);
    spin->setMinimumWidth(80);
    return spin;
}

QGroupBox* PreferencesDialog::BuildRecordBox() {
    const MaxTimeFields time = SplitMaxTime(edit_.maxTime);
    sizeLimitBox_ = SwitchBox(tr("Max Size"), QStringLiteral("sizeLimit"), edit_.sizePolicy);
    sizeSpin_ = AddSpin(QStringLiteral("size"), edit_.maxSize, 0, kSpinMaximum);
    sizeUnit_ = UnitLabel(tr("MB"), QStringLiteral("sizeUnit"));
    timeLimitBox_ = SwitchBox(tr("Max Time"), QStringLiteral("timeLimit"), edit_.timePolicy);
    minutesSpin_ = AddSpin(QStringLiteral("minutes"), time.minutes, 0, kSpinMaximum);
    minutesUnit_ = UnitLabel(tr("M"), QStringLiteral("minutesUnit"));
    secondsSpin_ = AddSpin(QStringLiteral("seconds"), time.seconds, 0, kSecondsMaximum);
    secondsUnit_ = UnitLabel(tr("S"), QStringLiteral("secondsUnit"));
    liveTimeBox_ = SwitchBox(tr("Save time info, if live content."), QStringLiteral("liveTime"),
                             edit_.liveContentSaveTimeInfo);
    connect(sizeLimitBox_, &QCheckBox::toggled, this, &PreferencesDialog::ShowLimitControls);
    connect(timeLimitBox_, &QCheckBox::toggled, this, &PreferencesDialog::ShowLimitControls);

    auto* box = new QGroupBox(tr("Record"));
    auto* grid = new QGridLayout(box);
    grid->addWidget(sizeLimitBox_, 0, 0);
    grid->addWidget(sizeSpin_, 0, 1);
    grid->addWidget(sizeUnit_, 0, 2);
    grid->addWidget(timeLimitBox_, 1, 0);
    grid->addWidget(minutesSpin_, 1, 1);
    grid->addWidget(minutesUnit_, 1, 2);
    grid->addWidget(secondsSpin_, 1, 3);
    grid->addWidget(secondsUnit_, 1, 4);
    grid->addWidget(liveTimeBox_, 2, 0, 1, 5);
    grid->setColumnStretch(5, 1);
    return box;
}

QString PreferencesDialog::GroupName(AssociationGroup group) const {
    switch (group) {
    case AssociationGroup::Asf: return tr("Windows Media File");
    case AssociationGroup::Audio: return tr("Windows Media Audio File");
    case AssociationGroup::Video: break;
    }
    return tr("Windows Media Audio/Video File");
}

QGroupBox* PreferencesDialog::BuildAssociationsBox() {
    const QString texts[] = {tr("Windows Media File(.asf, .asx, .wmx )"), tr("Windows Media Audio File( .wma, .wax )"),
                             tr("Windows Media Audio/Video File(.wmv,wvx)")};
    const QString names[] = {QStringLiteral("asfGroup"), QStringLiteral("audioGroup"), QStringLiteral("videoGroup")};
    auto* box = new QGroupBox(tr("Larkspan Recorder Associations"));
    auto* column = new QVBoxLayout(box);
    QStringList coupled;
    for (size_t i = 0; i < associationBoxes_.size(); ++i) {
        AssociationBox& entry = associationBoxes_[i];
        entry.box = new QCheckBox(texts[i]);
        entry.box->setObjectName(names[i]);
        column->addWidget(entry.box);
        if (!associations_) {
            entry.box->setEnabled(false);
            continue;
        }
        entry.box->setCheckState(ToCheckState(associations_->StateOf(entry.group)));
        connect(entry.box, &QCheckBox::clicked, this, [this, &entry] { AssociationClicked(entry); });
        QStringList others;
        for (AssociationGroup other : associations_->GroupsSharingTypesWith(entry.group)) others << GroupName(other);
        if (others.isEmpty()) continue;
        entry.box->setToolTip(tr("Changes along with: %1").arg(others.join(QStringLiteral(", "))));
        coupled << GroupName(entry.group);
    }
    // Where the desktop keeps extensions of several groups under one type,
    // changing one group changes the others too; the boxes show what was
    // asked for, and the next opening shows what the desktop made of it.
    auto* note = new QLabel(tr("These groups share file types on this desktop and change together: %1.")
                                .arg(coupled.join(QStringLiteral(", "))));
    note->setObjectName(QStringLiteral("associationNote"));
    note->setWordWrap(true);
    note->setVisible(!coupled.isEmpty());
    column->addWidget(note);
    return box;
}

void PreferencesDialog::ShowLimitControls() {
    const bool size = sizeLimitBox_->isChecked();
    sizeSpin_->setEnabled(size);
    sizeUnit_->setEnabled(size);
    const bool time = timeLimitBox_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{minutesSpin_, minutesUnit_, secondsSpin_, secondsUnit_})
        w->setEnabled(time);
}

void PreferencesDialog::AssociationClicked(AssociationBox& entry) {
    // A click leaves a box checked or unchecked; "some types" is only what
    // the dialog found when it opened, and a click on it unchecks the box
    // (unchecked, checked, some, unchecked: the step to "some" is skipped).
    if (entry.box->isTristate()) entry.box->setCheckState(Qt::Unchecked);
    entry.box->setTristate(false);
    entry.changed = true;
}

void PreferencesDialog::BrowseFolder() {
    const QString folder = folderBrowser_.Browse(this, tr("File Folder"), pathEdit_->text());
    if (!folder.isEmpty()) pathEdit_->setText(folder);
}

void PreferencesDialog::DeleteRecentLists() {
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Larkspan Recorder"), tr("Are you sure you want to delete all recent file(url) list?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    profile_.DeleteSection(kRecentUrlSection);
    profile_.DeleteSection(kRecentFileSection);
    emit recentListsDeleted();
}

void PreferencesDialog::TakeFields() {
    for (QSpinBox* spin : {sizeSpin_, minutesSpin_, secondsSpin_}) spin->interpretText();
    edit_.baseDir = pathEdit_->text().toStdString();
    edit_.overWrite = overwriteBox_->isChecked() ? 1 : 0;
    edit_.allowMultipleInstances = instancesBox_->isChecked() ? 1 : 0;
    edit_.sizePolicy = sizeLimitBox_->isChecked() ? 1 : 0;
    edit_.maxSize = sizeSpin_->value();
    edit_.timePolicy = timeLimitBox_->isChecked() ? 1 : 0;
    edit_.maxTime = MaxTimeFromFields(minutesSpin_->value(), secondsSpin_->value());
    edit_.liveContentSaveTimeInfo = liveTimeBox_->isChecked() ? 1 : 0;
    edit_.repeat = repeatBox_->isChecked() ? 1 : 0;
    edit_.enableCaption = captionBox_->isChecked() ? 1 : 0;
}

QStringList PreferencesDialog::WriteAssociations() {
    QStringList errors;
    if (!associations_) return errors;
    bool anyChanged = false;
    for (const AssociationBox& entry : associationBoxes_) {
        if (!entry.changed) continue;
        anyChanged = true;
        const bool ok = entry.box->checkState() == Qt::Checked ? associations_->Associate(entry.group)
                                                               : associations_->Withdraw(entry.group);
        if (!ok) errors << QString::fromStdString(associations_->LastError());
    }
    if (anyChanged) associations_->NotifyChanged();
    return errors;
}

void PreferencesDialog::accept() {
    TakeFields();
    // Only the dialog's own fields: whatever else the program changed in the
    // live settings meanwhile stays.
    live_.baseDir = edit_.baseDir;
    live_.overWrite = edit_.overWrite;
    live_.allowMultipleInstances = edit_.allowMultipleInstances;
    live_.liveContentSaveTimeInfo = edit_.liveContentSaveTimeInfo;
    live_.repeat = edit_.repeat;
    live_.maxSize = edit_.maxSize;
    live_.sizePolicy = edit_.sizePolicy;
    live_.timePolicy = edit_.timePolicy;
    live_.maxTime = edit_.maxTime;
    live_.enableCaption = edit_.enableCaption;
    live_.Save(profile_);

    QStringList problems;
    const QStringList associationErrors = WriteAssociations();
    if (!CreateDirectoryPath(edit_.baseDir))
        problems << tr("The folder \"%1\" could not be created.").arg(QString::fromStdString(edit_.baseDir));
    if (!associationErrors.isEmpty())
        problems << tr("The file types could not all be changed: %1").arg(associationErrors.join(QStringLiteral("; ")));
    if (!problems.isEmpty()) QMessageBox::warning(this, tr("Larkspan Recorder"), problems.join(QStringLiteral("\n\n")));
    QDialog::accept();
}

}  // namespace larkspan
