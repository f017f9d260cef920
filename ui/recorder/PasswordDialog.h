#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace larkspan {

// "Username and Password Required": asked when a server answers 401. The
// site shows the host name; user and password come pre-filled.
class PasswordDialog : public QDialog {
    Q_OBJECT

public:
    PasswordDialog(const QString& site, const QString& user, const QString& password, QWidget* parent = nullptr);

    QString User() const;
    QString Password() const;

private:
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* save_;  // offered, not read
};

}  // namespace larkspan
