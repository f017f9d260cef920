#pragma once
#include "app/CommandLine.h"

class QApplication;

namespace larkspan {

class InstanceChannel;

// Runs the desktop program's windows for a start: the player alone for an explicit "/Play" of a source, the main
// window otherwise. The channel delivers the requests of later starts (openRequested) while the windows run.
// Returns the exit code.
int RunDesktop(QApplication& app, const StartRequest& request, InstanceChannel& channel);

}  // namespace larkspan
