#pragma once
// What two media readers written apart from this project, ffprobe and
// GStreamer's discoverer, make of a recording: its duration, whether it
// seeks, and where a seek lands. A seek goes to the key frame of the first
// stream nearest the time asked for, since a reader lands on key frames.
#include <string>

namespace larkspan::testsupport {

struct ReaderView {
    std::string missingTool;     // a reader not on PATH (nothing else is then filled in)
    double ffprobeDuration = 0;  // seconds; NaN when ffprobe gives none
    double seekTarget = 0;       // seconds: the key frame sought; NaN when the file has none
    double seekLandedAt = 0;     // seconds: time of the first packet ffprobe reads after seeking; NaN when none
    bool gstRan = false;         // gst-discoverer-1.0 read the file
    bool gstSeekable = false;
    double gstDuration = 0;      // seconds; NaN when it gives none
    std::string gstText;         // the discoverer's whole report, for failure messages
};

// Reads path with both readers; seekNear is in seconds from the file's start.
ReaderView ReadLikePlayers(const std::string& path, double seekNear);

}  // namespace larkspan::testsupport
