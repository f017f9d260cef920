#pragma once
#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>

#include "ui/recorder/QuestionPresenter.h"

namespace larkspan {

// The dialogs of a recording's questions, shown without blocking the
// user-interface thread and without owner window: the overwrite question
// (Yes, No, Cancel), the Save As dialog for ".asf" files, and the
// credentials prompt.
class DialogQuestionPresenter : public QuestionPresenter {
public:
    DialogQuestionPresenter() = default;
    ~DialogQuestionPresenter() override;
    void Present(const std::shared_ptr<WorkerQuestion>& question) override;
    void Withdraw(const std::shared_ptr<WorkerQuestion>& question) override;

private:
    std::map<WorkerQuestion*, QPointer<QWidget>> shown_;
};

}  // namespace larkspan
