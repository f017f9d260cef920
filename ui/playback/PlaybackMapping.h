#pragma once
// The scales of the player's controls and the choices the engine makes about
// an address, as plain functions (no GStreamer here).
#include <string>

namespace larkspan {

// Volume in hundredths of a decibel: 0 is full, this and below is silence.
inline constexpr int kSilentVolume = -10000;
inline constexpr int kFullVolume = 0;
// Balance in hundredths of a decibel of attenuation of the other side:
// negative attenuates the right channel, positive the left one.
inline constexpr int kFullBalance = 10000;
// Playback rates the player offers, and the step of RateUp and RateDown.
inline constexpr double kMinRate = 0.1;
inline constexpr double kMaxRate = 4.0;
inline constexpr double kRateStep = 0.1;

// Linear gain of a volume: 10^(volume / 2000), exactly 0 at kSilentVolume and
// below, 1 at kFullVolume and above.
double VolumeToGain(int volume);
// A simple (one side attenuated) panorama position in [-1, 1] for a balance:
// sign(b) * (1 - 10^(-|b| / 2000)), exactly -1 or 1 from kFullBalance on,
// where the other side is silent.
double BalanceToPanorama(int balance);
// rate + step, kept within [kMinRate, kMaxRate]; a rate that is not a number
// gives 1.
double SteppedRate(double rate, double step);
// Whether rate is one the engine plays at.
bool IsPlayableRate(double rate);

// Addresses whose streams are pulled by the recorder's own clients (mms:,
// mmst:, mmsu: and http:, any letter case) rather than opened by GStreamer.
bool PlaysThroughStreamClient(const std::string& address);
// Whether address has the http: scheme (any letter case).
bool IsHttpAddress(const std::string& address);
// The caption file of a local medium: the same folder, the file name up to
// its last dot (the whole name when it has none) and ".smi". Empty for an
// address with a scheme (captions come only from local files).
std::string CaptionFileFor(const std::string& mediaPath);

}  // namespace larkspan
