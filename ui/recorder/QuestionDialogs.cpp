#include "ui/recorder/QuestionDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/recorder/PasswordDialog.h"

namespace larkspan {

namespace {
QString Translate(const char* text) { return QCoreApplication::translate("QuestionDialogs", text); }
}  // namespace

DialogQuestionPresenter::~DialogQuestionPresenter() {
    // Closed without answering: the dialogs' handlers refer to this object.
    for (auto& [question, dialog] : shown_) {
        if (!dialog) continue;
        dialog->disconnect();
        dialog->close();
    }
}

void DialogQuestionPresenter::Present(const std::shared_ptr<WorkerQuestion>& question) {
    QDialog* dialog = nullptr;
    WorkerQuestion* key = question.get();
    // The dialog answers when it closes; a withdrawn one is disconnected first.
    switch (question->GetKind()) {
    case WorkerQuestion::Kind::Overwrite: {
        auto* box = new QMessageBox(QMessageBox::Question, QCoreApplication::applicationName(),
                                    Translate(QT_TRANSLATE_NOOP("QuestionDialogs", "%1 \n\n File exist. Overwrite?"))
                                        .arg(QString::fromStdString(question->Text())),
                                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QObject::connect(box, &QMessageBox::finished, box, [this, key, question, box] {
            shown_.erase(key);
            const auto button = box->standardButton(box->clickedButton());
            question->AnswerOverwrite(button == QMessageBox::Yes  ? OverwriteAnswer::Yes
                                      : button == QMessageBox::No ? OverwriteAnswer::No
                                                                  : OverwriteAnswer::Cancel);
        });
        dialog = box;
        break;
    }
    case WorkerQuestion::Kind::SaveAs: {
        auto* files = new QFileDialog(nullptr, QString(), QString::fromStdString(question->Text()),
                                      Translate(QT_TRANSLATE_NOOP("QuestionDialogs", "asf Files (*.asf)")));
        files->setAcceptMode(QFileDialog::AcceptSave);
        files->setFileMode(QFileDialog::AnyFile);
        files->setDefaultSuffix(QStringLiteral("asf"));
        QObject::connect(files, &QFileDialog::finished, files, [this, key, question, files](int result) {
            shown_.erase(key);
            const QStringList chosen = files->selectedFiles();
            question->AnswerSaveAs(result == QDialog::Accepted && !chosen.isEmpty() ? chosen.first().toStdString()
                                                                                    : std::string());
        });
        dialog = files;
        break;
    }
    case WorkerQuestion::Kind::Credentials: {
        auto* prompt = new PasswordDialog(QString::fromStdString(question->Text()),
                                          QString::fromStdString(question->InitialUser()),
                                          QString::fromStdString(question->InitialPassword()));
        QObject::connect(prompt, &QDialog::finished, prompt, [this, key, question, prompt](int result) {
            shown_.erase(key);
            question->AnswerCredentials(result == QDialog::Accepted, prompt->User().toStdString(),
                                        prompt->Password().toStdString());
        });
        dialog = prompt;
        break;
    }
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    shown_[key] = dialog;
    dialog->open();
}

void DialogQuestionPresenter::Withdraw(const std::shared_ptr<WorkerQuestion>& question) {
    auto found = shown_.find(question.get());
    if (found == shown_.end()) return;
    QPointer<QWidget> dialog = found->second;
    shown_.erase(found);
    if (!dialog) return;
    dialog->disconnect();
    dialog->close();
}

}  // namespace larkspan
