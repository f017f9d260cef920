#include "bench/common/ServerProcess.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace larkspan::bench {

bool ServerProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& logFile, std::string* error) {
    ChildOptions o;
    o.argv = {program, "--print-port"};
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.pipeStdout = true;
    o.stderrFile = logFile;
    if (!process_.Start(o, error)) return false;

    std::string line;
    if (!process_.ReadLine(line, 180'000)) {
        if (error) *error = "no port line from " + program + " (see " + logFile + ")";
        process_.Signal(SIGKILL);
        process_.Wait();
        return false;
    }
    // One number per protocol served, MMSH first.
    const bool mmsh = std::find(args.begin(), args.end(), "--no-mmsh") == args.end();
    const bool mms = std::find(args.begin(), args.end(), "--mms-port") != args.end();
    std::istringstream in(line);
    long a = 0, b = 0;
    in >> a;
    if (mms && mmsh) in >> b;
    if (mmsh) mmshPort_ = uint16_t(a);
    if (mms) mmsPort_ = uint16_t(mmsh ? b : a);
    if ((mmsh && mmshPort_ == 0) || (mms && mmsPort_ == 0)) {
        if (error) *error = "cannot read the ports from \"" + line + "\"";
        return false;
    }
    return true;
}

RunUsage ServerProcess::Stop() {
    process_.Signal(SIGINT);
    RunUsage u = process_.Wait(10.0);
    if (!u.exited) {
        process_.Signal(SIGKILL);
        u = process_.Wait();
    }
    return u;
}

std::string ServerProcess::Url(const std::string& scheme, const std::string& path) const {
    const bool http = scheme == "http" || scheme == "mmsh";
    return scheme + "://127.0.0.1:" + std::to_string(http ? mmshPort_ : mmsPort_) + "/" + path;
}

}  // namespace larkspan::bench
