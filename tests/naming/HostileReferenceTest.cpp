// No reference or requested name, however hostile, may lead a recording or
// a meta download out of the base folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "asf/OutputFile.h"
#include "recorder/OutputCreation.h"
#include "recorder/OutputNaming.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> HostileReferences() {
    std::vector<std::string> refs = {
        "mms://h/..",
        "mms://h/.",
        "mms://h/...",
        "mms://h/../..",
        "http://h/..?x=1",
        "http://h/.?",
        "http://h/..?",
        "mms://h/..\\..\\..\\etc\\passwd",
        "mms://h/a\\..\\..\\x.asf",
        "mms://h/..\\",
        "\\..\\..\\x.asf",
        "/etc/passwd",
        "/",
        "\\",
        "..",
        ".",
        "",
        "../../../../tmp/evil.asf",
        "mms://h/%2e%2e/%2e%2e/x.asf",
        "http://h/get?f=/../../x",
        "C:\\Windows\\system32\\x.asf",
        "mms://h/\r\n..",
        "mms://h/x\x1b[2J.asf",
        "mms://h/~",
        "mms://h/-rf",
        "mms://h/" + std::string(1000, 'a') + ".asf",
        "mms://h/" + std::string(300, '.'),
        "mms://h/" + std::string(300, '\xB8') + "\xC5.",
        std::string("mms://h/..\0/x", 13),
        std::string("mms://h/x\0..", 12),
        std::string("mms://h/.\0.", 11),
    };
    std::string wide = "mms://h/";
    for (int i = 0; i < 200; ++i) wide += "\xC3\xA9";
    refs.push_back(wide);
    return refs;
}

std::vector<std::string> HostileNames() {
    return {"",  "..", ".", "../x", "..\\x", "a/b", "/", "\\", "...", std::string("..\0x", 4),
            std::string(400, 'n'), "\r\n", ".?", "?"};
}

void ExpectInside(const std::string& path, const std::string& base, const std::string& what) {
    std::string prefix = base + PathSeparator();
    ASSERT_EQ(path.compare(0, prefix.size(), prefix), 0) << what << " -> " << path;
    std::string name = path.substr(prefix.size());
    EXPECT_FALSE(name.empty()) << what;
    EXPECT_NE(name, ".") << what;
    EXPECT_NE(name, "..") << what;
    EXPECT_EQ(name.find('/'), std::string::npos) << what;
    EXPECT_EQ(name.find('\\'), std::string::npos) << what;
    EXPECT_EQ(name.find('\0'), std::string::npos) << what;
    EXPECT_LE(name.size(), kMaxFileNameBytes) << what;
    for (char c : name) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << what;
    // And the file system agrees: the file's folder is the base folder.
    fs::path p(path);
    EXPECT_EQ(p.parent_path(), fs::path(base)) << what;
    EXPECT_EQ(p.filename().string(), name) << what;
}

TEST(HostileReferences, PathsStayInTheBaseFolder) {
    const std::string base = "/srv/rec/base";
    for (const std::string& ref : HostileReferences()) {
        ExpectInside(MetaDownloadPath(ref, base), base, "meta " + ref);
        for (const std::string& name : HostileNames())
            ExpectInside(StreamOutputPath(ref, name, base), base, "stream " + ref + " / " + name);
    }
}

// Every file that exists under root, relative to it.
std::vector<std::string> FilesUnder(const fs::path& root) {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory()) out.push_back(fs::relative(e.path(), root).string());
    return out;
}

TEST(HostileReferences, FilesAreCreatedOnlyInTheBaseFolder) {
    // base sits two folders deep in a sandbox, so that an escape by ".."
    // would land inside the sandbox where it can be seen.
    fs::path sandbox = fs::temp_directory_path() / ("lk_hostile_" + std::to_string(::getpid()));
    fs::remove_all(sandbox);
    fs::path base = sandbox / "a" / "base";
    fs::create_directories(base);

    RecorderSettings settings;
    settings.baseDir = base.string();
    settings.overWrite = 1;
    // Overwrite without asking the way a user saying Yes would; never offer
    // a Save As path, so a creation failure stays a failure.
    FixedQuestionAsker yes(OverwriteAnswer::Yes);
    int opened = 0;
    for (const std::string& ref : HostileReferences()) {
        for (const std::string& name : HostileNames()) {
            std::string outputPath;
            OutputFile file;
            OutputOutcome outcome = OpenStreamOutput(settings, ref, name, yes, outputPath, file);
            if (outcome == OutputOutcome::Opened) {
                ++opened;
                file.Close();
                ExpectInside(outputPath, base.string(), "stream " + ref);
            }
        }
        std::string outputPath;
        OutputFile file;
        if (OpenMetaDownload(settings, ref, yes, outputPath, file) == OutputOutcome::Opened) {
            ++opened;
            file.Close();
            ExpectInside(outputPath, base.string(), "meta " + ref);
        }
    }
    EXPECT_GT(opened, 0);
    for (const std::string& f : FilesUnder(sandbox)) {
        fs::path rel(f);
        EXPECT_EQ(rel.begin()->string(), "a") << f;
        EXPECT_EQ(rel.parent_path(), fs::path("a") / "base") << "file outside the base folder: " << f;
    }
    fs::remove_all(sandbox);
}

}  // namespace
}  // namespace larkspan
