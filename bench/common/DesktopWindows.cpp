#include "bench/common/DesktopWindows.h"

namespace larkspan::bench {

namespace {
MemoryProfile& WithFolder(MemoryProfile& profile, const QString& recordFolder) {
    if (!recordFolder.isEmpty()) profile.WriteString("settings", "base dir", recordFolder.toStdString());
    return profile;
}
}  // namespace

DesktopWindows::DesktopWindows(const QString& recordFolder) {
    Desktop::Options options;
    options.engine.fakeAudioOutput = true;
    desktop_ = std::make_unique<Desktop>(WithFolder(profile_, recordFolder), std::move(options));
}

DesktopWindows::~DesktopWindows() = default;

void DesktopWindows::Show() { desktop_->ShowMain(1, QString()); }

}  // namespace larkspan::bench
