#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"
#include "ui/associations/XdgAssociations.h"

namespace larkspan {
namespace {

using testsupport::ReadFileText;
using testsupport::WriteFileText;

const std::string kOthersList = "# kept as it is\n[Default Applications]\napplication/vnd.ms-asf=other.desktop;\n"
                                "text/plain=editor.desktop;\n\n[Added Associations]\naudio/x-ms-asx=other.desktop;\n";

// A temporary XDG home that child processes (xdg-mime, gio) see as well.
class XdgAssociationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folders_ = {home_.File("data"), home_.File("config")};
        ::setenv("HOME", home_.Path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", folders_.dataHome.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", folders_.configHome.c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("XDG_CONFIG_DIRS");
        std::filesystem::create_directories(folders_.dataHome + "/applications");
        std::filesystem::create_directories(folders_.configHome);
    }
    // A program that writes its arguments, one a line, to <home>/argv.
    std::string MakeProgram(const std::string& folder) {
        std::filesystem::create_directories(folder);
        const std::string path = folder + "/larkspan";
        WriteFileText(path, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" + home_.File("argv") + "'\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }
    // The first line a command prints.
    static std::string Run(const std::string& command) {
        std::string output;
        FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
        char buffer[512];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        ::pclose(pipe);
        return output.substr(0, output.find('\n') + 1);
    }
    testsupport::TempFolder home_{"assoc"};
    XdgFolders folders_;
};

// Exec arguments read back by the Desktop Entry rules: the key file's escapes,
// then blanks and double quotes, then %% for %. Empty for a value the rules
// forbid.
std::vector<std::string> ExecArguments(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char c = value[++i];
        text += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    std::vector<std::string> arguments;
    std::string current;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (quoted && c == '\\' && i + 1 < text.size()) {
            current += text[++i];
        } else if (quoted && (c == '$' || c == '`')) {
            return {};  // must be escaped inside quotes
        } else if (!quoted && c == ' ') {
            if (any) arguments.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
            if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
        }
    }
    if (any) arguments.push_back(current);
    return arguments;
}

TEST_F(XdgAssociationsTest, ProgramPathWithReservedCharactersSurvivesTheExecKey) {
    const struct {
        std::string folder;
        std::vector<std::string> before;  // what Exec runs the program through
    } cases[] = {
        {"my dir/$HOME `x` \"q\" back\\slash", {}},
        {"100% $HOME `x` sure=yes", {"/bin/sh", "-c", "exec \"$0\" \"$@\""}},
    };
    for (const auto& c : cases) {
        const std::string program = MakeProgram(home_.File(c.folder));
        XdgAssociations associations(program, folders_);
        ASSERT_TRUE(associations.Associate(AssociationGroup::Video)) << associations.LastError();

        std::vector<std::vector<std::string>> execs;
        const std::string entry = ReadFileText(associations.DesktopEntryPath());
        for (size_t at = entry.find("\nExec="); at != std::string::npos; at = entry.find("\nExec=", at + 1)) {
            execs.push_back(ExecArguments(entry.substr(at + 6, entry.find('\n', at + 1) - at - 6)));
        }
        std::vector<std::vector<std::string>> expected;
        for (const char* verb : {"/Open", "/Open", "/Play", "/Record"}) {
            expected.push_back(c.before);
            for (const char* argument : {program.c_str(), verb, "%u"}) expected.back().push_back(argument);
        }
        EXPECT_EQ(execs, expected) << c.folder;

        // A real launcher: GLib's reading of the entry starts the program with its path intact.
        std::filesystem::remove(home_.File("argv"));
        Run("gio launch '" + associations.DesktopEntryPath() + "' /media/clip.wmv");
        for (int i = 0; i < 200 && ReadFileText(home_.File("argv")).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(ReadFileText(home_.File("argv")), program + "\n/Open\n/media/clip.wmv\n") << c.folder;
    }
}

TEST_F(XdgAssociationsTest, AsfGroupGoesToUsAndBackToThePreviousDefault) {
    WriteFileText(folders_.dataHome + "/applications/other.desktop",
                  "[Desktop Entry]\nType=Application\nName=Other\nExec=true %u\nMimeType=application/vnd.ms-asf;\n");
    WriteFileText(folders_.configHome + "/mimeapps.list", kOthersList);
    XdgAssociations associations(MakeProgram(home_.File("bin")), folders_);

    ASSERT_TRUE(associations.Associate(AssociationGroup::Asf)) << associations.LastError();
    EXPECT_EQ(Run("xdg-mime query default application/vnd.ms-asf"), "larkspan-recorder.desktop\n");
    EXPECT_EQ(Run("xdg-mime query default x-scheme-handler/mmsu"), "larkspan-recorder.desktop\n");
    EXPECT_EQ(Run("gio mime application/vnd.ms-asf"),
              "Default application for \xE2\x80\x9C" "application/vnd.ms-asf\xE2\x80\x9D: larkspan-recorder.desktop\n");
    EXPECT_EQ(ReadFileText(folders_.configHome + "/mimeapps.list"),
              "# kept as it is\n[Default Applications]\n"
              "application/vnd.ms-asf=larkspan-recorder.desktop;other.desktop;\n"
              "text/plain=editor.desktop;\naudio/x-ms-asx=larkspan-recorder.desktop;\n"
              "x-scheme-handler/mms=larkspan-recorder.desktop;\nx-scheme-handler/mmst=larkspan-recorder.desktop;\n"
              "x-scheme-handler/mmsu=larkspan-recorder.desktop;\n\n"
              "[Added Associations]\naudio/x-ms-asx=other.desktop;\n");

    ASSERT_TRUE(associations.Withdraw(AssociationGroup::Asf)) << associations.LastError();
    EXPECT_EQ(ReadFileText(folders_.configHome + "/mimeapps.list"), kOthersList);
    EXPECT_EQ(Run("xdg-mime query default application/vnd.ms-asf"), "other.desktop\n");
    EXPECT_EQ(Run("gio mime application/vnd.ms-asf"),
              "Default application for \xE2\x80\x9C" "application/vnd.ms-asf\xE2\x80\x9D: other.desktop\n");
}

TEST_F(XdgAssociationsTest, SharedPlaylistTypeCouplesTheGroups) {
    using G = AssociationGroup;
    using S = AssociationState;
    struct Case {
        std::vector<G> associate, withdraw;
        S asf, audio, video;
    };
    const Case cases[] = {
        {{}, {}, S::Unchecked, S::Unchecked, S::Unchecked},
        {{G::Asf}, {}, S::Checked, S::Indeterminate, S::Indeterminate},
        {{G::Audio}, {}, S::Indeterminate, S::Checked, S::Indeterminate},
        {{G::Asf, G::Audio}, {G::Audio}, S::Checked, S::Indeterminate, S::Indeterminate},
        {{G::Asf, G::Audio}, {G::Asf}, S::Indeterminate, S::Checked, S::Indeterminate},
        {{G::Asf, G::Audio}, {G::Asf, G::Audio}, S::Unchecked, S::Unchecked, S::Unchecked},
        {{G::Video}, {G::Video}, S::Unchecked, S::Unchecked, S::Unchecked},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::filesystem::remove(folders_.configHome + "/mimeapps.list");
        XdgAssociations associations("/usr/bin/larkspan", folders_);
        for (G g : cases[i].associate) ASSERT_TRUE(associations.Associate(g)) << associations.LastError();
        for (G g : cases[i].withdraw) ASSERT_TRUE(associations.Withdraw(g)) << associations.LastError();
        EXPECT_EQ(associations.StateOf(G::Asf), cases[i].asf) << "case " << i;
        EXPECT_EQ(associations.StateOf(G::Audio), cases[i].audio) << "case " << i;
        EXPECT_EQ(associations.StateOf(G::Video), cases[i].video) << "case " << i;
    }
    EXPECT_EQ(ReadFileText(folders_.configHome + "/mimeapps.list"), "[Default Applications]\n");
    XdgAssociations associations("/usr/bin/larkspan", folders_);
    EXPECT_EQ(associations.GroupsSharingTypesWith(G::Audio), (std::vector<G>{G::Asf, G::Video}));
}

TEST_F(XdgAssociationsTest, UnwritableFolderFailsNamingTheFileAndCause) {
    WriteFileText(home_.File("file"), "");
    const struct {
        XdgFolders folders;
        std::string error;
    } cases[] = {
        {{home_.File("file"), folders_.configHome},
         "cannot create " + home_.File("file") + "/applications: Not a directory"},
        {{folders_.dataHome, home_.File("file")},
         "cannot read " + home_.File("file") + "/mimeapps.list: Not a directory"},
    };
    for (const auto& c : cases) {
        XdgAssociations associations("/usr/bin/larkspan", c.folders);
        EXPECT_FALSE(associations.Associate(AssociationGroup::Asf));
        EXPECT_EQ(associations.LastError(), c.error);
    }
}

}  // namespace
}  // namespace larkspan
