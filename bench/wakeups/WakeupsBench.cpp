// What a recording costs while its server is silent, and how fast Stop ends
// it. N recordings run at once in this process, each on a thread of its own,
// against the loopback server (also in this process), which sends the header
// and a few packets and then nothing (or nothing at all, with --mode
// silent). Over a window of silence the bench counts each recording
// thread's context switches (voluntary and involuntary, from
// /proc/self/task/TID/status): every wake-up of a waiting thread is one.
// Then it stops every recording and times each from its Stop call to the end
// of its Record.
//
//   bench_wakeups --sample clip.asf [--jobs 1,10] [--runs 5] [--seconds 3] [--mode stall|silent]
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "asf/ByteSink.h"
#include "bench/common/BenchSupport.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mmsh/MmshClient.h"
#include "recorder/RecorderSettings.h"
#include "tools/server/LoopbackServer.h"

using namespace larkspan;
using namespace larkspan::bench;
using Clock = std::chrono::steady_clock;

namespace {

const char* kUsage =
    "options:\n"
    "  --sample FILE     ASF file the server streams (required; clip.asf of scripts/make-samples.sh)\n"
    "  --jobs LIST       recordings at once, comma-separated counts (default 1,10)\n"
    "  --runs N          runs per protocol and count; medians and maxima over them (default 5)\n"
    "  --seconds S       length of the silent window measured (default 3)\n"
    "  --mode MODE       stall: header and a few packets, then silence (default);\n"
    "                    silent: the server reads the request and sends nothing\n"
    "  --idle-timeout S  the recordings' idle time-out, seconds (default 60; longer than the window)\n"
    "  --summary FILE    also append the key figures to FILE (tab-separated, for run-all.sh)\n";

// Takes the bytes and keeps only their count: the bench measures waiting,
// not writing.
class CountingSink final : public ByteSink {
public:
    bool Write(const void*, size_t size) override {
        position_.fetch_add(size);
        return true;
    }
    uint64_t Position() const override { return position_.load(); }
    const std::string& ErrorText() const override { return error_; }

private:
    std::atomic<uint64_t> position_{0};
    std::string error_;
};

long ThreadId() { return static_cast<long>(syscall(SYS_gettid)); }

// Voluntary plus involuntary context switches of one thread of this process.
uint64_t ContextSwitches(long tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    uint64_t total = 0;
    while (std::getline(in, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total += std::stoull(line.substr(line.find(':') + 1));
    }
    return total;
}

// One recording on a thread of its own.
struct Recording {
    std::unique_ptr<MmsClient> mms;
    std::unique_ptr<MmshClient> mmsh;
    CountingSink sink;
    std::thread thread;
    std::atomic<long> tid{0};
    std::atomic<bool> ended{false};
    Clock::time_point stopAt;
    Clock::time_point endedAt;

    void Stop() {
        stopAt = Clock::now();
        if (mms) mms->Stop();
        if (mmsh) mmsh->Stop();
    }
};

struct RunResult {
    double wakeupsPerSecond = 0;  // per recording, over the window
    std::vector<double> stopMs;   // one per recording
    int endedEarly = 0;           // recordings that ended before Stop (an error, a time-out)
};

// Waits until every recording has written something and nothing more came
// for a while: the server has gone quiet.
void WaitForSilence(std::vector<std::unique_ptr<Recording>>& recordings, bool expectBytes) {
    const auto give_up = Clock::now() + std::chrono::seconds(20);
    std::vector<uint64_t> last(recordings.size(), ~0ull);
    auto quietSince = Clock::now();
    while (Clock::now() < give_up) {
        bool changed = false;
        bool allStarted = true;
        for (size_t i = 0; i < recordings.size(); ++i) {
            const uint64_t now = recordings[i]->sink.Position();
            if (recordings[i]->tid.load() == 0 || (expectBytes && now == 0)) allStarted = false;
            if (now != last[i]) changed = true;
            last[i] = now;
        }
        if (changed || !allStarted) quietSince = Clock::now();
        if (Clock::now() - quietSince >= std::chrono::milliseconds(500)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

RunResult RunOnce(RecordedVia via, const std::string& url, int jobs, double seconds, int idleTimeout,
                  bool expectBytes) {
    RecorderSettings settings;
    settings.idleTimeout = idleTimeout;
    std::vector<std::unique_ptr<Recording>> recordings;
    for (int i = 0; i < jobs; ++i) {
        auto r = std::make_unique<Recording>();
        if (via == RecordedVia::Mms) {
            r->mms = std::make_unique<MmsClient>(uint16_t(i + 1), settings, nullptr);
        } else {
            r->mmsh = std::make_unique<MmshClient>(uint16_t(i + 1), settings, nullptr, nullptr);
        }
        recordings.push_back(std::move(r));
    }
    for (auto& r : recordings) {
        Recording* rec = r.get();
        rec->thread = std::thread([rec, url] {
            rec->tid.store(ThreadId());
            if (rec->mms) rec->mms->Record(&rec->sink, url);
            if (rec->mmsh) rec->mmsh->Record(&rec->sink, url);
            rec->endedAt = Clock::now();
            rec->ended.store(true);
        });
    }
    WaitForSilence(recordings, expectBytes);

    std::vector<uint64_t> before;
    for (auto& r : recordings) before.push_back(ContextSwitches(r->tid.load()));
    const auto windowStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double window = std::chrono::duration<double>(Clock::now() - windowStart).count();
    uint64_t switches = 0;
    RunResult result;
    for (size_t i = 0; i < recordings.size(); ++i) {
        if (recordings[i]->ended.load()) {
            ++result.endedEarly;
            continue;
        }
        switches += ContextSwitches(recordings[i]->tid.load()) - before[i];
    }
    const int measured = jobs - result.endedEarly;
    result.wakeupsPerSecond = measured > 0 ? double(switches) / window / measured : 0;

    for (auto& r : recordings) r->Stop();
    for (auto& r : recordings) {
        r->thread.join();
        result.stopMs.push_back(std::chrono::duration<double, std::milli>(r->endedAt - r->stopAt).count());
    }
    return result;
}

std::vector<int> ParseCounts(const std::string& list) {
    std::vector<int> counts;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        const int n = std::atoi(item.c_str());
        if (n > 0) counts.push_back(n);
    }
    return counts;
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argc, argv);
    if (args.Flag("--help") || args.Flag("-h")) {
        std::printf("usage: %s [options]\n%s", argv[0], kUsage);
        return 0;
    }
    const std::string sample = args.Get("--sample");
    const std::vector<int> counts = ParseCounts(args.Get("--jobs", "1,10"));
    const int runs = std::max(1, args.GetInt("--runs", 5));
    const double seconds = std::max(0.5, args.GetDouble("--seconds", 3));
    const std::string mode = args.Get("--mode", "stall");
    const int idleTimeout = std::max(0, args.GetInt("--idle-timeout", 60));
    const std::string summary = args.Get("--summary");
    const std::string unknown = args.Unknown();
    if (sample.empty() || counts.empty() || (mode != "stall" && mode != "silent") || !unknown.empty()) {
        std::fprintf(stderr, "usage: %s --sample FILE [options]%s%s\n%s", argv[0], unknown.empty() ? "" : "; unknown: ",
                     unknown.c_str(), kUsage);
        return 2;
    }
    if (idleTimeout > 0 && idleTimeout <= seconds + 2) {
        std::fprintf(stderr, "--idle-timeout must be longer than the window (--seconds) and the settling time\n");
        return 2;
    }

    testserver::StreamOptions options;
    if (mode == "stall") {
        options.stallAfterPackets = 5;
    } else {
        options.neverSend = true;
    }
    testserver::LoopbackServer server;
    std::string error;
    if (!server.ServeFile("quiet.asf", sample, options, &error) || !server.StartMmsh(0, &error) ||
        !server.StartMms(0, &error)) {
        std::fprintf(stderr, "loopback server: %s\n", error.c_str());
        return 1;
    }

    std::printf("Wake-ups while the server is silent (%s), %g s window, %d runs; counted per recording thread\n"
                "(voluntary + involuntary context switches). Stop: from Stop() to the end of Record.\n\n",
                mode.c_str(), seconds, runs);
    Table table({"protocol", "recordings", "wake-ups/s median", "wake-ups/s max", "stop ms median",
                 "stop ms max", "ended early"});
    int status = 0;
    for (RecordedVia via : {RecordedVia::Mmsh, RecordedVia::Mms}) {
        const char* name = via == RecordedVia::Mms ? "MMS" : "MMSH";
        const std::string url = via == RecordedVia::Mms ? server.MmsUrl("quiet.asf") : server.MmshUrl("quiet.asf");
        for (int jobs : counts) {
            std::vector<double> rates;
            std::vector<double> stops;
            int endedEarly = 0;
            for (int run = 0; run < runs; ++run) {
                RunResult r = RunOnce(via, url, jobs, seconds, idleTimeout, mode == "stall");
                rates.push_back(r.wakeupsPerSecond);
                stops.insert(stops.end(), r.stopMs.begin(), r.stopMs.end());
                endedEarly += r.endedEarly;
                server.WaitForIdle(std::chrono::seconds(10));
            }
            if (endedEarly > 0) status = 1;
            const double rateMax = *std::max_element(rates.begin(), rates.end());
            const double stopMax = *std::max_element(stops.begin(), stops.end());
            table.Add({name, std::to_string(jobs), Fixed(Median(rates), 2), Fixed(rateMax, 2),
                       Fixed(Median(stops), 2), Fixed(stopMax, 2), std::to_string(endedEarly)});
            const std::string label = std::string(name) + " x" + std::to_string(jobs);
            AppendSummary(summary, {"wakeups", label + " wake-ups/s per recording", Fixed(Median(rates), 2), "0",
                                    Median(rates) < 1 ? "met" : "missed"});
            AppendSummary(summary, {"wakeups", label + " stop ms (max)", Fixed(stopMax, 2), "< 50",
                                    stopMax < 50 ? "met" : "missed"});
        }
    }
    std::printf("%s", table.Render().c_str());
    if (status != 0) std::fprintf(stderr, "some recording ended before Stop: see \"ended early\"\n");
    return status;
}
