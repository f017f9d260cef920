#include "ui/mainwin/RecentList.h"

#include "media/MediaRefKind.h"
#include "recorder/SettingsProfile.h"

#include <algorithm>

namespace larkspan {

namespace {

std::string ValueName(int index) { return "File" + std::to_string(index); }

} // namespace

void RecentList::Load(SettingsProfile& profile)
{
    m_entries.clear();
    for (int i = 0; i < kStoredCount; ++i) {
        const std::string entry = profile.GetString(kSection, ValueName(i), "");
        if (entry.empty())
            break;
        if (KeepsEntry(entry))
            m_entries.push_back(entry);
    }
}

void RecentList::Save(SettingsProfile& profile) const
{
    profile.DeleteSection(kSection);
    const int count = std::min<int>(static_cast<int>(m_entries.size()), kStoredCount);
    for (int i = 0; i < count; ++i)
        profile.WriteString(kSection, ValueName(i), m_entries[i]);
}

bool RecentList::KeepsEntry(const std::string& entry)
{
    const MediaRefKind kind = ClassifyMediaRef(entry);
    if (kind & refkind::LocalFile)
        return true;
    return (kind & refkind::SchemeMask) != 0;
}

void RecentList::MoveToFront(const std::string& source)
{
    if (source.empty())
        return;
    std::erase(m_entries, source);
    m_entries.insert(m_entries.begin(), source);
    if (m_entries.size() > static_cast<size_t>(kMenuCount))
        m_entries.resize(kMenuCount);
}

std::string RecentList::At(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_entries.size()))
        return {};
    return m_entries[index];
}

} // namespace larkspan
