#include "ui/mainwin/UrlOpenDialog.h"

#include "recorder/SettingsProfile.h"
#include "ui/mainwin/MediaFileDialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace larkspan {

namespace {

std::string ItemName(int index) { return "item" + std::to_string(index); }

}  // namespace

UrlOpenDialog::UrlOpenDialog(SettingsProfile& profile, QWidget* parent) : QDialog(parent), profile_(profile) {
    setWindowTitle(tr("URL OPEN"));
    auto* label = new QLabel(tr("Input File name or Url"), this);
    urlBox_ = new QComboBox(this);
    urlBox_->setEditable(true);
    urlBox_->setInsertPolicy(QComboBox::NoInsert);
    urlBox_->setMinimumWidth(360);
    urlBox_->addItems(LoadHistory(profile));
    urlBox_->setCurrentIndex(-1);
    label->setBuddy(urlBox_);

    playButton_ = new QPushButton(tr("Play"), this);
    playButton_->setDefault(true);
    recordButton_ = new QPushButton(tr("Record"), this);
    browseButton_ = new QPushButton(tr("Browse(&B)"), this);
    auto* cancelButton = new QPushButton(tr("Cancel"), this);
    connect(playButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(recordButton_, &QPushButton::clicked, this, [this] { done(kRecordResult); });
    connect(browseButton_, &QPushButton::clicked, this, &UrlOpenDialog::Browse);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(browseButton_);
    buttons->addStretch(1);
    buttons->addWidget(playButton_);
    buttons->addWidget(recordButton_);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(urlBox_);
    layout->addLayout(buttons);
}

QString UrlOpenDialog::text() const { return urlBox_->currentText(); }

QStringList UrlOpenDialog::LoadHistory(SettingsProfile& profile) {
    QStringList entries;
    for (int i = 0; i < kHistoryCount; ++i) {
        const std::string entry = profile.GetString(kSection, ItemName(i), "");
        if (entry.empty())
            break;
        entries.append(QString::fromStdString(entry));
    }
    return entries;
}

void UrlOpenDialog::SaveHistory(SettingsProfile& profile, const QStringList& entries) {
    for (int i = 0; i < entries.size(); ++i)
        profile.WriteString(kSection, ItemName(i), entries[i].toStdString());
}

QStringList UrlOpenDialog::PutOnTop(QStringList entries, const QString& text) {
    if (text.isEmpty())
        return entries;
    entries.removeAll(text);
    entries.prepend(text);
    return entries;
}

void UrlOpenDialog::done(int result) {
    if (result == Accepted || result == kRecordResult) {
        const QString typed = text();
        QStringList entries;
        for (int i = 0; i < urlBox_->count(); ++i)
            entries.append(urlBox_->itemText(i));
        entries = PutOnTop(entries, typed);
        urlBox_->clear();
        urlBox_->addItems(entries);
        urlBox_->setEditText(typed);
        SaveHistory(profile_, entries);
    }
    QDialog::done(result);
}

void UrlOpenDialog::Browse() {
    QFileDialog* dialog = CreateMediaFileDialog(this, profile_, false);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        RememberChosenFiles(profile_, files);
        if (!files.isEmpty())
            urlBox_->setEditText(files.first());
    });
    dialog->open();
}

}  // namespace larkspan
