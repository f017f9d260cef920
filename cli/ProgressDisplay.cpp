#include "cli/ProgressDisplay.h"

#include "cli/ConsoleJob.h"
#include "cli/PrintableText.h"
#include "cli/Terminal.h"

namespace larkspan::cli {

namespace {
constexpr auto kPlainInterval = std::chrono::seconds(5);
}

ProgressDisplay::ProgressDisplay(std::FILE* out, bool terminal, bool quiet)
    : out_(out), terminal_(terminal), quiet_(quiet) {}

void ProgressDisplay::Clear() {
    if (!terminal_ || linesShown_ == 0) return;
    // Move to the first progress line and clear everything below it.
    if (linesShown_ > 1) std::fprintf(out_, "\033[%dA", linesShown_ - 1);
    std::fprintf(out_, "\r\033[J");
    linesShown_ = 0;
    std::fflush(out_);
}

void ProgressDisplay::Message(const std::string& text) {
    Clear();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void ProgressDisplay::Forget(int jobNumber) { rates_.erase(jobNumber); }

double ProgressDisplay::RateOf(const ConsoleJob& job) {
    auto now = std::chrono::steady_clock::now();
    uint64_t bytes = job.Worker().BytesWritten();
    auto it = rates_.find(job.Number());
    if (it == rates_.end()) {
        RateState s;
        s.start = s.last = now;
        s.startBytes = s.lastBytes = bytes;
        rates_[job.Number()] = s;
        return 0;
    }
    RateState& s = it->second;
    if (bytes < s.lastBytes) {
        // The next entry of a playlist counts from 0 again.
        s.last = now;
        s.lastBytes = bytes;
        s.rate = 0;
        return 0;
    }
    double dt = std::chrono::duration<double>(now - s.last).count();
    if (dt >= 0.5) {
        double instant = (bytes - s.lastBytes) / dt;
        // Smooth, so the figure does not jump with every packet burst.
        s.rate = s.rate == 0 ? instant : 0.7 * s.rate + 0.3 * instant;
        s.last = now;
        s.lastBytes = bytes;
    }
    return s.rate;
}

std::string ProgressDisplay::Line(const ConsoleJob& job, double rate) {
    std::string line = "[" + std::to_string(job.Number()) + "] ";
    const CmmsThread& w = job.Worker();
    if (w.BytesWritten() == 0) return line + "connecting to " + Printable(w.CurrentReference());
    line += FormatBytes(w.BytesWritten());
    if (w.DurationMs() > 0) {
        char pct[16];
        std::snprintf(pct, sizeof pct, "%5.1f%%", w.Progress() / 100.0);
        line += "  ";
        line += pct;
        line += "  " + FormatStreamTime(w.StreamTime()) + " / " + FormatStreamTime(w.DurationMs());
    } else {
        line += "  live  " + FormatStreamTime(w.StreamTime());
    }
    line += "  " + FormatRate(rate);
    return line;
}

void ProgressDisplay::Update(const std::vector<ConsoleJob*>& running, bool force) {
    if (quiet_) return;
    std::vector<std::string> lines;
    for (ConsoleJob* job : running) lines.push_back(Line(*job, RateOf(*job)));
    if (terminal_) {
        Clear();
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string text = lines[i];
            if (text.size() > 200) text.resize(200);
            std::fprintf(out_, "%s%s", text.c_str(), i + 1 < lines.size() ? "\n" : "");
        }
        linesShown_ = static_cast<int>(lines.size());
        std::fflush(out_);
        return;
    }
    auto now = std::chrono::steady_clock::now();
    if (!force && now - lastPlain_ < kPlainInterval) return;
    lastPlain_ = now;
    for (size_t i = 0; i < lines.size(); ++i)
        if (running[i]->Worker().BytesWritten() > 0) std::fprintf(out_, "%s\n", lines[i].c_str());
    std::fflush(out_);
}

}  // namespace larkspan::cli
