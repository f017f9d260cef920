#pragma once
#include <string>

namespace larkspan {

// The player as the record list uses it to play a row and to chain
// playback from row to row. The values match the player's states.
enum class RowPlayerState : int { Stopped = 0, Paused = 1, Playing = 2 };

class RowPlayer {
public:
    virtual ~RowPlayer() = default;
    // Opens media (a path or an address) under title; false when refused.
    virtual bool Open(const std::string& media, const std::string& title) = 0;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual void Seek(double seconds) = 0;
    virtual RowPlayerState State() const = 0;
    virtual bool IsPaused() const = 0;
};

}  // namespace larkspan
