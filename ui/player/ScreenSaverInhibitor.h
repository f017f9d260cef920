#pragma once
// Keeps the desktop's screen saver away while it is held, through the
// session bus service org.freedesktop.ScreenSaver.
#include <QObject>

#include <cstdint>

namespace larkspan {

// Hold() asks the service to inhibit the screen saver, Release() lets it go
// again; both are idempotent and never wait for the bus. Without a session
// bus or the service nothing happens.
class ScreenSaverInhibitor : public QObject {
    Q_OBJECT

public:
    explicit ScreenSaverInhibitor(QObject* parent = nullptr);
    ~ScreenSaverInhibitor() override;

    void Hold();
    void Release();
    bool Held() const { return wanted_; }

private:
    void Uninhibit(std::uint32_t cookie);

    bool wanted_ = false;
    bool requestPending_ = false;
    bool haveCookie_ = false;
    std::uint32_t cookie_ = 0;
};

}  // namespace larkspan
