#pragma once
// larkspan-testserver run as a separate process, so that its CPU time never
// mixes with the client's: started with --print-port, its ports read from
// the first line of its output, stopped with SIGINT.
#include <cstdint>
#include <string>
#include <vector>

#include "bench/common/ChildProcess.h"

namespace larkspan::bench {

class ServerProcess {
public:
    // args: everything after the program name except --print-port. Waits
    // for the ports (loading a large file takes a moment).
    bool Start(const std::string& program, const std::vector<std::string>& args, const std::string& logFile,
               std::string* error);
    // Stops the server and returns its usage over its whole life.
    RunUsage Stop();

    uint16_t MmshPort() const { return mmshPort_; }
    uint16_t MmsPort() const { return mmsPort_; }
    std::string Url(const std::string& scheme, const std::string& path) const;
    // CPU seconds used so far (clock-tick resolution).
    double CpuSoFar() const { return process_.CpuSoFar(); }

private:
    ChildProcess process_;
    uint16_t mmshPort_ = 0;
    uint16_t mmsPort_ = 0;
};

}  // namespace larkspan::bench
