#pragma once
#include <memory>
#include <string>

#include "recorder/SettingsProfile.h"

class QSettings;

namespace larkspan {

// The per-user profile through QSettings: organisation "Brellow",
// application "Larkspan Recorder", in the platform's native format (the
// registry on Windows, ~/.config on Linux).
class QtSettingsProfile : public SettingsProfile {
public:
    QtSettingsProfile();
    ~QtSettingsProfile() override;

    int GetInt(const std::string& section, const std::string& key, int defaultValue) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) override;
    void WriteInt(const std::string& section, const std::string& key, int value) override;
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override;
    void DeleteSection(const std::string& section) override;
    void Sync();

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace larkspan
