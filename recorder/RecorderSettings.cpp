#include "recorder/RecorderSettings.h"

#include <cstdlib>
#include <system_error>
#include <filesystem>

#include "recorder/SettingsProfile.h"

namespace larkspan {

namespace {
#if defined(_WIN32)
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

bool IsSeparator(char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

bool MakeFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::create_directory(std::filesystem::path(path), ec) || FolderExists(path);
}
}  // namespace

std::string RecorderSettings::DefaultBaseDir() {
#if defined(_WIN32)
    return "c:\\temp";
#else
    const char* home = std::getenv("HOME");
    std::string base = (home && *home) ? home : "/tmp";
    if (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/Videos/Larkspan Recorder";
#endif
}

bool CreateDirectoryPath(const std::string& path) {
    std::string copy = path.substr(0, 1023);
    size_t last = std::string::npos;
    for (size_t i = 0; i < copy.size(); ++i)
        if (IsSeparator(copy[i])) last = i;
    if (last != std::string::npos && copy.find('.', last + 1) != std::string::npos) copy.resize(last);
    if (copy.empty()) return true;

    size_t i = IsSeparator(copy[0]) ? 1 : 0;
    while (true) {
        while (i < copy.size() && !IsSeparator(copy[i])) ++i;
        std::string prefix = copy.substr(0, i);
        bool atEnd = i >= copy.size();
        // A drive ("c:") or an empty component between two separators
        // names nothing to create.
        bool skip = prefix.empty() || IsSeparator(prefix.back()) ||
                    (prefix.size() == 2 && prefix[1] == ':');
        if (!skip && !FolderExists(prefix) && !MakeFolder(prefix)) return false;
        if (atEnd) return true;
        ++i;
    }
}

void RecorderSettings::Load(SettingsProfile& p) {
    const std::string s = kSection;
    baseDir = p.GetString(s, "base dir", baseDir);
    CreateDirectoryPath(baseDir);
    agent = p.GetString(s, "agent", agent);
    overWrite = p.GetInt(s, "OverWrite", overWrite);
    allowMultipleInstances = p.GetInt(s, "Allow Multiple Instances", allowMultipleInstances);
    liveContentSaveTimeInfo = p.GetInt(s, "Live Content Save Time Info", liveContentSaveTimeInfo);
    urlHiJackingEnable = p.GetInt(s, "Url HiJacking Enable", urlHiJackingEnable);
    sizePolicy = p.GetInt(s, "size policy", sizePolicy);
    maxSize = p.GetInt(s, "Max Size", maxSize);
    timePolicy = p.GetInt(s, "time policy", timePolicy);
    maxTime = p.GetInt(s, "Max Time", maxTime);
    repeat = p.GetInt(s, "Repeat", repeat);
    sequence = p.GetInt(s, "Sequence", sequence);
    keepSize = p.GetInt(s, "Keep Size", keepSize);
    keep = p.GetInt(s, "Keep", keep);
    onTop = p.GetInt(s, "OnTop", onTop);
    screenSave = p.GetInt(s, "ScreenSave ", screenSave);
    enableCaption = p.GetInt(s, "Enable Caption", enableCaption);
    spliteCaptionWnd = p.GetInt(s, "Splite Caption Wnd", spliteCaptionWnd);
    captionColor = p.GetInt(s, "Caption Corlor", captionColor);
    captionSize = p.GetInt(s, "Caption Size", captionSize);
    captionStyleName = p.GetString(s, "Caption Style Name", captionStyleName);
    captionFaceName = p.GetString(s, "Caption Face Name", captionFaceName);
    captionBold = p.GetInt(s, "Caption Bold", captionBold);
    captionMargin = p.GetInt(s, "Caption Margin", captionMargin);
    useAuth = p.GetInt(s, "Use Auth", useAuth);
    authUsername = p.GetString(s, "Auth Username", authUsername);
    authPassword = p.GetString(s, "Auth Password", authPassword);
    useProxy = p.GetInt(s, "Use Proxy", useProxy);
    proxyServer = p.GetString(s, "Proxy SAerver", proxyServer);
    proxyPort = p.GetInt(s, "Proxy Port", proxyPort);
    bypassProxy = p.GetInt(s, "Bypass Proxy", bypassProxy);
    idleTimeout = p.GetInt(s, "Idle Timeout", idleTimeout);
}

void RecorderSettings::Save(SettingsProfile& p) const {
    const std::string s = kSection;
    p.WriteString(s, "base dir", baseDir);
    p.WriteString(s, "agent", agent);
    p.WriteInt(s, "OverWrite", overWrite);
    p.WriteInt(s, "Allow Multiple Instances", allowMultipleInstances);
    p.WriteInt(s, "Live Content Save Time Info", liveContentSaveTimeInfo);
    p.WriteInt(s, "size policy", sizePolicy);
    p.WriteInt(s, "Max Size", maxSize);
    p.WriteInt(s, "time policy", timePolicy);
    p.WriteInt(s, "Max Time", maxTime);
    p.WriteInt(s, "Repeat", repeat);
    p.WriteInt(s, "Sequence", sequence);
    p.WriteInt(s, "Keep Size", keepSize);
    p.WriteInt(s, "Keep", keep);
    p.WriteInt(s, "OnTop", onTop);
    p.WriteInt(s, "ScreenSave ", screenSave);
    p.WriteInt(s, "Enable Caption", enableCaption);
    p.WriteInt(s, "Splite Caption Wnd", spliteCaptionWnd);
    p.WriteInt(s, "Caption Corlor", captionColor);
    p.WriteInt(s, "Caption Size", captionSize);
    p.WriteString(s, "Caption Style Name", captionStyleName);
    p.WriteString(s, "Caption Face Name", captionFaceName);
    p.WriteInt(s, "Caption Bold", captionBold);
    p.WriteInt(s, "Caption Margin", captionMargin);
    p.WriteInt(s, "Use Auth", useAuth);
    p.WriteString(s, "Auth Username", authUsername);
    p.WriteString(s, "Auth Password", authPassword);
    p.WriteInt(s, "Use Proxy", useProxy);
    p.WriteString(s, "Proxy SAerver", proxyServer);
    p.WriteInt(s, "Proxy Port", proxyPort);
    p.WriteInt(s, "Bypass Proxy", bypassProxy);
    p.WriteInt(s, "Idle Timeout", idleTimeout);
}

}  // namespace larkspan
