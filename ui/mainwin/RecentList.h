#pragma once

// The sources opened most recently, most recent first. Kept in the profile
// under "FileMRUList\url" as File0, File1, ...; an entry survives a restart
// when it still names an existing file or is a stream address.

#include <string>
#include <vector>

namespace larkspan {

class SettingsProfile;

class RecentList {
public:
    static constexpr const char* kSection = "FileMRUList\\url";
    // Entries written to and read from the profile.
    static constexpr int kStoredCount = 20;
    // Entries the menu can show (its command ids run out after these).
    static constexpr int kMenuCount = 40;

    // Replaces the list with File0..File19, stopping at the first empty value
    // and dropping what KeepsEntry refuses.
    void Load(SettingsProfile& profile);
    // Writes the first kStoredCount entries and empties the values after
    // them, so that a later Load stops where this list ends.
    void Save(SettingsProfile& profile) const;

    // An existing file or folder, or a text naming an http, mms, mmst or mmsu
    // address that is not a local file.
    static bool KeepsEntry(const std::string& entry);

    // Removes every copy of `source` and puts it first; an empty source
    // changes nothing. The list never grows beyond kMenuCount.
    void MoveToFront(const std::string& source);
    void Clear() { entries_.clear(); }

    const std::vector<std::string>& Entries() const { return entries_; }
    // The entry at `index`, or an empty text beyond the end.
    std::string At(int index) const;

private:
    std::vector<std::string> entries_;
};

}  // namespace larkspan
