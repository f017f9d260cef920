// The profile the desktop program writes through QSettings, read back by a
// fresh QSettings profile and by the command line's own INI reader.
#include "app/QtSettingsProfile.h"
#include "recorder/IniSettingsProfile.h"
#include "tests/settings/ProfileFixture.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

TEST(QtProfile, WhatQSettingsWritesIsReadBackByFreshProfiles) {
    // A private configuration folder: QSettings reads it once, at its first use.
    testsupport::TempFolder home("profile");
    ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    const MemoryProfile distinct = DistinctProfile(home.File("rec dir"));
    MemoryProfile source = distinct;
    RecorderSettings saved;
    saved.Load(source);
    const std::vector<std::string> texts = {
        "", "/home/u/Lark spa,n \"x\"; y=z", "a\\b\tc#d", " leading and trailing ", "\xEA\xB5\xB4\xEB\xA6\xBC",
        "line\nbreak\r\n", "@String(looks typed)", "@@twice", "semi;colon", "\x01\x1f control", "%20", "\x01" "cafe",
    };
    {
        QtSettingsProfile qt;
        saved.Save(qt);
        for (size_t i = 0; i < texts.size(); ++i) qt.WriteString("settings", "text " + std::to_string(i), texts[i]);
        qt.WriteString("FileMRUList\\url", "File1", "http://a/b.asf");
        qt.WriteString("settings", "\xEA\xB5\xB4 key", "non-Latin-1 key");
        qt.Sync();
    }
    ASSERT_EQ(IniSettingsProfile::DefaultPath(), home.File("Brellow/Larkspan Recorder.conf"));
    IniSettingsProfile ini(IniSettingsProfile::DefaultPath());
    QtSettingsProfile qt;
    for (SettingsProfile* fresh : std::initializer_list<SettingsProfile*>{&ini, &qt}) {
        RecorderSettings loaded;
        loaded.Load(*fresh);
        EXPECT_EQ(Saved(loaded), Entries(distinct));
        for (size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(fresh->GetString("settings", "text " + std::to_string(i), "?"), texts[i]) << i;
        EXPECT_EQ(fresh->GetString("FileMRUList\\url", "File1", ""), "http://a/b.asf");
        EXPECT_EQ(fresh->GetString("settings", "\xEA\xB5\xB4 key", ""), "non-Latin-1 key");
        // A missing key, or a value that is no number, gives the default.
        EXPECT_EQ(fresh->GetInt("settings", "missing", 7), 7);
        EXPECT_EQ(fresh->GetInt("settings", "text 1", 7), 7);
        EXPECT_EQ(fresh->GetString("settings", "missing", "?"), "?");
        // Deleting a section takes its keys and leaves every other section.
        fresh->DeleteSection("FileMRUList\\url");
        EXPECT_EQ(fresh->GetString("FileMRUList\\url", "File1", "gone"), "gone");
        EXPECT_EQ(fresh->GetString("settings", "text 1", "?"), texts[1]);
    }
    qt.Sync();
    EXPECT_EQ(QtSettingsProfile().GetString("FileMRUList\\url", "File1", "gone"), "gone");
}

}  // namespace
}  // namespace larkspan
