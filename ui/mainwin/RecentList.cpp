#include "ui/mainwin/RecentList.h"

#include "media/MediaRefKind.h"
#include "recorder/SettingsProfile.h"

#include <algorithm>

namespace larkspan {

namespace {

std::string ValueName(int index) { return "File" + std::to_string(index); }

}  // namespace

void RecentList::Load(SettingsProfile& profile) {
    entries_.clear();
    for (int i = 0; i < kStoredCount; ++i) {
        const std::string entry = profile.GetString(kSection, ValueName(i), "");
        if (entry.empty())
            break;
        if (KeepsEntry(entry))
            entries_.push_back(entry);
    }
}

void RecentList::Save(SettingsProfile& profile) const {
    profile.DeleteSection(kSection);
    const int count = std::min<int>(static_cast<int>(entries_.size()), kStoredCount);
    for (int i = 0; i < count; ++i)
        profile.WriteString(kSection, ValueName(i), entries_[i]);
}

bool RecentList::KeepsEntry(const std::string& entry) {
    const MediaRefKind kind = ClassifyMediaRef(entry);
    if (kind & refkind::LocalFile)
        return true;
    return (kind & refkind::SchemeMask) != 0;
}

void RecentList::MoveToFront(const std::string& source) {
    if (source.empty())
        return;
    std::erase(entries_, source);
    entries_.insert(entries_.begin(), source);
    if (entries_.size() > static_cast<size_t>(kMenuCount))
        entries_.resize(kMenuCount);
}

std::string RecentList::At(int index) const {
    if (index < 0 || index >= static_cast<int>(entries_.size()))
        return {};
    return entries_[index];
}

}  // namespace larkspan
