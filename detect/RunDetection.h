#pragma once
#include <string>

#include "detect/DetectionSink.h"

namespace larkspan {

// Where detection reads frames from: a capture file when pcapFile is set,
// else the named interface, else the interface the chooser picks (the only
// one, or the first when there is no chooser).
struct DetectionSource {
    std::string interfaceName;
    std::string pcapFile;
};

// Runs address detection to the end on the calling thread's behalf: for a
// file until its last frame, for an interface until the capture flag is
// cleared (AddressDetector::ClearCaptureFlag, e.g. from a signal handler or
// when a recording starts) or the capture fails. Reports through the sink.
// Returns 0 when detection ran, 1 when it could not start (the reason went to
// ShowDetectionMessage), 2 when the user cancelled the interface choice.
int RunDetection(const DetectionSource& source, DetectionSink& sink, AdapterChooser* chooser = nullptr);

}  // namespace larkspan
