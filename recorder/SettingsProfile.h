#pragma once
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace larkspan {

// The per-user profile as the core sees it: integers and texts under a
// section and a key. The desktop build backs it with QSettings; tests and
// tools may use MemoryProfile.
class SettingsProfile {
public:
    virtual ~SettingsProfile() = default;
    virtual int GetInt(const std::string& section, const std::string& key, int defaultValue) = 0;
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue) = 0;
    virtual void WriteInt(const std::string& section, const std::string& key, int value) = 0;
    virtual void WriteString(const std::string& section, const std::string& key, const std::string& value) = 0;
    // Removes every key of the section and of the sections below it
    // ("RecentUrl" takes "RecentUrl\Url" along). '\' separates levels; an
    // empty name deletes nothing.
    virtual void DeleteSection(const std::string& section) = 0;
};

// A profile held in memory. Remembers the order of writes so callers can
// check what was written and in which order (a deleted section is logged as
// "delete SECTION").
class MemoryProfile : public SettingsProfile {
public:
    struct Value {
        bool isInt = false;
        int intValue = 0;
        std::string text;
    };

    int GetInt(const std::string& section, const std::string& key, int defaultValue) override {
        reads_.push_back(section + "/" + key);
        auto it = values_.find({section, key});
        return it != values_.end() && it->second.isInt ? it->second.intValue : defaultValue;
    }
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) override {
        reads_.push_back(section + "/" + key);
        auto it = values_.find({section, key});
        return it != values_.end() && !it->second.isInt ? it->second.text : defaultValue;
    }
    void WriteInt(const std::string& section, const std::string& key, int value) override {
        writes_.push_back(section + "/" + key);
        values_[{section, key}] = Value{true, value, {}};
    }
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
        writes_.push_back(section + "/" + key);
        values_[{section, key}] = Value{false, 0, value};
    }

    void DeleteSection(const std::string& section) override {
        if (section.empty()) return;
        writes_.push_back("delete " + section);
        for (auto it = values_.begin(); it != values_.end();) {
            const std::string& s = it->first.first;
            bool below = s.size() > section.size() && s.compare(0, section.size(), section) == 0 &&
                         s[section.size()] == '\\';
            it = (s == section || below) ? values_.erase(it) : std::next(it);
        }
    }

    bool Has(const std::string& section, const std::string& key) const {
        return values_.count({section, key}) != 0;
    }
    const std::map<std::pair<std::string, std::string>, Value>& Values() const { return values_; }
    const std::vector<std::string>& Reads() const { return reads_; }
    const std::vector<std::string>& Writes() const { return writes_; }
    void ClearLog() { reads_.clear(); writes_.clear(); }

private:
    std::map<std::pair<std::string, std::string>, Value> values_;
    std::vector<std::string> reads_;
    std::vector<std::string> writes_;
};

}  // namespace larkspan
