#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/QtSettingsProfile.h"
#include "recorder/RecorderSettings.h"
#include "tests/settings/ProfileHome.h"

namespace fs = std::filesystem;
using namespace larkspan;

// The real profile lands in $XDG_CONFIG_HOME/Brellow/Larkspan Recorder.conf
// on Linux; ProfileHome() points it at a private folder so the test never
// touches the user's own settings.
TEST(QtSettingsProfile, RoundTripsTheSettingsRecordInTheUserProfile) {
    fs::path home = ProfileHome();
    fs::remove_all(home / "Brellow");

    RecorderSettings s;
    s.baseDir = (home / "rec").string();
    s.maxTime = 90;
    s.timePolicy = 1;
    s.screenSave = 0;
    s.captionFaceName = "\xEA\xB5\xB4\xEB\xA6\xBC";
    {
        QtSettingsProfile profile;
        s.Save(profile);
        profile.Sync();
    }
    fs::path conf = home / "Brellow" / "Larkspan Recorder.conf";
    ASSERT_TRUE(fs::exists(conf));
    std::stringstream text;
    text << std::ifstream(conf).rdbuf();
    EXPECT_NE(text.str().find("[settings]"), std::string::npos) << text.str();

    RecorderSettings loaded;
    loaded.baseDir = "/nonexistent-should-be-replaced";
    QtSettingsProfile profile;
    loaded.Load(profile);
    EXPECT_EQ(loaded.baseDir, s.baseDir);
    EXPECT_EQ(loaded.maxTime, 90);
    EXPECT_EQ(loaded.timePolicy, 1);
    EXPECT_EQ(loaded.screenSave, 0);
    EXPECT_EQ(loaded.captionFaceName, s.captionFaceName);
    EXPECT_EQ(loaded.urlHiJackingEnable, 1);
    EXPECT_TRUE(fs::is_directory(home / "rec"));
    fs::remove_all(home / "Brellow");
}
