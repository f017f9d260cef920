#include <gtest/gtest.h>

#include "protocols/mms/MmsUrl.h"

namespace larkspan {
namespace {

TEST(MmsUrl, Splits) {
    struct Row {
        const char* url;
        bool ok;
        const char* scheme;
        const char* host;
        uint16_t port;
        const char* path;
        const char* query;
    } rows[] = {
        {"mms://media.example.com/clip.asf", true, "mms", "media.example.com", 1755, "/clip.asf", ""},
        {"mms://127.0.0.1:8554/clip.asf", true, "mms", "127.0.0.1", 8554, "/clip.asf", ""},
        {"MMST://Host:2000/a/b c.asf?x=1#frag", true, "mmst", "Host", 2000, "/a/b c.asf", "?x=1"},
        {"mmsu://host:99/live", true, "mmsu", "host", 99, "/live", ""},
        {"mms://user:pw@host:1234/x", true, "mms", "host", 1234, "/x", ""},
        {"mms://host/", true, "mms", "host", 1755, "/", ""},
        {"mms://host", true, "mms", "host", 1755, "", ""},
        {"mms://host?only=query", true, "mms", "host", 1755, "", "?only=query"},
        {"mms://host:/x", true, "mms", "host", 1755, "/x", ""},        // empty port
        {"mms://host:70000/x", true, "mms", "host", 1755, "/x", ""},   // out of range
        {"mms://host:12ab/x", true, "mms", "host", 1755, "/x", ""},    // not a number
        {"mms://[::1]:4000/x", true, "mms", "::1", 4000, "/x", ""},
        // The MMS client is also tried for http: references; their port is HTTP's.
        {"http://host:8080/clip.asf", true, "http", "host", 1755, "/clip.asf", ""},
        {"host/clip.asf", false, "", "", 1755, "", ""},
        {"mms:///clip.asf", false, "mms", "", 1755, "", ""},
    };
    for (const auto& r : rows) {
        MmsUrl u;
        ASSERT_EQ(SplitMmsUrl(r.url, u), r.ok) << r.url;
        if (!r.ok) continue;
        EXPECT_EQ(u.scheme, r.scheme) << r.url;
        EXPECT_EQ(u.host, r.host) << r.url;
        EXPECT_EQ(u.port, r.port) << r.url;
        EXPECT_EQ(u.path, r.path) << r.url;
        EXPECT_EQ(u.query, r.query) << r.url;
    }
}

}  // namespace
}  // namespace larkspan
