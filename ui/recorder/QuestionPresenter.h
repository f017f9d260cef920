#pragma once
#include <memory>

#include "ui/recorder/WorkerQuestion.h"

namespace larkspan {

// Shows a worker's question on the user-interface thread without blocking
// it, and answers the question (WorkerQuestion::Answer...) on that thread
// once the user has decided. The bridge shows one question at a time.
class QuestionPresenter {
public:
    virtual ~QuestionPresenter() = default;
    virtual void Present(const std::shared_ptr<WorkerQuestion>& question) = 0;
    // The question was cancelled (its job stopped, or the program closes):
    // take it off the screen without answering it.
    virtual void Withdraw(const std::shared_ptr<WorkerQuestion>& question) {}
};

}  // namespace larkspan
