#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ui/associations/MimeAppsList.h"

namespace larkspan {
namespace {

const char* const kDefaults = "Default Applications";

// One edit on a file's text: set the key when value is given, else remove it.
struct EditCase {
    const char* name;
    std::string before;
    std::string key;
    std::optional<std::string> value;
    std::string after;
    std::optional<std::string> valueBefore;  // what a lookup of the key gives before the edit
};

TEST(MimeAppsListTest, EditsOnlyTheLinesOfTheKey) {
    const std::string mixed = "# chosen by hand\n[Added Associations]\naudio/x-ms-asx=vlc.desktop;\n\n"
                              "[Default Applications]\n# text\ntext/plain=gedit.desktop;\n\n[X-Other]\nk=v\n";
    const EditCase cases[] = {
        {"comments, blank lines and other sections stay", mixed, "audio/x-ms-asx", "ours;",
         "# chosen by hand\n[Added Associations]\naudio/x-ms-asx=vlc.desktop;\n\n[Default Applications]\n# text\n"
         "text/plain=gedit.desktop;\naudio/x-ms-asx=ours;\n\n[X-Other]\nk=v\n",
         std::nullopt},
        {"the last of repeated keys counts, one line stays", "[Default Applications]\na=x;\nb=y;\na= z;\n", "a",
         "ours;", "[Default Applications]\nb=y;\na=ours;\n", " z;"},
        {"a section given twice is one", "[Default Applications]\na=x;\n[B]\n[Default Applications]\nc=y;\n", "c",
         std::nullopt, "[Default Applications]\na=x;\n[B]\n[Default Applications]\n", "y;"},
        {"text before = stays", "[Default Applications]\na = x;\n", "a", "ours;",
         "[Default Applications]\na =ours;\n", " x;"},
        {"missing final line end: added line takes it over", "[Default Applications]\na=x;", "b", "ours;",
         "[Default Applications]\na=x;\nb=ours;", std::nullopt},
        {"missing final line end: removed line gives it back", "[Default Applications]\na=x;\nb=y;", "b",
         std::nullopt, "[Default Applications]\na=x;", "y;"},
        {"removed last line with its own line end leaves the one before as it was",
         "[Default Applications]\r\na=x;\nb=y;\r\n", "b", std::nullopt, "[Default Applications]\r\na=x;\n", "y;"},
        {"CRLF lines stay CRLF", "[Default Applications]\r\na=x;\r\n", "b", "ours;",
         "[Default Applications]\r\na=x;\r\nb=ours;\r\n", std::nullopt},
        {"missing section added at the end", "[Added Associations]\na=x;\n", "a", "ours;",
         "[Added Associations]\na=x;\n\n[Default Applications]\na=ours;\n", std::nullopt},
        {"empty file", "", "a", "ours;", "[Default Applications]\na=ours;\n", std::nullopt},
        {"commented key is no key", "[Default Applications]\n#a=x;\n", "a", "ours;",
         "[Default Applications]\na=ours;\n#a=x;\n", std::nullopt},
    };
    for (const EditCase& c : cases) {
        MimeAppsList list;
        list.Parse(c.before);
        EXPECT_EQ(list.RawValue(kDefaults, c.key), c.valueBefore) << c.name;
        if (c.value) {
            list.SetRawValue(kDefaults, c.key, *c.value);
        } else {
            list.RemoveKey(kDefaults, c.key);
        }
        EXPECT_EQ(list.Text(), c.after) << c.name;
    }
}

}  // namespace
}  // namespace larkspan
