#include "ui/main/PlayerRowAdapter.h"

#include <QString>

#include "ui/player/PlayerWindow.h"

namespace larkspan {

PlayerRowAdapter::PlayerRowAdapter(PlayerWindow& player, std::function<void()> beforeOpen)
    : player_(player), beforeOpen_(std::move(beforeOpen)) {}

bool PlayerRowAdapter::Open(const std::string& media, const std::string& title) {
    if (beforeOpen_) beforeOpen_();
    return player_.Open(QString::fromStdString(media), QString::fromStdString(title));
}

void PlayerRowAdapter::Play() { player_.Play(); }

void PlayerRowAdapter::Stop() { player_.Stop(); }

void PlayerRowAdapter::Seek(double seconds) { player_.Seek(seconds); }

RowPlayerState PlayerRowAdapter::State() const { return static_cast<RowPlayerState>(player_.State()); }

bool PlayerRowAdapter::IsPaused() const { return player_.State() == PlayerState::Paused; }

}  // namespace larkspan
