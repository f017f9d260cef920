#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/QtSettingsProfile.h"
#include "recorder/IniSettingsProfile.h"
#include "recorder/RecorderSettings.h"
#include "tests/settings/ProfileHome.h"

namespace fs = std::filesystem;
using namespace larkspan;

// The command line reads the profile the desktop program writes, without
// Qt. Whatever QSettings writes must read back the same.
class IniProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = ProfileHome();
        fs::remove_all(home_ / "Brellow");
    }
    void TearDown() override { fs::remove_all(home_ / "Brellow"); }
    fs::path home_;
};

TEST_F(IniProfileTest, ReadsWhatQSettingsWrites) {
    const std::vector<std::string> texts = {
        "",
        "plain",
        "/home/u/Videos/Lark spa,n \"x\"; y=z",
        "a\\b\tc#d",
        "a,b",
        " leading and trailing ",
        "\xEA\xB5\xB4\xEB\xA6\xBC",  // Korean
        "line\nbreak\r\n",
        "@String(looks typed)",
        "semi;colon",
        "equals=sign",
        "\x01\x1f control",
        "percent %20 sign",
    };
    {
        QtSettingsProfile qt;
        for (size_t i = 0; i < texts.size(); ++i) qt.WriteString("settings", "text " + std::to_string(i), texts[i]);
        qt.WriteInt("settings", "ScreenSave ", 0);
        qt.WriteInt("settings", "Max Time", -90);
        qt.WriteInt("settings", "Caption Corlor", 0xFFFFFF);
        qt.WriteInt("Settings", "xPos", 12);
        qt.WriteString("FileMRUList\\url", "File1", "http://a/b.asf");
        qt.WriteString("settings", "Proxy SAerver", "proxy.example:8080");
        qt.Sync();
    }
    ASSERT_EQ(IniSettingsProfile::DefaultPath(), (home_ / "Brellow" / "Larkspan Recorder.conf").string());
    IniSettingsProfile ini(IniSettingsProfile::DefaultPath());
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(ini.GetString("settings", "text " + std::to_string(i), "?"), texts[i]) << "text " << i;
    EXPECT_EQ(ini.GetInt("settings", "ScreenSave ", 1), 0);
    EXPECT_FALSE(ini.Has("settings", "ScreenSave"));
    EXPECT_EQ(ini.GetInt("settings", "Max Time", 1800), -90);
    EXPECT_EQ(ini.GetInt("settings", "Caption Corlor", 0), 0xFFFFFF);
    EXPECT_EQ(ini.GetInt("Settings", "xPos", 0), 12);
    EXPECT_EQ(ini.GetString("FileMRUList\\url", "File1", ""), "http://a/b.asf");
    EXPECT_EQ(ini.GetString("settings", "Proxy SAerver", ""), "proxy.example:8080");
    EXPECT_EQ(ini.GetInt("settings", "missing", 7), 7);
    EXPECT_EQ(ini.GetInt("settings", "text 1", 7), 7);  // not a number: the default
}

TEST_F(IniProfileTest, SettingsRecordRoundTrip) {
    RecorderSettings s;
    s.baseDir = (home_ / "rec dir").string();
    s.maxSize = 55;
    s.sizePolicy = 1;
    s.liveContentSaveTimeInfo = 0;
    s.authUsername = "user name";
    {
        QtSettingsProfile qt;
        s.Save(qt);
        qt.Sync();
    }
    IniSettingsProfile ini(IniSettingsProfile::DefaultPath());
    RecorderSettings loaded;
    loaded.Load(ini);
    EXPECT_EQ(loaded.baseDir, s.baseDir);
    EXPECT_EQ(loaded.maxSize, 55);
    EXPECT_EQ(loaded.sizePolicy, 1);
    EXPECT_EQ(loaded.liveContentSaveTimeInfo, 0);
    EXPECT_EQ(loaded.authUsername, "user name");
    EXPECT_EQ(loaded.captionFaceName, s.captionFaceName);
}

TEST_F(IniProfileTest, MissingOrDamagedFileGivesDefaults) {
    IniSettingsProfile none((home_ / "nothing.conf").string());
    EXPECT_EQ(none.GetInt("settings", "Max Time", 1800), 1800);

    IniSettingsProfile damaged("");
    damaged.Parse("[settings\nno equals sign\n=\n%zz=1\n[]\nkey=\"unterminated\n\xEF\xBB\xBF");
    EXPECT_EQ(damaged.GetInt("settings", "Max Time", 1800), 1800);
    EXPECT_EQ(damaged.GetString("", "key", "?"), "unterminated");
}
