#pragma once
#include <map>
#include <string>
#include <utility>

#include "recorder/SettingsProfile.h"

namespace larkspan {

// Reads the per-user profile the desktop program keeps as an INI file on
// Linux (QSettings' native format there: ~/.config/Brellow/Larkspan
// Recorder.conf), without pulling a GUI toolkit into a command-line tool.
// Read-only: writes change only the copy in memory.
class IniSettingsProfile : public SettingsProfile {
public:
    // Loads the file; a missing or unreadable file gives an empty profile.
    explicit IniSettingsProfile(const std::string& path);
    // The profile file's path for the current user: $XDG_CONFIG_HOME (or
    // ~/.config) / Brellow / Larkspan Recorder.conf.
    static std::string DefaultPath();
    // Parses INI text in the format QSettings writes.
    void Parse(const std::string& text);

    int GetInt(const std::string& section, const std::string& key, int defaultValue) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) override;
    void WriteInt(const std::string& section, const std::string& key, int value) override;
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override;
    void DeleteSection(const std::string& section) override;

    bool Has(const std::string& section, const std::string& key) const;

private:
    // Keys are "section/key" with '\' in either folded to '/', as QSettings
    // treats them.
    static std::string FullKey(const std::string& section, const std::string& key);
    std::map<std::string, std::string> values_;
};

}  // namespace larkspan
