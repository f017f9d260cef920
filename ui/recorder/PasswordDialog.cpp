#include "ui/recorder/PasswordDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace larkspan {

PasswordDialog::PasswordDialog(const QString& site, const QString& user, const QString& password, QWidget* parent)
    : QDialog(parent), user_(new QLineEdit(user)), password_(new QLineEdit(password)), save_(new QCheckBox) {
    setWindowTitle(tr("Username and Password Required"));
    password_->setEchoMode(QLineEdit::Password);
    save_->setText(tr("save?(&S)"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Site :")), 0, 0);
    grid->addWidget(new QLabel(site), 0, 1);
    grid->addWidget(new QLabel(tr("Region :")), 1, 0);
    grid->addWidget(new QLabel(QString()), 1, 1);
    auto* userLabel = new QLabel(tr("Username( &U) :"));
    userLabel->setBuddy(user_);
    grid->addWidget(userLabel, 2, 0);
    grid->addWidget(user_, 2, 1);
    auto* passwordLabel = new QLabel(tr("Password( &P) :"));
    passwordLabel->setBuddy(password_);
    grid->addWidget(passwordLabel, 3, 0);
    grid->addWidget(password_, 3, 1);

    auto* ok = new QPushButton(tr("Ok"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Enter username for Member( Case sensitive )")));
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

QString PasswordDialog::User() const { return user_->text(); }

QString PasswordDialog::Password() const { return password_->text(); }

}  // namespace larkspan
