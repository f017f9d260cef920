#pragma once
// Sample media (clip.asf, audio.asf, bigpackets.asf, made by
// scripts/make-samples.sh with ffmpeg) and outside tools for tests.
#include <string>
#include <vector>

namespace larkspan::testsupport {

// Folder holding the sample media: $LARKSPAN_SAMPLES_DIR when set, else
// <build dir>/samples. Files missing there are made on the first call (once
// per process; test processes run side by side wait for each other). Empty
// when the samples could not be made; SamplesError() then tells why.
std::string SamplesDir();
std::string SamplesError();

// SamplesDir() + "/" + name, or empty when that file is not there.
std::string SamplePath(const std::string& name);

// True when an executable of that name is on PATH.
bool HaveTool(const std::string& name);

// Runs a command through /bin/sh and returns its exit status (-1 when it
// could not be run or was killed). Its standard output goes to *output when
// given; add "2>&1" to the command to capture errors as well.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Quotes one argument for /bin/sh.
std::string ShellQuote(const std::string& arg);

}  // namespace larkspan::testsupport
