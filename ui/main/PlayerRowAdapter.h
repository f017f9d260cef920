#pragma once
// The player window as the record list drives it.
#include <functional>

#include "ui/recorder/RowPlayer.h"

namespace larkspan {

class PlayerWindow;

class PlayerRowAdapter : public RowPlayer {
public:
    // beforeOpen runs before every medium the list opens (the panel stops
    // its playback chain then).
    PlayerRowAdapter(PlayerWindow& player, std::function<void()> beforeOpen);

    bool Open(const std::string& media, const std::string& title) override;
    void Play() override;
    void Stop() override;
    void Seek(double seconds) override;
    RowPlayerState State() const override;
    bool IsPaused() const override;

private:
    PlayerWindow& player_;
    std::function<void()> beforeOpen_;
};

}  // namespace larkspan
