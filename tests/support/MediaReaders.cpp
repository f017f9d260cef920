#include "tests/support/MediaReaders.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/support/Samples.h"

namespace larkspan::testsupport {

namespace {

// The first number of ffprobe's output, or NaN.
double FirstNumber(const std::string& out) {
    const char* start = out.c_str();
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    return end == start ? NAN : value;
}

}  // namespace

// Times of the key frames of the first stream, read packet by packet.
std::vector<double> KeyFrameTimes(const std::string& file) {
    std::vector<double> times;
    std::string out;
    if (RunCommand("ffprobe -v error -select_streams 0 -show_entries packet=pts_time,flags -of csv=p=0 " + file,
                   &out) != 0)
        return times;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        const size_t comma = line.find(',');
        if (comma != std::string::npos && line.compare(comma + 1, 1, "K") == 0) times.push_back(FirstNumber(line));
        at = end + 1;
    }
    return times;
}

ReaderView ReadLikePlayers(const std::string& path, double seekNear) {
    ReaderView view;
    for (const char* tool : {"ffprobe", "gst-discoverer-1.0"}) {
        if (!HaveTool(tool)) {
            view.missingTool = tool;
            return view;
        }
    }
    const std::string file = ShellQuote(path);

    std::string out;
    view.ffprobeDuration = NAN;
    if (RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + file, &out) == 0)
        view.ffprobeDuration = FirstNumber(out);

    view.seekTarget = NAN;
    for (double t : KeyFrameTimes(file)) {
        if (std::isnan(view.seekTarget) || std::fabs(t - seekNear) < std::fabs(view.seekTarget - seekNear))
            view.seekTarget = t;
    }
    // "-read_intervals T%+#1" seeks to T and reads one packet from there.
    char interval[64];
    std::snprintf(interval, sizeof(interval), "%.3f%%+#1", std::isnan(view.seekTarget) ? seekNear : view.seekTarget);
    out.clear();
    view.seekLandedAt = NAN;
    if (RunCommand(std::string("ffprobe -v error -read_intervals ") + interval +
                       " -show_entries packet=pts_time -of csv=p=0 " + file,
                   &out) == 0)
        view.seekLandedAt = FirstNumber(out);

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
