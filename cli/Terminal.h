#pragma once
#include <cstdint>
#include <string>

namespace larkspan::cli {

bool StderrIsTerminal();
// True when there is a terminal to ask questions on.
bool HaveInteractiveTerminal();
// Reads one line from the controlling terminal; echo off when secret.
// False when there is no terminal or input ended.
bool ReadTerminalLine(const std::string& prompt, bool secret, std::string& line);

std::string FormatBytes(uint64_t bytes);
// "h:mm:ss" or "m:ss".
std::string FormatStreamTime(uint64_t ms);
std::string FormatRate(double bytesPerSecond);

}  // namespace larkspan::cli
