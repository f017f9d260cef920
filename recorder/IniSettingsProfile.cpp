#include "recorder/IniSettingsProfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "media/TextEncoding.h"

namespace larkspan {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Keys and section names: "%XX" escapes (a blank is written "%20"), and
// "%UXXXX" for characters outside Latin-1.
std::string UnescapeKey(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && text.size() - i >= 3 && text[i + 1] != 'U') {
            int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                AppendUtf8(static_cast<uint32_t>(hi * 16 + lo), out);
                i += 2;
                continue;
            }
        }
        if (text[i] == '%' && text.size() - i >= 6 && text[i + 1] == 'U') {
            uint32_t cp = 0;
            bool ok = true;
            for (int k = 2; k < 6; ++k) {
                int h = HexValue(text[i + k]);
                if (h < 0) ok = false;
                cp = cp * 16 + static_cast<uint32_t>(h < 0 ? 0 : h);
            }
            if (ok) {
                AppendUtf8(cp, out);
                i += 5;
                continue;
            }
        }
        out += text[i] == '\\' ? '/' : text[i];
    }
    return out;
}

// A value: quoted parts with C-style escapes, unquoted parts trimmed. A
// top-level comma would make a list; only the first element is a setting's
// value then.
std::string UnescapeValue(const std::string& text) {
    std::string out;
    bool quoted = false;
    size_t keep = 0;  // blanks up to here were quoted and stay
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            keep = out.size();
            continue;
        }
        if (!quoted && c == ',') break;
        if (!quoted && c == ';') break;
        if (c == '\\' && i + 1 < text.size()) {
            char e = text[++i];
            switch (e) {
            case 'a': out += '\a'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'v': out += '\v'; break;
            case 'x': {
                uint32_t cp = 0;
                int digits = 0;
                while (i + 1 < text.size() && digits < 4 && HexValue(text[i + 1]) >= 0) {
                    cp = cp * 16 + static_cast<uint32_t>(HexValue(text[++i]));
                    ++digits;
                }
                AppendUtf8(cp, out);
                break;
            }
            case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
                uint32_t cp = static_cast<uint32_t>(e - '0');
                int digits = 1;
                while (i + 1 < text.size() && digits < 3 && text[i + 1] >= '0' && text[i + 1] <= '7') {
                    cp = cp * 8 + static_cast<uint32_t>(text[++i] - '0');
                    ++digits;
                }
                AppendUtf8(cp, out);
                break;
            }
            default: out += e; break;  // \\ \" \' \? and anything else
            }
            keep = out.size();
            continue;
        }
        out += c;
    }
    while (out.size() > keep && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    // Typed values QSettings cannot store as plain text.
    // A text that begins with '@' is written with the '@' doubled.
    if (out.rfind("@String(", 0) == 0 && out.back() == ')') return out.substr(8, out.size() - 9);
    if (out.rfind("@@", 0) == 0) return out.substr(1);
    return out;
}

}  // namespace

IniSettingsProfile::IniSettingsProfile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::stringstream text;
    text << in.rdbuf();
    Parse(text.str());
}

std::string IniSettingsProfile::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    return base + "/Brellow/Larkspan Recorder.conf";
}

void IniSettingsProfile::Parse(const std::string& text) {
    std::string section;
    size_t pos = 0;
    // A UTF-8 byte-order mark is skipped.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos) continue;
        line.erase(0, b);
        if (line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            section = UnescapeKey(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            if (section == "General") section.clear();
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        key = UnescapeKey(key);
        values_[section.empty() ? key : section + "/" + key] = UnescapeValue(line.substr(eq + 1));
    }
}

std::string IniSettingsProfile::FullKey(const std::string& section, const std::string& key) {
    std::string full = section.empty() ? key : section + "/" + key;
    for (char& c : full)
        if (c == '\\') c = '/';
    return full;
}

bool IniSettingsProfile::Has(const std::string& section, const std::string& key) const {
    return values_.count(FullKey(section, key)) != 0;
}

int IniSettingsProfile::GetInt(const std::string& section, const std::string& key, int defaultValue) {
    auto it = values_.find(FullKey(section, key));
    if (it == values_.end()) return defaultValue;
    const std::string& text = it->second;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (end == text.c_str() || errno != 0 || v < INT_MIN || v > INT_MAX) return defaultValue;
    while (*end == ' ') ++end;
    return *end == '\0' ? static_cast<int>(v) : defaultValue;
}

std::string IniSettingsProfile::GetString(const std::string& section, const std::string& key,
                                          const std::string& defaultValue) {
    auto it = values_.find(FullKey(section, key));
    return it == values_.end() ? defaultValue : it->second;
}

void IniSettingsProfile::WriteInt(const std::string& section, const std::string& key, int value) {
    values_[FullKey(section, key)] = std::to_string(value);
}

void IniSettingsProfile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    values_[FullKey(section, key)] = value;
}

void IniSettingsProfile::DeleteSection(const std::string& section) {
    // Every key of the section, and of the sections below it, begins with "section/".
    if (section.empty()) return;
    const std::string prefix = FullKey(section, "");
    auto it = values_.lower_bound(prefix);
    while (it != values_.end() && it->first.compare(0, prefix.size(), prefix) == 0) it = values_.erase(it);
}

}  // namespace larkspan
