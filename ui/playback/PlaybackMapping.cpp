#include "ui/playback/PlaybackMapping.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace larkspan {

namespace {

// The scheme of an address ("mms" of "mms://host/x"), lower case; empty
// when it has none. A one-letter scheme is a drive letter, not a scheme.
std::string SchemeOf(const std::string& address) {
    const size_t colon = address.find(':');
    if (colon == std::string::npos || colon < 2) return {};
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(address[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return {};
        scheme += static_cast<char>(std::tolower(c));
    }
    return std::isalpha(static_cast<unsigned char>(scheme[0])) ? scheme : std::string();
}

}  // namespace

double VolumeToGain(int volume) {
    if (volume <= kSilentVolume) return 0.0;
    if (volume >= kFullVolume) return 1.0;
    return std::pow(10.0, volume / 2000.0);
}

double BalanceToPanorama(int balance) {
    if (balance >= kFullBalance) return 1.0;
    if (balance <= -kFullBalance) return -1.0;
    const double attenuated = 1.0 - std::pow(10.0, -std::abs(balance) / 2000.0);
    return balance < 0 ? -attenuated : attenuated;
}

double SteppedRate(double rate, double step) {
    if (!std::isfinite(rate)) return 1.0;
    return std::clamp(rate + step, kMinRate, kMaxRate);
}

bool IsPlayableRate(double rate) { return std::isfinite(rate) && rate >= kMinRate && rate <= kMaxRate; }

bool PlaysThroughStreamClient(const std::string& address) {
    const std::string scheme = SchemeOf(address);
    return scheme == "mms" || scheme == "mmst" || scheme == "mmsu" || scheme == "http";
}

bool IsHttpAddress(const std::string& address) { return SchemeOf(address) == "http"; }

std::string CaptionFileFor(const std::string& mediaPath) {
    if (mediaPath.empty() || !SchemeOf(mediaPath).empty()) return {};
    std::filesystem::path path(mediaPath);
    if (!path.has_filename()) return {};
    const std::string name = path.filename().string();
    const size_t dot = name.rfind('.');
    const std::string base = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    return (path.parent_path() / (base + ".smi")).string();
}

}  // namespace larkspan
