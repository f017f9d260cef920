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

} // namespace

UrlOpenDialog::UrlOpenDialog(SettingsProfile& profile, QWidget* parent) : QDialog(parent), m_profile(profile)
{
    setWindowTitle(tr("URL OPEN"));
    auto* label = new QLabel(tr("Input File name or Url"), this);
    m_urlBox = new QComboBox(this);
    m_urlBox->setEditable(true);
    m_urlBox->setInsertPolicy(QComboBox::NoInsert);
    m_urlBox->setMinimumWidth(360);
    m_urlBox->addItems(LoadHistory(profile));
    m_urlBox->setCurrentIndex(-1);
    label->setBuddy(m_urlBox);

    m_playButton = new QPushButton(tr("Play"), this);
    m_playButton->setDefault(true);
    m_recordButton = new QPushButton(tr("Record"), this);
    m_browseButton = new QPushButton(tr("Browse(&B)"), this);
    auto* cancelButton = new QPushButton(tr("Cancel"), this);
    connect(m_playButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_recordButton, &QPushButton::clicked, this, [this] { done(kRecordResult); });
    connect(m_browseButton, &QPushButton::clicked, this, &UrlOpenDialog::Browse);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_browseButton);
    buttons->addStretch(1);
    buttons->addWidget(m_playButton);
    buttons->addWidget(m_recordButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_urlBox);
    layout->addLayout(buttons);
}

QString UrlOpenDialog::text() const { return m_urlBox->currentText(); }

QStringList UrlOpenDialog::LoadHistory(SettingsProfile& profile)
{
    QStringList entries;
    for (int i = 0; i < kHistoryCount; ++i) {
        const std::string entry = profile.GetString(kSection, ItemName(i), "");
        if (entry.empty())
            break;
        entries.append(QString::fromStdString(entry));
    }
    return entries;
}

void UrlOpenDialog::SaveHistory(SettingsProfile& profile, const QStringList& entries)
{
    for (int i = 0; i < entries.size(); ++i)
        profile.WriteString(kSection, ItemName(i), entries[i].toStdString());
}

QStringList UrlOpenDialog::PutOnTop(QStringList entries, const QString& text)
{
    if (text.isEmpty())
        return entries;
    entries.removeAll(text);
    entries.prepend(text);
    return entries;
}

void UrlOpenDialog::done(int result)
{
    if (result == Accepted || result == kRecordResult) {
        const QString typed = text();
        QStringList entries;
        for (int i = 0; i < m_urlBox->count(); ++i)
            entries.append(m_urlBox->itemText(i));
        entries = PutOnTop(entries, typed);
        m_urlBox->clear();
        m_urlBox->addItems(entries);
        m_urlBox->setEditText(typed);
        SaveHistory(m_profile, entries);
    }
    QDialog::done(result);
}

void UrlOpenDialog::Browse()
{
    QFileDialog* dialog = CreateMediaFileDialog(this, m_profile, false);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        RememberChosenFiles(m_profile, files);
        if (!files.isEmpty())
            m_urlBox->setEditText(files.first());
    });
    dialog->open();
}

} // namespace larkspan
