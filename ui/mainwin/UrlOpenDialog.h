#pragma once

// The "URL OPEN" dialog: an address or file name typed or picked from the
// recently used addresses, then Play or Record. The addresses live in the
// profile under "RecentUrl\Url" as item0, item1, ...

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;

namespace larkspan {

class SettingsProfile;

class UrlOpenDialog : public QDialog {
    Q_OBJECT

public:
    // The dialog's result when Record ends it (Play ends it with Accepted).
    static constexpr int kRecordResult = 1009;
    static constexpr const char* kSection = "RecentUrl\\Url";
    static constexpr int kHistoryCount = 30;

    explicit UrlOpenDialog(SettingsProfile& profile, QWidget* parent = nullptr);

    QString text() const;
    bool recordChosen() const { return result() == kRecordResult; }

    QComboBox* urlBox() const { return urlBox_; }
    QPushButton* playButton() const { return playButton_; }
    QPushButton* recordButton() const { return recordButton_; }
    QPushButton* browseButton() const { return browseButton_; }

    // item0..item29, stopping at the first empty value.
    static QStringList LoadHistory(SettingsProfile& profile);
    // Every entry, as item0, item1, ... (a later load takes the first 30).
    static void SaveHistory(SettingsProfile& profile, const QStringList& entries);
    // `text` first, without the entries equal to it (case counts); an empty
    // text leaves the list as it is.
    static QStringList PutOnTop(QStringList entries, const QString& text);

    // Play and Record put the typed text at the top of the list and store it.
    void done(int result) override;

private:
    void Browse();

    SettingsProfile& profile_;
    QComboBox* urlBox_;
    QPushButton* playButton_;
    QPushButton* recordButton_;
    QPushButton* browseButton_;
};

}  // namespace larkspan
