#pragma once
// Profiles compared as text, and one whose every setting is not its default.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"

namespace larkspan {

// "section/key=value" for every value of a profile, in key order.
inline std::vector<std::string> Entries(const MemoryProfile& profile) {
    std::vector<std::string> out;
    for (const auto& [key, v] : profile.Values())
        out.push_back(key.first + "/" + key.second + "=" + (v.isInt ? std::to_string(v.intValue) : v.text));
    return out;
}

inline std::vector<std::string> Saved(const RecorderSettings& settings) {
    MemoryProfile profile;
    settings.Save(profile);
    return Entries(profile);
}

// Every key a save writes, with a value of its type no default has.
inline MemoryProfile DistinctProfile(const std::string& baseDir) {
    MemoryProfile defaults, distinct;
    RecorderSettings().Save(defaults);
    int n = 100;
    for (const auto& [key, value] : defaults.Values()) {
        if (value.isInt)
            distinct.WriteInt(key.first, key.second, ++n);
        else
            distinct.WriteString(key.first, key.second, key.second == "base dir" ? baseDir : "text " + key.second);
    }
    return distinct;
}

}  // namespace larkspan
