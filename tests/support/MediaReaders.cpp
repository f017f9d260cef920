#include "tests/support/MediaReaders.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/Samples.h"

namespace larkspan::testsupport {

namespace {

// The first number of a reader's output, or NaN.
double FirstNumber(const std::string& out) {
    char* end = nullptr;
    const double value = std::strtod(out.c_str(), &end);
    return end == out.c_str() ? NAN : value;
}

// The number ffprobe prints for a query, or NaN.
double FfprobeNumber(const std::string& query) {
    std::string out;
    return RunCommand("ffprobe -v error " + query, &out) == 0 ? FirstNumber(out) : NAN;
}

}  // namespace

ReaderView ReadLikePlayers(const std::string& path, double seekNear) {
    ReaderView view;
    for (const char* tool : {"ffprobe", "gst-discoverer-1.0"}) {
        if (!HaveTool(tool)) {
            view.missingTool = tool;
            return view;
        }
    }
    const std::string file = ShellQuote(path);
    view.ffprobeDuration = FfprobeNumber("-show_entries format=duration -of csv=p=0 " + file);

    // The key frame of the first stream nearest seekNear.
    std::string out;
    RunCommand("ffprobe -v error -select_streams 0 -show_entries packet=pts_time,flags -of csv=p=0 " + file, &out);
    std::istringstream lines(out);
    std::string line;
    view.seekTarget = NAN;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos || line.compare(comma + 1, 1, "K") != 0) continue;
        const double t = FirstNumber(line);
        if (std::isnan(view.seekTarget) || std::fabs(t - seekNear) < std::fabs(view.seekTarget - seekNear))
            view.seekTarget = t;
    }
    // "-read_intervals T%+#1" seeks to T and reads one packet from there.
    char interval[64];
    std::snprintf(interval, sizeof(interval), "%.3f%%+#1", std::isnan(view.seekTarget) ? seekNear : view.seekTarget);
    view.seekLandedAt = FfprobeNumber(std::string("-read_intervals ") + interval +
                                      " -show_entries packet=pts_time -of csv=p=0 " + file);

    view.gstRan = RunCommand("gst-discoverer-1.0 " + file + " 2>&1", &view.gstText) == 0;
    view.gstSeekable = view.gstText.find("Seekable: yes") != std::string::npos;
    view.gstDuration = NAN;
    const size_t at = view.gstText.find("Duration: ");
    unsigned hours = 0, minutes = 0;
    double seconds = 0;
    if (at != std::string::npos &&
        std::sscanf(view.gstText.c_str() + at, "Duration: %u:%u:%lf", &hours, &minutes, &seconds) == 3)
        view.gstDuration = hours * 3600.0 + minutes * 60.0 + seconds;
    return view;
}

}  // namespace larkspan::testsupport
