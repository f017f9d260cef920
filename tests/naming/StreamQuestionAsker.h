#pragma once
#include <iosfwd>
#include <mutex>
#include <string>

#include "recorder/QuestionAsker.h"

namespace larkspan {

// Answers the recorder's questions from scripted text, as a console
// would: the question goes to out, the answer is one line of in. Overwrite: "y"/"yes" is Yes, "n"/"no" is No, anything else, or the
// end of the input, is Cancel. Save As: the line is the chosen path; an
// empty line or the end of the input cancels, and a path whose folder does
// not exist is asked for again, a few times at most.
class StreamQuestionAsker : public QuestionAsker {
public:
    StreamQuestionAsker(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    OverwriteAnswer AskOverwrite(const std::string& path) override;
    std::string AskSaveAs(const std::string& suggested) override;

private:
    bool ReadLine(std::string& line);

    std::istream& in_;
    std::ostream& out_;
    std::mutex mutex_;
};

}  // namespace larkspan
