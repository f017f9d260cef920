#include "cli/TerminalQuestions.h"

#include <cstdio>
#include <filesystem>

#include "cli/Terminal.h"

namespace larkspan::cli {

namespace {
// Holds the terminal for one question and keeps the progress lines away.
class Asking {
public:
    explicit Asking(TerminalLock* lock) : guard_(lock->mutex), lock_(lock) {
        lock_->asking = true;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    ~Asking() { lock_->asking = false; }

private:
    std::lock_guard<std::mutex> guard_;
    TerminalLock* lock_;
};
}  // namespace

TerminalQuestions::TerminalQuestions(TerminalLock* lock, OverwritePolicy policy, std::string user,
                                     std::string password)
    : lock_(lock), policy_(policy), user_(std::move(user)), password_(std::move(password)) {}

OverwriteAnswer TerminalQuestions::AskOverwrite(const std::string& path) {
    if (policy_ == OverwritePolicy::Always) return OverwriteAnswer::Yes;
    if (policy_ == OverwritePolicy::Never) return OverwriteAnswer::Cancel;
    if (!HaveInteractiveTerminal()) {
        overwriteUnanswered_ = true;
        return OverwriteAnswer::Cancel;
    }
    Asking asking(lock_);
    std::string answer;
    if (!ReadTerminalLine(OverwriteQuestionText(path) + " [y]es / [n]o, save as / [c]ancel: ", false, answer))
        return OverwriteAnswer::Cancel;
    if (answer == "y" || answer == "Y" || answer == "yes") return OverwriteAnswer::Yes;
    if (answer == "n" || answer == "N" || answer == "no") return OverwriteAnswer::No;
    return OverwriteAnswer::Cancel;
}

std::string TerminalQuestions::AskSaveAs(const std::string& suggested) {
    if (!HaveInteractiveTerminal()) return {};
    Asking asking(lock_);
    std::string path;
    if (!ReadTerminalLine("Save as [" + suggested + "] (empty line cancels): ", false, path) || path.empty())
        return {};
    std::error_code ec;
    auto folder = std::filesystem::absolute(path, ec).parent_path();
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        std::fprintf(stderr, "No such folder: %s\n", folder.string().c_str());
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
    if (!HaveInteractiveTerminal()) return false;
    Asking asking(lock_);
    std::fprintf(stderr, "Username and Password Required (site: %s)\n", site.c_str());
    std::string u, p;
    if (!ReadTerminalLine("Username" + (user.empty() ? std::string() : " [" + user + "]") + ": ", false, u))
        return false;
    if (!ReadTerminalLine("Password: ", true, p)) return false;
    if (!u.empty()) user = u;
    password = p;
    return true;
}

}  // namespace larkspan::cli
