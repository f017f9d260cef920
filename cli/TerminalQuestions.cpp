#include "cli/TerminalQuestions.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cli/PrintableText.h"
#include "cli/ProgressDisplay.h"
#include "cli/Terminal.h"

namespace larkspan::cli {

namespace {
// Holds the terminal for one question, with the progress lines taken away
// first; the display cannot draw again until the question is answered.
class Asking {
public:
    explicit Asking(TerminalLock* lock) : guard_(lock->mutex) {
        if (lock->display) lock->display->Clear();
    }

private:
    std::lock_guard<std::mutex> guard_;
};
}  // namespace

TerminalQuestions::TerminalQuestions(TerminalLock* lock, OverwritePolicy policy, std::string user,
                                     std::string password)
    : lock_(lock), policy_(policy), user_(std::move(user)), password_(std::move(password)) {}

void TerminalQuestions::CancelPending() {
    cancelled_.store(true);
    cancel_.Raise();
}

OverwriteAnswer TerminalQuestions::Skip(const std::string& path) {
    std::lock_guard<std::mutex> lock(skippedMutex_);
    skipped_.push_back(path);
    return OverwriteAnswer::Skip;
}

int TerminalQuestions::Skipped() const {
    std::lock_guard<std::mutex> lock(skippedMutex_);
    return static_cast<int>(skipped_.size());
}

bool TerminalQuestions::WasSkipped(const std::string& path) const {
    std::lock_guard<std::mutex> lock(skippedMutex_);
    return std::find(skipped_.begin(), skipped_.end(), path) != skipped_.end();
}

OverwriteAnswer TerminalQuestions::AskOverwrite(const std::string& path) {
    if (policy_ == OverwritePolicy::Always) return OverwriteAnswer::Yes;
    if (cancelled_.load()) return OverwriteAnswer::Cancel;
    if (policy_ == OverwritePolicy::Never) return Skip(path);
    if (!HaveInteractiveTerminal()) {
        overwriteUnanswered_ = true;
        return Skip(path);
    }
    Asking asking(lock_);
    std::string answer;
    const std::string question =
        Printable(OverwriteQuestionText(path)) + " [y]es / [n]o, save as / [s]kip / [c]ancel: ";
    if (!ReadTerminalLine(question, false, answer, &cancel_)) return OverwriteAnswer::Cancel;
    if (answer == "y" || answer == "Y" || answer == "yes") return OverwriteAnswer::Yes;
    if (answer == "n" || answer == "N" || answer == "no") return OverwriteAnswer::No;
    if (answer == "s" || answer == "S" || answer == "skip") return Skip(path);
    return OverwriteAnswer::Cancel;
}

std::string TerminalQuestions::AskSaveAs(const std::string& suggested) {
    if (cancelled_.load() || !HaveInteractiveTerminal()) return {};
    Asking asking(lock_);
    std::string path;
    if (!ReadTerminalLine("Save as [" + Printable(suggested) + "] (empty line cancels): ", false, path, &cancel_) ||
        path.empty())
        return {};
    std::error_code ec;
    auto folder = std::filesystem::absolute(path, ec).parent_path();
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        std::fprintf(stderr, "No such folder: %s\n", Printable(folder.string()).c_str());
        return {};
    }
    return path;
}

bool TerminalQuestions::AskCredentials(const std::string& site, std::string& user, std::string& password) {
    ++credentialRequests_;
    // Credentials given on the command line answer the first request.
    if (!offeredGiven_ && !user_.empty()) {
        offeredGiven_ = true;
        user = user_;
        password = password_;
        return true;
    }
    if (cancelled_.load() || !HaveInteractiveTerminal()) return false;
    Asking asking(lock_);
    std::string u, p;
    const std::string heading = "Username and Password Required (site: " + Printable(site) + ")\n";
    if (!ReadTerminalLine(heading + "Username" + (user.empty() ? std::string() : " [" + Printable(user) + "]") + ": ",
                          false, u, &cancel_))
        return false;
    if (!ReadTerminalLine("Password: ", true, p, &cancel_)) return false;
    if (!u.empty()) user = u;
    password = p;
    return true;
}

void TerminalQuestions::OnCredentialsRefused(const std::string& site) {
    if (cancelled_.load()) return;
    Asking asking(lock_);
    std::fprintf(stderr, "The server refused the user name or password for %s.\n", Printable(site).c_str());
    std::fflush(stderr);
}

}  // namespace larkspan::cli
