#include "ui/player/ScreenSaverInhibitor.h"

#include <QCoreApplication>

#ifdef LARKSPAN_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace larkspan {
namespace {

#ifdef LARKSPAN_HAVE_QTDBUS
const char kService[] = "org.freedesktop.ScreenSaver";
const char kPath[] = "/org/freedesktop/ScreenSaver";

QDBusMessage ScreenSaverCall(const char* method) {
    return QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kService),
                                          QLatin1String(method));
}
#endif

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QObject* parent) : QObject(parent) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() { Release(); }

void ScreenSaverInhibitor::Hold() {
    if (wanted_) return;
    wanted_ = true;
#ifdef LARKSPAN_HAVE_QTDBUS
    if (haveCookie_ || requestPending_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = ScreenSaverCall("Inhibit");
    call << QCoreApplication::applicationName() << tr("Playing video");
    requestPending_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        requestPending_ = false;
        const QDBusPendingReply<std::uint32_t> reply = *done;
        if (reply.isError()) return;  // no such service: nothing to hold
        if (wanted_) {
            cookie_ = reply.value();
            haveCookie_ = true;
        } else {
            Uninhibit(reply.value());  // released while the request was under way
        }
    });
#endif
}

void ScreenSaverInhibitor::Release() {
    if (!wanted_) return;
    wanted_ = false;
    if (!haveCookie_) return;
    haveCookie_ = false;
    Uninhibit(cookie_);
}

void ScreenSaverInhibitor::Uninhibit(std::uint32_t cookie) {
#ifdef LARKSPAN_HAVE_QTDBUS
    QDBusMessage call = ScreenSaverCall("UnInhibit");
    call << cookie;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
#else
    (void)cookie;
#endif
}

}  // namespace larkspan
