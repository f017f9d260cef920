#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"

namespace fs = std::filesystem;
using namespace larkspan;

namespace {

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("lk-settings-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& rest) const { return (path_ / rest).string(); }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

const std::vector<std::string> kSaveOrder = {
    "base dir", "agent", "OverWrite", "Allow Multiple Instances", "Live Content Save Time Info",
    "size policy", "Max Size", "time policy", "Max Time", "Repeat", "Sequence", "Keep Size", "Keep",
    "OnTop", "ScreenSave ", "Enable Caption", "Splite Caption Wnd", "Caption Corlor", "Caption Size",
    "Caption Style Name", "Caption Face Name", "Caption Bold", "Caption Margin", "Use Auth",
    "Auth Username", "Auth Password", "Use Proxy", "Proxy SAerver", "Proxy Port", "Bypass Proxy",
    "Idle Timeout"};

std::vector<std::string> LoadOrder() {
    std::vector<std::string> order = kSaveOrder;
    // Loading reads "Url HiJacking Enable" right after "Live Content Save Time Info".
    order.insert(order.begin() + 5, "Url HiJacking Enable");
    return order;
}

std::vector<std::string> Prefixed(const std::vector<std::string>& keys) {
    std::vector<std::string> out;
    for (auto& k : keys) out.push_back("settings/" + k);
    return out;
}

}  // namespace

TEST(RecorderSettings, DefaultsMatchTheProfileTable) {
    RecorderSettings s;
    EXPECT_EQ(s.agent, "rec/1.5");
    EXPECT_EQ(s.overWrite, 1);
    EXPECT_EQ(s.allowMultipleInstances, 0);
    EXPECT_EQ(s.liveContentSaveTimeInfo, 1);
    EXPECT_EQ(s.urlHiJackingEnable, 1);
    EXPECT_EQ(s.timePolicy, 0);
    EXPECT_EQ(s.sizePolicy, 0);
    EXPECT_EQ(s.maxTime, 1800);
    EXPECT_EQ(s.maxSize, 10);
    EXPECT_EQ(s.repeat, 1);
    EXPECT_EQ(s.sequence, 0);
    EXPECT_EQ(s.keepSize, 0);
    EXPECT_EQ(s.keep, 0);
    EXPECT_EQ(s.PlayerSizeMode, 1);
    EXPECT_EQ(s.onTop, 1);
    EXPECT_EQ(s.screenSave, 1);
    EXPECT_EQ(s.enableCaption, 1);
    EXPECT_EQ(s.spliteCaptionWnd, 0);
    EXPECT_EQ(s.captionColor, 0xFFFFFF);
    EXPECT_EQ(s.captionSize, 12);
    EXPECT_EQ(s.captionStyleName, "\xEB\xB3\xB4\xED\x86\xB5");  // Regular, in Korean
    EXPECT_EQ(s.captionFaceName, "\xEA\xB5\xB4\xEB\xA6\xBC");   // Gulim
    EXPECT_EQ(s.captionBold, 1);
    EXPECT_EQ(s.captionMargin, 50);
    EXPECT_EQ(s.useAuth, 0);
    EXPECT_TRUE(s.authUsername.empty());
    EXPECT_TRUE(s.authPassword.empty());
    EXPECT_EQ(s.useProxy, 0);
    EXPECT_TRUE(s.proxyServer.empty());
    EXPECT_EQ(s.proxyPort, 0);
    EXPECT_EQ(s.bypassProxy, 0);
    EXPECT_EQ(s.idleTimeout, 30);
#if !defined(_WIN32)
    EXPECT_NE(s.baseDir.find("/Videos/Larkspan Recorder"), std::string::npos) << s.baseDir;
    EXPECT_EQ(s.baseDir.find('\\'), std::string::npos);
#endif
}

TEST(RecorderSettings, LoadAndSaveUseTheirKeyOrders) {
    TempDir dir;
    MemoryProfile profile;
    profile.WriteString("settings", "base dir", dir / "out");
    profile.ClearLog();

    RecorderSettings s;
    s.Load(profile);
    EXPECT_EQ(profile.Reads(), Prefixed(LoadOrder()));

    profile.ClearLog();
    s.Save(profile);
    EXPECT_EQ(profile.Writes(), Prefixed(kSaveOrder));
    EXPECT_FALSE(profile.Has("settings", "Url HiJacking Enable"));
    EXPECT_FALSE(profile.Has("settings", "PlayerSizeMode"));
}

TEST(RecorderSettings, EmptyProfileKeepsDefaultsAndCreatesBaseDir) {
    TempDir dir;
    RecorderSettings s;
    s.baseDir = dir / "a/b/c";
    MemoryProfile profile;
    s.Load(profile);
    EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
    EXPECT_EQ(s.maxTime, 1800);
    EXPECT_EQ(s.liveContentSaveTimeInfo, 1);
}

TEST(RecorderSettings, ProfileValuesWinAndHiJackingSurvivesSave) {
    TempDir dir;
    MemoryProfile profile;
    profile.WriteString("settings", "base dir", dir / "rec");
    profile.WriteInt("settings", "Url HiJacking Enable", 0);
    profile.WriteInt("settings", "Max Time", 90);
    profile.WriteInt("settings", "time policy", 1);
    profile.WriteInt("settings", "ScreenSave", 0);  // without the blank: another key
    profile.WriteString("settings", "Auth Username", "joe");

    RecorderSettings s;
    s.Load(profile);
    EXPECT_EQ(s.urlHiJackingEnable, 0);
    EXPECT_EQ(s.maxTime, 90);
    EXPECT_EQ(s.timePolicy, 1);
    EXPECT_EQ(s.screenSave, 1);
    EXPECT_EQ(s.authUsername, "joe");
    EXPECT_EQ(s.baseDir, dir / "rec");

    s.urlHiJackingEnable = 1;
    s.Save(profile);
    MemoryProfile::Value v = profile.Values().at({"settings", "Url HiJacking Enable"});
    EXPECT_EQ(v.intValue, 0);

    RecorderSettings again;
    again.Load(profile);
    EXPECT_EQ(again.maxTime, 90);
    EXPECT_EQ(again.authUsername, "joe");
}

TEST(CreateDirectoryPath, LastComponentWithDotIsAFileName) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectoryPath(dir / "temp/rec/file.asf"));
    EXPECT_TRUE(fs::is_directory(dir / "temp/rec"));
    EXPECT_FALSE(fs::exists(dir / "temp/rec/file.asf"));

    EXPECT_TRUE(CreateDirectoryPath(dir / "t2/rec.d"));
    EXPECT_TRUE(fs::is_directory(dir / "t2"));
    EXPECT_FALSE(fs::exists(dir / "t2/rec.d"));

    // A dot in an inner folder does not matter.
    EXPECT_TRUE(CreateDirectoryPath(dir / "x.y/z"));
    EXPECT_TRUE(fs::is_directory(dir / "x.y/z"));
}

TEST(CreateDirectoryPath, StopsAtTheFirstFolderItCannotCreate) {
    TempDir dir;
    {
        std::FILE* f = std::fopen((dir / "blocker").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    // "blocker" exists as a file, so "blocker/sub" cannot be made.
    EXPECT_FALSE(CreateDirectoryPath(dir / "ok/blocker/../../blocker/sub/deeper"));
    EXPECT_TRUE(fs::is_directory(dir / "ok/blocker"));  // made before the failure
    EXPECT_FALSE(fs::exists(dir / "blocker/sub"));
}

TEST(CreateDirectoryPath, ExistingPathAndTrailingSeparator) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectoryPath(dir.path().string()));
    EXPECT_TRUE(CreateDirectoryPath(dir / "n/"));
    EXPECT_TRUE(fs::is_directory(dir / "n"));
}
