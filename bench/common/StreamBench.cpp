#include "bench/common/StreamBench.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/common/ChildProcess.h"
#include "bench/common/ServerProcess.h"

namespace larkspan::bench {

namespace {

const char* kUsage =
    "options:\n"
    "  --sample FILE         large on-demand ASF file (required; 200 MB or more is meant)\n"
    "  --paced-sample FILE   low-rate ASF file for the paced run (default: clip.asf beside --sample)\n"
    "  --work DIR            scratch folder: logs, settings, the plain-copy body (default bench-work)\n"
    "  --out-dir DIR         where recordings are written (default WORK/out)\n"
    "  --runs N              fast runs per client, medians reported (default 5)\n"
    "  --repeat N            the server plays the sample N times over in one stream (default 1); more\n"
    "                        makes fixed costs such as start-up weigh less, but ffmpeg stops after the\n"
    "                        first pass (the header's packet count) and drops out of the comparison\n"
    "  --paced-seconds S     length of the paced run (default 10)\n"
    "  --idle-seconds S      how long clients wait on a server that sends nothing (default 6; the\n"
    "                        first second, start-up and connecting, is left out of the waiting figures)\n"
    "  --recorder PATH       larkspan-rec to measure\n"
    "  --worker PATH         bench_worker_rec (bare CmmsThread workers, no command line around them)\n"
    "  --server PATH         larkspan-testserver\n"
    "  --no-ffmpeg --no-copy --no-paced --no-worker   leave a part out\n"
    "  --verbose             print every run\n"
    "  --summary FILE        also append the key figures to FILE (tab-separated, for run-all.sh)\n";

struct ClientCommand {
    std::string label;
    std::vector<std::string> argv;
    std::vector<std::string> env;
    std::string outFile;
    enum class Check { None, Recording, Exact } check = Check::None;
};

struct Measured {
    std::vector<RunUsage> runs;
    std::vector<double> serverCpu;
    std::vector<uint64_t> outBytes;
    std::string failure;   // first failed run, "" when all worked
    std::string check;     // "" not checked, "byte-equal" or what was wrong
    std::string stderrFile;
};

std::string Mb(long kb) { return Fixed(double(kb) / 1024.0, 1); }

// Runs each client `runs` times against one server, in turns, so that a
// slow phase of the machine does not land on one client only.
void RunInTurns(ServerProcess& server, const std::vector<ClientCommand>& clients, std::vector<Measured>& results,
                int runs, const ExpectedRecording& expected, RecordedVia via, const std::string& logDir,
                bool verbose) {
    results.resize(clients.size());
    for (int r = 0; r < runs; ++r) {
        for (size_t c = 0; c < clients.size(); ++c) {
            const ClientCommand& command = clients[c];
            Measured& m = results[c];
            m.stderrFile = logDir + "/" + command.label + ".stderr";
            RemoveFile(command.outFile);
            ChildOptions o;
            o.argv = command.argv;
            o.env = command.env;
            o.stderrFile = m.stderrFile;
            o.stdoutFile = logDir + "/" + command.label + ".stdout";
            const double before = server.CpuSoFar();
            ChildProcess child;
            std::string error;
            if (!child.Start(o, &error)) {
                if (m.failure.empty()) m.failure = error;
                continue;
            }
            RunUsage u = child.Wait();
            const double after = server.CpuSoFar();
            const uint64_t size = FileSize(command.outFile);
            if (u.exitCode != 0 && m.failure.empty()) {
                m.failure = "exit " + std::to_string(u.exitCode) + " (see " + m.stderrFile + ")";
            }
            // A client that quietly stops early (ffmpeg ends where the header's
            // packet count says) would look fast; its run does not count.
            if (u.exitCode == 0 && double(size) < 0.9 * double(expected.size) && m.failure.empty()) {
                m.failure = "stopped early, " + std::to_string(size) + " bytes";
            }
            if (r == 0 && u.exitCode == 0) {
                if (command.check == ClientCommand::Check::Recording) {
                    std::string wrong = CheckRecording(command.outFile, expected, via, true);
                    m.check = wrong.empty() ? "byte-equal" : wrong;
                } else if (command.check == ClientCommand::Check::Exact) {
                    std::string wrong = CheckRecording(command.outFile, expected, RecordedVia::Mmsh, true);
                    m.check = wrong.empty() ? "byte-equal" : wrong;
                }
            }
            m.runs.push_back(u);
            m.serverCpu.push_back(after >= 0 && before >= 0 ? after - before : 0);
            m.outBytes.push_back(size);
            if (verbose) {
                std::printf("  run %d %-14s exit %d  wall %.3f s  user %.3f  sys %.3f  maxrss %ld KB  anon %ld KB  "
                            "server %.2f s  out %llu bytes\n",
                            r + 1, command.label.c_str(), u.exitCode, u.wallSeconds, u.userSeconds, u.sysSeconds,
                            u.maxRssKb, u.peakAnonKb, m.serverCpu.back(), static_cast<unsigned long long>(size));
            }
            RemoveFile(command.outFile);
        }
    }
}

struct Summary {
    double mbPerSecond = 0, bestMbPerSecond = 0, wall = 0, cpuPerGb = 0, user = 0, sys = 0, serverPerGb = 0;
    long maxRssKb = 0, anonKb = 0;
    bool valid = false;
};

Summary Summarise(const Measured& m, double streamBytes) {
    Summary s;
    if (m.runs.empty()) return s;
    std::vector<double> wall, cpu, user, sys;
    for (const auto& u : m.runs) {
        wall.push_back(u.wallSeconds);
        cpu.push_back(u.CpuSeconds());
        user.push_back(u.userSeconds);
        sys.push_back(u.sysSeconds);
        s.maxRssKb = std::max(s.maxRssKb, u.maxRssKb);
        s.anonKb = std::max(s.anonKb, u.peakAnonKb);
    }
    const double gb = streamBytes / 1e9;
    s.wall = Median(wall);
    s.mbPerSecond = s.wall > 0 ? streamBytes / 1e6 / s.wall : 0;
    const double fastest = *std::min_element(wall.begin(), wall.end());
    s.bestMbPerSecond = fastest > 0 ? streamBytes / 1e6 / fastest : 0;
    s.cpuPerGb = Median(cpu) / gb;
    s.user = Median(user);
    s.sys = Median(sys);
    s.serverPerGb = Median(m.serverCpu) / gb;
    s.valid = m.failure.empty();
    return s;
}

std::string LoadAverage() {
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    if (!f) return "unknown";
    char text[128] = {};
    if (!std::fgets(text, sizeof text, f)) text[0] = 0;
    std::fclose(f);
    std::string s = text;
    // The three averages only.
    size_t end = 0;
    for (int i = 0; i < 3 && end != std::string::npos; ++i) end = s.find(' ', end + (i ? 1 : 0));
    return s.substr(0, end);
}

// Packet sockets open anywhere (a capture running): /proc/net/packet lines.
int PacketCaptures() {
    std::FILE* f = std::fopen("/proc/net/packet", "r");
    if (!f) return 0;
    int lines = 0;
    char text[512];
    while (std::fgets(text, sizeof text, f)) ++lines;
    std::fclose(f);
    return lines > 0 ? lines - 1 : 0;
}

std::string Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int RunStreamBench(RecordedVia via, const BenchPrograms& defaults, int argc, char** argv) {
    Args args(argc, argv);
    if (args.Flag("--help") || args.Flag("-h")) {
        std::printf("usage: %s [options]\n%s", argv[0], kUsage);
        return 0;
    }
    const std::string sample = args.Get("--sample");
    std::string pacedSample = args.Get("--paced-sample");
    const std::string workDir = AbsolutePath(args.Get("--work", "bench-work"));
    std::string outDir = args.Get("--out-dir");
    const int runs = std::max(1, args.GetInt("--runs", 5));
    const int repeat = std::max(1, args.GetInt("--repeat", 1));
    const double pacedSeconds = std::max(1.0, args.GetDouble("--paced-seconds", 10));
    const double idleSeconds = std::max(2.0, args.GetDouble("--idle-seconds", 6));
    const std::string recorder = args.Get("--recorder", defaults.recorder);
    const std::string serverProgram = args.Get("--server", defaults.server);
    const std::string worker = args.Flag("--no-worker") ? "" : args.Get("--worker", defaults.worker);
    const bool withFfmpeg = !args.Flag("--no-ffmpeg");
    const bool withCopy = !args.Flag("--no-copy");
    const bool withPaced = !args.Flag("--no-paced");
    const bool verbose = args.Flag("--verbose");
    const std::string summaryFile = args.Get("--summary");
    if (!args.Unknown().empty() || sample.empty()) {
        std::fprintf(stderr, "%s\nusage: %s [options]\n%s",
                     sample.empty() ? "--sample is required" : ("unknown option " + args.Unknown()).c_str(), argv[0],
                     kUsage);
        return 2;
    }
    if (pacedSample.empty()) {
        const size_t slash = sample.rfind('/');
        pacedSample = (slash == std::string::npos ? std::string(".") : sample.substr(0, slash)) + "/clip.asf";
    }
    if (outDir.empty()) outDir = workDir + "/out";
    outDir = AbsolutePath(outDir);
    // Logs and stderr of every program run, one folder per protocol.
    const std::string logDir = workDir + (via == RecordedVia::Mms ? "/logs-mms" : "/logs-mmsh");
    if (!MakeDirectories(workDir) || !MakeDirectories(outDir) || !MakeDirectories(workDir + "/config") ||
        !MakeDirectories(logDir)) {
        std::fprintf(stderr, "cannot create %s\n", outDir.c_str());
        return 1;
    }
    const std::string ffmpeg = withFfmpeg ? FindProgram("ffmpeg") : "";
    const std::string curl = withCopy ? FindProgram("curl") : "";
    if (withFfmpeg && ffmpeg.empty()) std::printf("note: ffmpeg not found, its rows are left out\n");
    if (withCopy && curl.empty()) std::printf("note: curl not found, the plain copy is left out\n");

    const bool mms = via == RecordedVia::Mms;
    const char* protocol = mms ? "MMS" : "MMSH";
    // The recorder reads its settings from the profile; a private one keeps
    // the user's limits (time, size) out of the figures.
    const std::vector<std::string> recorderEnv = {"XDG_CONFIG_HOME=" + workDir + "/config"};

    ExpectedRecording expected;
    std::string error;
    if (!expected.Prepare(sample, workDir + "/large-x" + std::to_string(repeat) + ".expected", uint32_t(repeat),
                          &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double streamBytes = double(expected.size);
    std::printf("%s recording benchmark\n", protocol);
    std::printf("stream: %s played %d time(s) over, %.1f MB (header %zu bytes + %zu packets of %u bytes), "
                "%.1f s of media\n",
                sample.c_str(), repeat, streamBytes / 1e6, expected.headerSize, expected.packetCount,
                expected.packetSize, expected.durationSeconds);
    std::printf("output: %s; %d run(s) per client, medians; MB = 10^6 bytes, GB = 10^9 bytes, MiB = 2^20\n",
                outDir.c_str(), runs);
    std::printf("load average before: %s (other work on the machine slows wall times more than CPU times)\n",
                LoadAverage().c_str());
    if (int sockets = PacketCaptures(); sockets > 0) {
        std::printf("note: %d packet capture socket(s) open on this machine; each loopback packet is copied to them,\n"
                    "      which makes every client's system time larger than usual\n",
                    sockets);
    }
    std::fflush(stdout);

    int status = 0;
    std::vector<ClientCommand> clients;
    std::vector<Measured> results;

    // -- fast runs over the protocol
    {
        ServerProcess server;
        std::vector<std::string> serverArgs;
        if (mms) serverArgs = {"--no-mmsh", "--mms-port", "0"};
        serverArgs.insert(serverArgs.end(), {"--repeat", std::to_string(repeat)});
        serverArgs.push_back("large.asf=" + AbsolutePath(sample));
        if (!server.Start(serverProgram, serverArgs, logDir + "/server-fast.log", &error)) {
            std::fprintf(stderr, "server: %s\n", error.c_str());
            return 1;
        }
        ClientCommand rec;
        rec.label = "larkspan-rec";
        rec.outFile = outDir + "/rec.asf";
        rec.argv = {recorder, "-q", "-y", "-o", rec.outFile, server.Url(mms ? "mms" : "http", "large.asf")};
        rec.env = recorderEnv;
        rec.check = ClientCommand::Check::Recording;
        clients.push_back(rec);
        if (!worker.empty()) {
            ClientCommand w;
            w.label = "CmmsThread";
            w.outFile = outDir + "/worker.asf";
            w.argv = {worker, w.outFile, server.Url(mms ? "mms" : "http", "large.asf")};
            w.check = ClientCommand::Check::Recording;
            clients.push_back(w);
        }
        if (!ffmpeg.empty()) {
            ClientCommand ff;
            ff.label = "ffmpeg";
            ff.outFile = outDir + "/ffmpeg.asf";
            ff.argv = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i",
                       server.Url(mms ? "mmst" : "mmsh", "large.asf"), "-c", "copy", "-f", "asf", ff.outFile};
            clients.push_back(ff);
        }
        RunInTurns(server, clients, results, runs, expected, via, logDir, verbose);
        server.Stop();
    }
    // -- the floor: the same bytes over plain HTTP, no framing, no parsing
    if (!curl.empty()) {
        const std::string raw = expected.file;
        ServerProcess server;
        if (!server.Start(serverProgram, {"--body", "large.raw=" + raw, "--content-type", "application/octet-stream"},
                          logDir + "/server-copy.log", &error)) {
            std::fprintf(stderr, "server: %s\n", error.c_str());
            return 1;
        }
        ClientCommand copy;
        copy.label = "curl";
        copy.outFile = outDir + "/copy.raw";
        copy.argv = {curl, "-s", "-S", "-o", copy.outFile, server.Url("http", "large.raw")};
        copy.check = ClientCommand::Check::Exact;
        std::vector<ClientCommand> one = {copy};
        std::vector<Measured> measured;
        RunInTurns(server, one, measured, runs, expected, via, logDir, verbose);
        server.Stop();
        clients.push_back(copy);
        results.push_back(measured[0]);
    }

    Table table({"client", "MB/s", "best MB/s", "wall s", "CPU s/GB", "user s", "sys s", "max RSS MiB", "peak anon MiB",
                 "server CPU s/GB", "output"});
    std::vector<Summary> summaries;
    for (size_t i = 0; i < clients.size(); ++i) {
        const Measured& m = results[i];
        Summary s = Summarise(m, streamBytes);
        summaries.push_back(s);
        std::string label = clients[i].label == "curl"         ? "curl (plain HTTP copy)"
                            : clients[i].label == "CmmsThread" ? "CmmsThread (bench_worker_rec)"
                                                               : clients[i].label;
        std::string output = !m.failure.empty() ? "FAILED: " + m.failure
                             : m.check.empty()   ? "not compared"
                                                 : m.check;
        if ((!m.failure.empty() || (!m.check.empty() && m.check != "byte-equal")) && clients[i].label != "ffmpeg")
            status = 1;
        table.Add({label, Fixed(s.mbPerSecond, 0), Fixed(s.bestMbPerSecond, 0), Fixed(s.wall, 3),
                   Fixed(s.cpuPerGb, 3), Fixed(s.user, 3), Fixed(s.sys, 3), Mb(s.maxRssKb), Mb(s.anonKb),
                   Fixed(s.serverPerGb, 3), output});
    }
    std::printf("\nFast on-demand recording over %s (%.1f MB)\n%s", protocol, streamBytes / 1e6,
                table.Render().c_str());
    std::printf("  MB/s and CPU count the stream's bytes; user/sys are medians; peak anon is sampled every 10 ms;\n"
                "  server CPU is the loopback server's own, measured apart\n");

    // -- goals
    auto find = [&](const std::string& label) -> const Summary* {
        for (size_t i = 0; i < clients.size(); ++i)
            if (clients[i].label == label && summaries[i].valid) return &summaries[i];
        return nullptr;
    };
    const Summary* rec = find("larkspan-rec");
    const Summary* ff = find("ffmpeg");
    const Summary* cp = find("curl");
    std::printf("\nGoals\n");
    const std::string bench = protocol;
    auto summary = [&](const std::string& figure, const std::string& value, const std::string& goal,
                       const std::string& verdict) {
        AppendSummary(summaryFile, {bench, figure, value, goal, verdict});
    };
    if (rec) {
        const Measured& m = results[0];
        summary("recording speed", Fixed(rec->mbPerSecond, 0) + " MB/s (best " + Fixed(rec->bestMbPerSecond, 0) + ")" +
                    (cp ? ", plain copy " + Fixed(cp->mbPerSecond, 0) : std::string()) +
                    (ff ? ", ffmpeg " + Fixed(ff->mbPerSecond, 0) : std::string()),
                "", "");
        summary("recorded file", m.check.empty() ? "not checked" : m.check, "byte-equal",
                Verdict(m.check == "byte-equal"));
    }
    if (rec && ff) {
        const double ratio = ff->cpuPerGb / rec->cpuPerGb;
        std::printf("  CPU per GB, ffmpeg / larkspan-rec:       %.2fx  (goal >= 5x)   %s\n", ratio,
                    Verdict(ratio >= 5).c_str());
        summary("CPU per GB vs ffmpeg",
                Fixed(rec->cpuPerGb, 3) + " s vs " + Fixed(ff->cpuPerGb, 3) + " s: " + Fixed(ratio, 2) + "x less",
                ">= 5x less", Verdict(ratio >= 5));
    }
    if (rec && cp) {
        const double cpu = rec->cpuPerGb / cp->cpuPerGb;
        const double speed = cp->mbPerSecond / rec->mbPerSecond;
        if (!mms) {
            std::printf("  CPU per GB, larkspan-rec / plain copy:   %.2fx  (goal <= 1.5x) %s\n", cpu,
                        Verdict(cpu <= 1.5).c_str());
            std::printf("  time, larkspan-rec / plain copy:         %.2fx  (goal <= 1.5x) %s\n", speed,
                        Verdict(speed <= 1.5).c_str());
            summary("vs plain HTTP copy", "CPU " + Fixed(cpu, 2) + "x, time " + Fixed(speed, 2) + "x", "<= 1.5x",
                    Verdict(cpu <= 1.5 && speed <= 1.5));
        } else {
            std::printf("  (reference) CPU per GB, larkspan-rec / plain copy: %.2fx; time %.2fx\n", cpu, speed);
            summary("vs plain HTTP copy", "CPU " + Fixed(cpu, 2) + "x, time " + Fixed(speed, 2) + "x", "(reference)",
                    "");
        }
    }
    if (rec && ff && cp) {
        std::printf("  CPU per GB above the plain copy:         larkspan-rec %+.3f s, ffmpeg %+.3f s\n",
                    rec->cpuPerGb - cp->cpuPerGb, ff->cpuPerGb - cp->cpuPerGb);
        summary("CPU per GB above plain copy",
                "larkspan-rec " + Fixed(rec->cpuPerGb - cp->cpuPerGb, 3) + " s, ffmpeg " +
                    Fixed(ff->cpuPerGb - cp->cpuPerGb, 3) + " s",
                "", "");
    }
    if (const Summary* w = find("CmmsThread")) {
        std::printf("  bare CmmsThread worker: %.0f MB/s, %.3f CPU s/GB, max RSS %.1f MiB\n", w->mbPerSecond,
                    w->cpuPerGb, double(w->maxRssKb) / 1024.0);
        summary("bare CmmsThread worker",
                Fixed(w->mbPerSecond, 0) + " MB/s, " + Fixed(w->cpuPerGb, 3) + " CPU s/GB, max RSS " +
                    Mb(w->maxRssKb) + " MiB",
                "", "");
    }
    if (rec) {
        const double mib = double(rec->maxRssKb) / 1024.0;
        std::printf("  peak memory of larkspan-rec (max RSS):   %.1f MiB (goal < 16 MiB) %s; of it anonymous "
                    "(heap, stacks): %.1f MiB\n",
                    mib, Verdict(mib < 16).c_str(), double(rec->anonKb) / 1024.0);
        std::printf("  (max RSS counts every resident page of the shared libraries; this bench's own size at fork,\n"
                    "   a floor under every max RSS figure, was %.1f MiB)\n",
                    double(ForkFloorKb()) / 1024.0);
        // The same program doing nothing: what its libraries alone take.
        ChildOptions o;
        o.argv = {recorder, "--version"};
        o.env = recorderEnv;
        const RunUsage idle = RunToEnd(o, &error);
        std::printf("  larkspan-rec --version alone (libraries loaded, nothing recorded): %.1f MiB max RSS\n",
                    double(idle.maxRssKb) / 1024.0);
        summary("peak memory (max RSS)",
                Mb(rec->maxRssKb) + " MiB, anonymous " + Mb(rec->anonKb) + " MiB; --version alone " +
                    Mb(idle.maxRssKb) + " MiB",
                "< 16 MiB", Verdict(mib < 16));
    }
    std::fflush(stdout);

    // -- paced: what waiting costs
    if (withPaced) {
        ExpectedRecording paced;
        if (!paced.Prepare(pacedSample, workDir + "/paced.expected", 1, &error)) {
            std::fprintf(stderr, "paced sample: %s\n", error.c_str());
            return 1;
        }
        ServerProcess server;
        std::vector<std::string> serverArgs = {"--pace", "realtime"};
        if (mms) serverArgs.insert(serverArgs.begin(), {"--no-mmsh", "--mms-port", "0"});
        serverArgs.push_back("clip.asf=" + AbsolutePath(pacedSample));
        if (!server.Start(serverProgram, serverArgs, logDir + "/server-paced.log", &error)) {
            std::fprintf(stderr, "server: %s\n", error.c_str());
            return 1;
        }
        const std::string seconds = std::to_string(int(pacedSeconds));
        std::vector<ClientCommand> pacedClients;
        ClientCommand prec;
        prec.label = "larkspan-rec";
        prec.outFile = outDir + "/paced-rec.asf";
        prec.argv = {recorder, "-q", "-y", "-t", seconds, "-o", prec.outFile,
                     server.Url(mms ? "mms" : "http", "clip.asf")};
        prec.env = recorderEnv;
        prec.check = ClientCommand::Check::Recording;
        pacedClients.push_back(prec);
        if (!worker.empty()) {
            ClientCommand pw;
            pw.label = "CmmsThread";
            pw.outFile = outDir + "/paced-worker.asf";
            pw.argv = {worker, "-t", seconds, pw.outFile, server.Url(mms ? "mms" : "http", "clip.asf")};
            pw.check = ClientCommand::Check::Recording;
            pacedClients.push_back(pw);
        }
        if (!ffmpeg.empty()) {
            ClientCommand pff;
            pff.label = "ffmpeg";
            pff.outFile = outDir + "/paced-ffmpeg.asf";
            pff.argv = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i",
                        server.Url(mms ? "mmst" : "mmsh", "clip.asf"), "-t", seconds, "-c", "copy", "-f", "asf",
                        pff.outFile};
            pacedClients.push_back(pff);
        }
        Table pt({"client", "wall s", "CPU ms", "CPU % of a core", "user ms", "sys ms", "sleeps/s", "max RSS MiB",
                  "output"});
        for (const ClientCommand& command : pacedClients) {
            ChildOptions o;
            o.argv = command.argv;
            o.env = command.env;
            o.stderrFile = logDir + "/paced-" + command.label + ".stderr";
            RemoveFile(command.outFile);
            ChildProcess child;
            RunUsage u;
            if (child.Start(o, &error)) u = child.Wait(pacedSeconds + 60);
            std::string output;
            if (!u.exited || u.exitCode != 0) {
                output = "FAILED: exit " + std::to_string(u.exitCode) + " (see " + o.stderrFile + ")";
                if (command.label != "ffmpeg") status = 1;
            } else if (command.check == ClientCommand::Check::Recording) {
                std::string wrong = CheckRecording(command.outFile, paced, via, false);
                output = wrong.empty() ? "correct prefix, " + std::to_string(FileSize(command.outFile)) + " bytes"
                                       : wrong;
                if (!wrong.empty()) status = 1;
            } else {
                output = std::to_string(FileSize(command.outFile)) + " bytes";
            }
            RemoveFile(command.outFile);
            const double wall = u.wallSeconds > 0 ? u.wallSeconds : 1;
            if (command.label == "larkspan-rec" || command.label == "ffmpeg") {
                AppendSummary(summaryFile, {bench, "paced " + seconds + " s, " + command.label,
                                            Fixed(u.CpuSeconds() * 1000, 1) + " ms CPU (" +
                                                Fixed(u.CpuSeconds() / wall * 100, 2) + "% of a core)",
                                            "", ""});
            }
            pt.Add({command.label, Fixed(u.wallSeconds, 2), Fixed(u.CpuSeconds() * 1000, 1),
                    Fixed(u.CpuSeconds() / wall * 100, 3), Fixed(u.userSeconds * 1000, 1),
                    Fixed(u.sysSeconds * 1000, 1), Fixed(double(u.voluntarySwitches) / wall, 0), Mb(u.maxRssKb),
                    output});
        }
        server.Stop();
        std::printf("\nPaced (realtime) recording over %s: %s, %.0f kbit/s, first %s s\n%s", protocol,
                    pacedSample.c_str(), paced.bitrate * 8 / 1000, seconds.c_str(), pt.Render().c_str());
        std::fflush(stdout);

        // -- idle: connected, nothing arrives; then SIGINT
        ServerProcess silent;
        serverArgs.insert(serverArgs.begin(), "--never-send");
        if (!silent.Start(serverProgram, serverArgs, logDir + "/server-idle.log", &error)) {
            std::fprintf(stderr, "server: %s\n", error.c_str());
            return 1;
        }
        Table it({"client", "ran s", "CPU ms in all", "waiting: CPU ms/s", "waiting: wake-ups/s",
                  "stop after SIGINT ms", "exit"});
        for (const ClientCommand& pacedCommand : pacedClients) {
            ClientCommand command = pacedCommand;
            // Same command, pointed at the silent server, without a time limit.
            for (auto& a : command.argv) {
                if (a.find("://127.0.0.1:") != std::string::npos) {
                    const std::string scheme = a.substr(0, a.find(':'));
                    a = silent.Url(scheme, "clip.asf");
                }
            }
            for (size_t i = 0; i + 1 < command.argv.size(); ++i) {
                if (command.argv[i] == "-t") command.argv.erase(command.argv.begin() + long(i), command.argv.begin() + long(i) + 2);
            }
            ChildOptions o;
            o.argv = command.argv;
            o.env = command.env;
            o.stderrFile = logDir + "/idle-" + command.label + ".stderr";
            ChildProcess child;
            if (!child.Start(o, &error)) continue;
            // The first second is start-up and connecting; the rest is waiting.
            RunUsage u = child.Wait(1.0);
            unsigned long long cpu0 = 0, sleeps0 = 0, cpu1 = 0, sleeps1 = 0;
            const double t0 = Now();
            const bool before = child.ThreadTotals(cpu0, sleeps0);
            u = child.Wait(idleSeconds - 1.0);
            const double t1 = Now();
            const bool after = child.ThreadTotals(cpu1, sleeps1);
            const double span = t1 - t0;
            const bool measured = before && after && span > 0 && cpu1 >= cpu0;
            const double signalled = Now();
            child.Signal(SIGINT);
            u = child.Wait(10);
            const double stopMs = (Now() - signalled) * 1000;
            if (!u.exited) {
                child.Signal(SIGKILL);
                u = child.Wait();
            }
            RemoveFile(command.outFile);
            if (command.label == "larkspan-rec" && measured) {
                AppendSummary(summaryFile, {bench, "waiting for data, larkspan-rec",
                                            Fixed(double(cpu1 - cpu0) / 1e6 / span, 2) + " ms CPU/s, " +
                                                Fixed(double(sleeps1 - sleeps0) / span, 0) + " wake-ups/s",
                                            "", ""});
            }
            it.Add({command.label, Fixed(u.wallSeconds, 2), Fixed(u.CpuSeconds() * 1000, 1),
                    measured ? Fixed(double(cpu1 - cpu0) / 1e6 / span, 3) : "?",
                    measured ? Fixed(double(sleeps1 - sleeps0) / span, 1) : "?",
                    u.exited ? Fixed(stopMs, 0) : "did not stop in 10 s", std::to_string(u.exitCode)});
        }
        silent.Stop();
        std::printf("\nIdle over %s: the server accepts and then sends nothing; SIGINT after %.0f s\n%s", protocol,
                    idleSeconds, it.Render().c_str());
    }
    std::fflush(stdout);
    return status;
}

}  // namespace larkspan::bench
