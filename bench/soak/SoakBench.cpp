// Many recordings at once from the loopback server, paced in real time so
// that they all overlap: total CPU, memory per recording, every file checked
// byte for byte, and how long stopping all of them takes.
//
// Two ways of running the recordings, each measured as one process:
//   larkspan-rec -j N   the command line with N jobs (SIGINT stops them)
//   bench_worker_rec    N bare CmmsThread workers (SIGINT calls Stop() on each)
//
//   bench_soak --sample clip.asf [--jobs 50] [--work DIR] [--help]
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/common/BenchPrograms.h"
#include "bench/common/BenchSupport.h"
#include "bench/common/ChildProcess.h"
#include "bench/common/ServerProcess.h"

using namespace larkspan::bench;

namespace {

const char* kUsage =
    "options:\n"
    "  --sample FILE        on-demand ASF file every recording pulls, paced in real time (required;\n"
    "                       clip.asf of scripts/make-samples.sh is 20 s)\n"
    "  --jobs N             recordings at once (default 50); odd ones over MMSH, even ones over MMS\n"
    "  --stop-after S       seconds into the stop run before SIGINT (default 5)\n"
    "  --work DIR           scratch folder (default bench-work)\n"
    "  --only cli|worker    run one of the two variants\n"
    "  --recorder PATH  --worker PATH  --server PATH\n"
    "  --summary FILE       also append the key figures to FILE (tab-separated, for run-all.sh)\n";

struct Job {
    std::string url;
    std::string out;
    RecordedVia via;
};

struct Variant {
    std::string name;
    bool cli;
};

std::string Mib(double kb) { return Fixed(kb / 1024.0, 2); }

std::vector<std::string> Command(const Variant& v, const std::string& recorder, const std::string& worker,
                                 const std::string& outDir, const std::vector<Job>& jobs, int maxTime) {
    std::vector<std::string> argv;
    if (v.cli) {
        argv = {recorder, "-q", "-y", "-j", std::to_string(jobs.size()), "-d", outDir};
        if (maxTime > 0) argv.insert(argv.end(), {"-t", std::to_string(maxTime)});
        for (const auto& j : jobs) argv.push_back(j.url);
    } else {
        argv = {worker};
        if (maxTime > 0) argv.insert(argv.end(), {"-t", std::to_string(maxTime)});
        for (const auto& j : jobs) argv.insert(argv.end(), {j.out, j.url});
    }
    return argv;
}

// "" when every file is right, else the first problem and how many failed.
std::string CheckAll(const std::vector<Job>& jobs, const ExpectedRecording& expected, bool complete, int& good) {
    std::string first;
    good = 0;
    for (const auto& j : jobs) {
        std::string wrong = CheckRecording(j.out, expected, j.via, complete);
        if (wrong.empty()) {
            ++good;
        } else if (first.empty()) {
            first = j.out + ": " + wrong;
        }
    }
    return first;
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argc, argv);
    if (args.Flag("--help") || args.Flag("-h")) {
        std::printf("usage: %s [options]\n%s", argv[0], kUsage);
        return 0;
    }
    const std::string sample = args.Get("--sample");
    const int count = std::max(2, args.GetInt("--jobs", 50));
    const double stopAfter = std::max(1.0, args.GetDouble("--stop-after", 5));
    const std::string workDir = AbsolutePath(args.Get("--work", "bench-work"));
    const std::string only = args.Get("--only");
    const std::string recorder = args.Get("--recorder", LK_BENCH_RECORDER);
    const std::string worker = args.Get("--worker", LK_BENCH_WORKER);
    const std::string serverProgram = args.Get("--server", LK_BENCH_SERVER);
    const std::string summaryFile = args.Get("--summary");
    if (!args.Unknown().empty() || sample.empty() || (!only.empty() && only != "cli" && only != "worker")) {
        std::fprintf(stderr, "usage: %s [options]\n%s", argv[0], kUsage);
        return 2;
    }
    const std::string outDir = workDir + "/soak";
    if (!MakeDirectories(outDir) || !MakeDirectories(workDir + "/config") || !MakeDirectories(workDir + "/logs-soak")) {
        std::fprintf(stderr, "cannot create %s\n", outDir.c_str());
        return 1;
    }
    ExpectedRecording expected;
    std::string error;
    if (!expected.Prepare(sample, workDir + "/soak.expected", 1, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    // One mount per recording, so that every file gets a name of its own.
    std::vector<std::string> serverArgs = {"--mms-port", "0", "--pace", "realtime"};
    char name[32];
    for (int i = 1; i <= count; ++i) {
        std::snprintf(name, sizeof name, "s%02d.asf", i);
        serverArgs.push_back(std::string(name) + "=" + AbsolutePath(sample));
    }
    ServerProcess server;
    if (!server.Start(serverProgram, serverArgs, workDir + "/logs-soak/server.log", &error)) {
        std::fprintf(stderr, "server: %s\n", error.c_str());
        return 1;
    }
    std::vector<Job> jobs;
    for (int i = 1; i <= count; ++i) {
        std::snprintf(name, sizeof name, "s%02d.asf", i);
        const bool mmsh = i % 2 == 1;
        jobs.push_back({server.Url(mmsh ? "http" : "mms", name), outDir + "/" + name,
                        mmsh ? RecordedVia::Mmsh : RecordedVia::Mms});
    }
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + workDir + "/config"};

    std::printf("Soak: %d recordings at once (%d MMSH, %d MMS) of %s, %.1f s each, paced in real time\n", count,
                (count + 1) / 2, count / 2, sample.c_str(), expected.durationSeconds);
    std::fflush(stdout);

    std::vector<Variant> variants;
    if (only.empty() || only == "cli") variants.push_back({"larkspan-rec -j " + std::to_string(count), true});
    if (only.empty() || only == "worker") variants.push_back({"bench_worker_rec (CmmsThreads)", false});

    Table load({"variant", "wall s", "CPU s", "CPU % of a core", "max RSS MiB", "1 recording MiB", "MiB/recording",
                "added MiB/recording", "server CPU s", "files"});
    Table stop({"variant", "SIGINT after s", "all ended after ms", "goal < 1000 ms", "exit", "files"});
    int status = 0;
    for (const Variant& v : variants) {
        auto clean = [&] {
            for (const auto& j : jobs) RemoveFile(j.out);
        };
        const std::string errFile = workDir + "/logs-soak/" + std::string(v.cli ? "cli" : "worker") + ".stderr";

        // One recording alone, a few seconds: the size of the process itself.
        clean();
        std::vector<Job> one = {jobs[0]};
        ChildOptions o;
        o.env = env;
        o.stderrFile = errFile;
        o.argv = Command(v, recorder, worker, outDir, one, 4);
        RunUsage single = RunToEnd(o, &error);

        // All of them, to the end.
        clean();
        o.argv = Command(v, recorder, worker, outDir, jobs, 0);
        const double serverBefore = server.CpuSoFar();
        RunUsage all = RunToEnd(o, &error);
        const double serverCpu = server.CpuSoFar() - serverBefore;
        int good = 0;
        std::string wrong = CheckAll(jobs, expected, true, good);
        std::string files = std::to_string(good) + "/" + std::to_string(count) + " byte-equal";
        if (all.exitCode != 0) files = "exit " + std::to_string(all.exitCode) + " (see " + errFile + "); " + files;
        if (!wrong.empty()) files += "; " + wrong;
        if (all.exitCode != 0 || good != count) status = 1;
        const std::string tag = "soak, " + std::string(v.cli ? "larkspan-rec -j " + std::to_string(count)
                                                               : std::to_string(count) + " CmmsThreads");
        AppendSummary(summaryFile, {tag, "CPU for " + std::to_string(count) + " x " +
                                             Fixed(expected.durationSeconds, 0) + " s",
                                    Fixed(all.CpuSeconds(), 3) + " s (" +
                                        Fixed(all.CpuSeconds() / std::max(all.wallSeconds, 0.001) * 100, 2) +
                                        "% of a core)",
                                    "", ""});
        AppendSummary(summaryFile, {tag, "memory per recording",
                                    Mib(double(all.maxRssKb) / count) + " MiB (max RSS " + Mib(double(all.maxRssKb)) +
                                        " / " + std::to_string(count) + "), added " +
                                        Mib(double(all.maxRssKb - single.maxRssKb) / (count - 1)) + " MiB",
                                    "", ""});
        AppendSummary(summaryFile, {tag, "files", files, std::to_string(count) + "/" + std::to_string(count) +
                                    " byte-equal", good == count && all.exitCode == 0 ? "met" : "MISSED"});
        load.Add({v.name, Fixed(all.wallSeconds, 2), Fixed(all.CpuSeconds(), 3),
                  Fixed(all.CpuSeconds() / std::max(all.wallSeconds, 0.001) * 100, 2), Mib(double(all.maxRssKb)),
                  Mib(double(single.maxRssKb)), Mib(double(all.maxRssKb) / count),
                  Mib(double(all.maxRssKb - single.maxRssKb) / (count - 1)), Fixed(serverCpu, 2), files});

        // All of them again, stopped in the middle.
        clean();
        ChildProcess child;
        if (!child.Start(o, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        RunUsage early = child.Wait(stopAfter);
        std::string ended;
        int exitCode = early.exitCode;
        if (early.exited) {
            ended = "ended before the signal";
            status = 1;
        } else {
            const double signalled = Now();
            child.Signal(SIGINT);
            RunUsage u = child.Wait(30);
            const double ms = (Now() - signalled) * 1000;
            exitCode = u.exitCode;
            if (!u.exited) {
                child.Signal(SIGKILL);
                child.Wait();
                ended = "not within 30 s";
                status = 1;
            } else {
                ended = Fixed(ms, 0);
                if (ms >= 1000) status = 1;
            }
        }
        wrong = CheckAll(jobs, expected, false, good);
        files = std::to_string(good) + "/" + std::to_string(count) + " correct prefixes";
        if (!wrong.empty()) files += "; " + wrong;
        if (good != count) status = 1;
        const bool numeric = !ended.empty() && ended.find_first_not_of("0123456789") == std::string::npos;
        const bool met = numeric && std::stod(ended) < 1000;
        AppendSummary(summaryFile, {tag, "stop all (SIGINT)", ended + (numeric ? " ms; " : "; ") + files,
                                    "< 1000 ms", met ? "met" : "MISSED"});
        stop.Add({v.name, Fixed(stopAfter, 1), ended, met ? "met" : "MISSED", std::to_string(exitCode), files});
        clean();
    }
    server.Stop();

    std::printf("\nLoad (all recordings to the end)\n%s", load.Render().c_str());
    std::printf("  MiB/recording = max RSS / %d; added MiB/recording = (max RSS - 1 recording) / %d\n", count,
                count - 1);
    std::printf("\nStop (SIGINT while all are recording)\n%s", stop.Render().c_str());
    std::printf("  (this bench's own size at fork, a floor under every max RSS figure: %.1f MiB)\n",
                double(ForkFloorKb()) / 1024.0);
    return status;
}
