#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace larkspan;

namespace {

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

TEST(RecorderSettings, DefaultBaseDirIsInTheHomeVideosFolder) {
    RecorderSettings s;
#if !defined(_WIN32)
    EXPECT_NE(s.baseDir.find("/Videos/Larkspan Recorder"), std::string::npos) << s.baseDir;
    EXPECT_EQ(s.baseDir.find('\\'), std::string::npos);
#endif
}

TEST(RecorderSettings, LoadAndSaveUseTheirKeyOrders) {
    testsupport::TempFolder dir("settings");
    MemoryProfile profile;
    profile.WriteString("settings", "base dir", dir.File("out"));
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
    testsupport::TempFolder dir("settings");
    RecorderSettings s;
    s.baseDir = dir.File("a/b/c");
    MemoryProfile profile;
    s.Load(profile);
    EXPECT_TRUE(fs::is_directory(dir.File("a/b/c")));
    EXPECT_EQ(s.maxTime, 1800);
    EXPECT_EQ(s.liveContentSaveTimeInfo, 1);
}

TEST(RecorderSettings, ProfileValuesWinAndHiJackingSurvivesSave) {
    testsupport::TempFolder dir("settings");
    MemoryProfile profile;
    profile.WriteString("settings", "base dir", dir.File("rec"));
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
    EXPECT_EQ(s.baseDir, dir.File("rec"));

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
    testsupport::TempFolder dir("settings");
    EXPECT_TRUE(CreateDirectoryPath(dir.File("temp/rec/file.asf")));
    EXPECT_TRUE(fs::is_directory(dir.File("temp/rec")));
    EXPECT_FALSE(fs::exists(dir.File("temp/rec/file.asf")));

    EXPECT_TRUE(CreateDirectoryPath(dir.File("t2/rec.d")));
    EXPECT_TRUE(fs::is_directory(dir.File("t2")));
    EXPECT_FALSE(fs::exists(dir.File("t2/rec.d")));

    // A dot in an inner folder does not matter.
    EXPECT_TRUE(CreateDirectoryPath(dir.File("x.y/z")));
    EXPECT_TRUE(fs::is_directory(dir.File("x.y/z")));
}

TEST(CreateDirectoryPath, StopsAtTheFirstFolderItCannotCreate) {
    testsupport::TempFolder dir("settings");
    {
        std::FILE* f = std::fopen((dir.File("blocker")).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    // "blocker" exists as a file, so "blocker/sub" cannot be made.
    EXPECT_FALSE(CreateDirectoryPath(dir.File("ok/blocker/../../blocker/sub/deeper")));
    EXPECT_TRUE(fs::is_directory(dir.File("ok/blocker")));  // made before the failure
    EXPECT_FALSE(fs::exists(dir.File("blocker/sub")));
}

TEST(CreateDirectoryPath, ExistingPathAndTrailingSeparator) {
    testsupport::TempFolder dir("settings");
    EXPECT_TRUE(CreateDirectoryPath(dir.Dir().string()));
    EXPECT_TRUE(CreateDirectoryPath(dir.File("n/")));
    EXPECT_TRUE(fs::is_directory(dir.File("n")));
}
