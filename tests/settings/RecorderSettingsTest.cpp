// The settings record and a profile: the keys saved, every setting read back.
#include <climits>

#include "recorder/IniSettingsProfile.h"
#include "tests/settings/ProfileFixture.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

TEST(RecorderSettings, SaveWritesEveryKeyOnceAndLoadReadsItBack) {
    const std::string home = std::getenv("HOME");
    ::setenv("HOME", "/home/u/", 1);
    MemoryProfile saved;
    RecorderSettings().Save(saved);
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(saved.Values().at({"settings", "base dir"}).text, "/home/u/Videos/Larkspan Recorder");
    std::vector<std::string> keys;
    for (const std::string& key : saved.Writes()) keys.push_back(key.substr(9));
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "base dir", "agent", "OverWrite", "Allow Multiple Instances", "Live Content Save Time Info",
                        "size policy", "Max Size", "time policy", "Max Time", "Repeat", "Sequence", "Keep Size",
                        "Keep", "OnTop", "ScreenSave ", "Enable Caption", "Splite Caption Wnd", "Caption Corlor",
                        "Caption Size", "Caption Style Name", "Caption Face Name", "Caption Bold", "Caption Margin",
                        "Use Auth", "Auth Username", "Auth Password", "Use Proxy", "Proxy SAerver", "Proxy Port",
                        "Bypass Proxy", "Idle Timeout"}));

    // Every setting comes back from its own key; "Url HiJacking Enable" is
    // read but never written. The folders of the recordings folder are made,
    // but not a last part holding a '.', which is taken for a file name.
    testsupport::TempFolder dir("settings");
    MemoryProfile profile = DistinctProfile(dir.File("a/b/rec.d"));
    profile.WriteInt("settings", "Url HiJacking Enable", 0);
    RecorderSettings loaded;
    loaded.Load(profile);
    EXPECT_EQ(loaded.urlHiJackingEnable, 0);
    EXPECT_EQ(Saved(loaded), Entries(DistinctProfile(dir.File("a/b/rec.d"))));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("a/b")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a/b/rec.d")));
}

// A value that is no number in an int's range leaves the setting as it was;
// texts are read with QSettings' escapes.
TEST(RecorderSettings, ValuesReadFromAnIniProfile) {
    testsupport::TempFolder dir("settings");
    const std::pair<std::string, int> rows[] = {
        {"90", 90}, {"-90", -90}, {" 12 ", 12}, {"\"7\"", 7}, {"0x10", 16}, {"abc", 1800}, {"12x", 1800}, {"", 1800},
        {"1e3", 1800}, {"2147483647", INT_MAX}, {"2147483648", 1800}, {"-2147483648", INT_MIN}, {"-2147483649", 1800},
    };
    for (const auto& [text, maxTime] : rows) {
        IniSettingsProfile ini("");
        ini.Parse("[settings]\nMax Time=" + text + "\nScreenSave%20=0\n");
        RecorderSettings s;
        s.baseDir = dir.Path();
        s.Load(ini);
        EXPECT_EQ(s.maxTime, maxTime) << text;
        EXPECT_EQ(s.screenSave, 0) << text;
    }
    IniSettingsProfile escaped("");  // "\x" takes at most four hex digits, an octal escape three
    escaped.Parse("[settings]\nAuth Username=\"\\x00e9a\\t\\1011\"\n");
    EXPECT_EQ(escaped.GetString("settings", "Auth Username", ""), "\xC3\xA9" "a\tA1");
}

}  // namespace
}  // namespace larkspan
