#pragma once
#include <string>

namespace larkspan {

// Yes overwrites, No asks for another path (Save As), Cancel stops the job,
// Skip keeps the file and goes on with the job's next entry.
enum class OverwriteAnswer { Yes, No, Cancel, Skip };

// The questions a recording may put to the user: the overwrite question and
// the Save As dialog. Asked on the worker's own thread; several workers may
// ask at once, so an implementation serialises what it shows.
class QuestionAsker {
public:
    virtual ~QuestionAsker() = default;

    // OverwriteQuestionText(path), with Yes, No and Cancel.
    virtual OverwriteAnswer AskOverwrite(const std::string& path) = 0;

    // A Save As dialog for ".asf" files, pre-filled with suggested (a full
    // path or only a file name). Returns the chosen full path, whose folder
    // exists, or an empty text when the user cancels.
    virtual std::string AskSaveAs(const std::string& suggested) = 0;

    // The job was stopped: a question on screen now ends as cancelled, and
    // any later one is answered Cancel without being shown. Called from
    // another thread; returns at once.
    virtual void CancelPending() {}
};

// "<path> \n\n File exist. Overwrite?"
std::string OverwriteQuestionText(const std::string& path);

// Answers without asking anyone: a fixed answer to the overwrite question
// and no Save As choice. For runs with nobody at the terminal.
class FixedQuestionAsker : public QuestionAsker {
public:
    explicit FixedQuestionAsker(OverwriteAnswer answer) : answer_(answer) {}
    OverwriteAnswer AskOverwrite(const std::string&) override { return answer_; }
    std::string AskSaveAs(const std::string&) override { return {}; }

private:
    OverwriteAnswer answer_;
};

}  // namespace larkspan
