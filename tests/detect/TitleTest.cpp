// Stream titles: the ASF header a server sends back after a request carries
// a Content Description Object whose title names the detected row. Whole
// sessions go through capture files, the server's bytes in TCP segments.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/detect/CaptureSessions.h"

namespace larkspan::detecttest {
namespace {

// Each stream in server segments of every size.
TEST(Title, WhatTheHeaderHolds) {
    Bytes plain = Ascii("HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n");
    Append(plain, AsfHeader(u"Not Framed"));  // an ASF file served as it is, not in chunks
    const struct {
        const char* name;
        bool mms;
        Bytes stream;       // what the server sends
        std::string title;  // "" when none is reported
    } cases[] = {
        {"three header packets", true, MmsHeaderStream(AsfHeader(u"Harbour Lights"), 3), "Harbour Lights"},
        {"MMSH", false, MmshResponse(AsfHeader(u"Harbour Lights")), "Harbour Lights"},
        {"one header packet", true, MmsHeaderStream(AsfHeader(u"Harbour Lights"), 1), "Harbour Lights"},
        {"title of 1023 units", true, MmsHeaderStream(AsfHeader(std::u16string(1023, 'T')), 2), std::string(1023, 'T')},
        {"title of 1024 units", true, MmsHeaderStream(AsfHeader(std::u16string(1024, 'T')), 2), std::string(1023, 'T')},
        {"description 40000 bytes in", true, MmsHeaderStream(AsfHeader(u"Harbour Lights", 40000), 4), "Harbour Lights"},
        {"description past what is kept", true, MmsHeaderStream(AsfHeader(u"Harbour Lights", 100000), 4), ""},
        {"no description", true, MmsHeaderStream(AsfHeader(u""), 2), ""},
        {"MMSH, no description", false, MmshResponse(AsfHeader(u"")), ""},
        {"plain web server", false, plain, ""},
    };
    for (const auto& c : cases) {
        for (size_t size : {1, 3, 7, 16, 64, 536, 1448, 65000}) {
            SCOPED_TRACE(testing::Message() << c.name << ", segments of " << size);
            Session s = c.mms ? MmsSession() : MmshSession();
            s.ServerSendsInSegments(c.stream, size);
            Detected d = DetectFrames(s.frames);
            const std::string url = c.mms ? kMmsUrl : kGetUrl;
            EXPECT_EQ(d.rows, Rows{url});
            EXPECT_EQ(d.names, c.title.empty() ? Names{} : (Names{{url, c.title}}));
            EXPECT_EQ(d.messages, Rows{});
        }
    }
}

TEST(Title, RetransmittedOverlappingAndLostSegments) {
    Session s = MmsSession();
    const Bytes stream = MmsHeaderStream(AsfHeader(u"Harbour Lights"), 2);
    for (size_t at = 0; at < stream.size(); at += 100) {
        const size_t end = std::min(at + 100, stream.size());
        s.ServerSends(stream, at, end);
        if (at % 300 == 100) s.ServerSends(stream, at, end);  // sent twice
        if (at % 400 == 200) s.ServerSends(stream, at + 50, std::min(end + 100, stream.size()));  // resent, and more
    }
    EXPECT_EQ(DetectFrames(s.frames).names, (Names{{kMmsUrl, "Harbour Lights"}}));

    // The segment holding the start of the title never arrives: no title, not a wrong one.
    Session lost = MmsSession();
    const Bytes padded = MmsHeaderStream(AsfHeader(u"Harbour Lights", 400), 1), title = Utf16(u"Ha");
    const auto missing = size_t(std::search(padded.begin(), padded.end(), title.begin(), title.end()) - padded.begin());
    for (size_t at = 0; at < padded.size(); at += 100) {
        if (missing / 100 != at / 100) lost.ServerSends(padded, at, std::min(at + 100, padded.size()));
    }
    Detected d = DetectFrames(lost.frames);
    EXPECT_EQ(d.rows, Rows{kMmsUrl});
    EXPECT_EQ(d.names, Names{});
}

// The capture starts in the middle of a connection: the reader waits for a segment that
// begins a message (a command or a header packet for MMS, the head or a $H chunk for MMSH).
TEST(Title, CaptureStartedMidStream) {
    const Bytes mms = MmsHeaderStream(AsfHeader(u"Harbour Lights"), 2);
    const Bytes mmsh = MmshResponse(AsfHeader(u"Evening Concert"));
    const size_t command = ServerCommand(0).size(), chunk = mmsh.size() - 12 - AsfHeader(u"Evening Concert").size();
    const struct {
        const char* name;
        bool isMms;
        size_t first;     // where the first server segment seen starts
        size_t resumeAt;  // where 200-byte segments go on from
    } cases[] = {
        {"MMS, inside a command, then at a command", true, 10, command},
        {"MMS, at a header packet", true, 3 * command, 3 * command},
        {"MMSH, inside the head, then at the $H chunk", false, 10, chunk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes& stream = c.isMms ? mms : mmsh;
        Session s(c.isMms ? Ipv4Address{192, 168, 1, 10} : Ipv4Address{10, 0, 0, 5}, c.isMms ? 1755 : 80);
        s.PlayerSends(c.isMms ? MmsOpenFile(u"media/clip.asf") : Ascii("GET /live/show.asf HTTP/1.0\r\n\r\n"));
        if (c.first < c.resumeAt) s.ServerSends(stream, c.first, c.resumeAt);
        s.ServerSendsInSegments(stream, 200, c.resumeAt);
        const std::string url = c.isMms ? kMmsUrl : kGetUrl;
        EXPECT_EQ(DetectFrames(s.frames).names, (Names{{url, c.isMms ? "Harbour Lights" : "Evening Concert"}}));
    }
}

// A describe then a play request on new connections name the row once; a
// later stream with another title for the same address names it again.
TEST(Title, OneTitlePerStreamOnConsecutiveConnections) {
    std::vector<Bytes> frames;
    for (uint16_t port : {49900, 49901, 49902}) {
        Session s = MmshSession(port);
        const Bytes header = AsfHeader(port < 49902 ? u"Evening Concert" : u"Late Show");
        s.ServerSendsInSegments(MmshResponse(header, port == 49901), 700);
        frames.insert(frames.end(), s.frames.begin(), s.frames.end());
    }
    Detected d = DetectFrames(frames);
    EXPECT_EQ(d.rows, Rows{kGetUrl});
    EXPECT_EQ(d.names, (Names{{kGetUrl, "Evening Concert"}, {kGetUrl, "Late Show"}}));
}

}  // namespace
}  // namespace larkspan::detecttest
