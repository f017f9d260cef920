// Every command the client sends, compared whole against bytes written out
// here by hand from the MMS message layouts.
#include <gtest/gtest.h>

#include "protocols/mms/MmsCommands.h"
#include "tests/mms/WireBytes.h"

namespace larkspan {
namespace {

using namespace mmstest;

const char* const kPlayer = "NSPlayer/4.1.0.3925; {3300AD50-2C39-46C0-AE0A-2D27C2D35A1D}";

// A builder whose counter has reached seq.
MmsCommandBuilder At(uint32_t seq) {
    MmsCommandBuilder b;
    for (uint32_t i = 0; i < seq; ++i) b.FunnelInfo();
    return b;
}

TEST(MmsCommands, ConnectIs176BytesWithThePlayerStringEndingAt170) {
    const Bytes want = Cat({Hex("01 00 00 00  CE FA 0B B0  A0 00 00 00  4D 4D 53 20"
                                "14 00 00 00  00 00 00 00  7B 14 AE 47 E1 7A 84 3F"
                                "12 00 00 00  01 00 03 00"
                                "F0 F0 F0 F0  0B 00 04 00  1C 00 03 00"),
                            Ascii16(kPlayer), Zeros(6)});
    ASSERT_EQ(want.size(), 176u);
    MmsCommandBuilder b;
    const Bytes got = b.Connect();
    EXPECT_EQ(got, want) << FirstDifference(got, want);
    EXPECT_EQ(b.Counter(), 1u);
    // The string's last unit ("}") sits at 168..169; 170 on is zero.
    EXPECT_EQ(got[168], '}');
    for (size_t i = 170; i < 176; ++i) EXPECT_EQ(got[i], 0) << i;
}

TEST(MmsCommands, FunnelInfo) {
    const Bytes want = Hex("01 00 00 00  CE FA 0B B0  20 00 00 00  4D 4D 53 20"
                           "04 00 00 00  01 00 00 00  EC 51 B8 1E E1 7A 84 3F"
                           "02 00 00 00  18 00 03 00"
                           "EF F0 F0 F0  0B 00 04 00");
    MmsCommandBuilder b = At(1);
    EXPECT_EQ(b.FunnelInfo(), want);
}

// The transport string is sent as is, the blank as a zero unit; an odd
// number of units goes unpadded and the chunk counts round down.
TEST(MmsCommands, ConnectFunnelCarriesTheTransportString) {
    const struct {
        uint32_t address;
        uint16_t port;
        const char* path;
        const char* head;  // TCP header and prefix, by the message's length
        size_t size;
    } cases[] = {
        {0xC0A80005, 1234, "\\\\192.168.0.5\\TCP\\1234",
         "01 00 00 00  CE FA 0B B0  60 00 00 00  4D 4D 53 20  0C 00 00 00  02 00 00 00  EC 51 B8 1E 85 EB C1 3F"
         "0A 00 00 00  02 00 03 00",
         112},
        {0x7F000001, 12345, "\\\\127.0.0.1\\TCP\\12345",
         "01 00 00 00  CE FA 0B B0  5E 00 00 00  4D 4D 53 20  0B 00 00 00  02 00 00 00  EC 51 B8 1E 85 EB C1 3F"
         "09 00 00 00  02 00 03 00",
         110},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Bytes transport = Cat({Ascii16(c.path), Zeros(2), Ascii16("00f")});
        EXPECT_EQ(MakeTransportString(c.address, c.port), transport);
        const Bytes want = Cat({Hex(c.head), Hex("EF F0 F0 F0  FF FF FF FF  00 00 00 00  00 00 0A 00  02 00 00 00"),
                                transport});
        ASSERT_EQ(want.size(), c.size);
        MmsCommandBuilder b = At(2);
        const Bytes got = b.ConnectFunnel(MakeTransportString(c.address, c.port));
        EXPECT_EQ(got, want) << FirstDifference(got, want);
    }
}

TEST(MmsCommands, TransportStringLengths) {
    struct Row {
        uint32_t address;
        uint16_t port;
        const char* text;  // as sent, '|' for the zero unit
    } rows[] = {
        {0x0A000001, 1, "\\\\10.0.0.1\\TCP\\1|00f"},
        {0xFFFFFFFF, 65535, "\\\\255.255.255.255\\TCP\\65535|00f"},
        {0x00000000, 0, "\\\\0.0.0.0\\TCP\\0|00f"},
    };
    for (const auto& r : rows) {
        std::string s = r.text;
        for (char& c : s)
            if (c == '|') c = '\0';
        EXPECT_EQ(MakeTransportString(r.address, r.port), Ascii16(s)) << r.text;
    }
}

TEST(MmsCommands, OpenFileKeepsBlanksAndTerminatesOnlyTheLastOne) {
    // Path "/my dir/clip one.asf": leading '/' dropped, " 18." appended, and
    // only the blank before "18." becomes the zero unit.
    const Bytes name = Cat({Ascii16("my dir/clip one.asf"), Zeros(2), Ascii16("18.")});
    ASSERT_EQ(name.size(), 46u);
    const Bytes want = Cat({Hex("01 00 00 00  CE FA 0B B0  56 00 00 00  4D 4D 53 20"
                                "0A 00 00 00  03 00 00 00  EC 51 B8 1E 85 EB C1 3F"
                                "08 00 00 00  05 00 03 00"
                                "01 00 00 00  FF FF FF FF  00 00 00 00  00 00 00 00"),
                            name});
    ASSERT_EQ(want.size(), 102u);
    EXPECT_EQ(MakeOpenFileName("/my dir/clip one.asf"), name);
    MmsCommandBuilder b = At(3);
    const Bytes got = b.OpenFile(MakeOpenFileName("/my dir/clip one.asf"));
    EXPECT_EQ(got, want) << FirstDifference(got, want);
}

TEST(MmsCommands, OpenFileNames) {
    struct Row {
        const char* pathAndQuery;
        const char* sent;  // '|' for the zero unit
    } rows[] = {
        {"/clip.asf", "clip.asf|18."},
        {"/live?id=5&x=a b", "live?id=5&x=a b|18."},
        {"/a%20b/c.asf", "a%20b/c.asf|18."},
        {"/", "|18."},
        {"", "|18."},
        {"/trailing ", "trailing |18."},
    };
    for (const auto& r : rows) {
        std::string s = r.sent;
        for (char& c : s)
            if (c == '|') c = '\0';
        EXPECT_EQ(MakeOpenFileName(r.pathAndQuery), Ascii16(s)) << r.pathAndQuery;
    }
}

TEST(MmsCommands, OpenFileNameConvertsUtf8AndLimitsTheLength) {
    // U+00E9 and U+1F600 (a surrogate pair).
    EXPECT_EQ(MakeOpenFileName("/\xC3\xA9\xF0\x9F\x98\x80"), Cat({Hex("E9 00 3D D8 00 DE"), Zeros(2), Ascii16("18.")}));
    // Invalid UTF-8 becomes U+FFFD, one per bad byte.
    EXPECT_EQ(MakeOpenFileName("/\xFF" "a"), Cat({Hex("FD FF 61 00"), Zeros(2), Ascii16("18.")}));
    // A name too long for 1024 units keeps its suffix.
    const Bytes longName = MakeOpenFileName("/" + std::string(3000, 'x'));
    ASSERT_EQ(longName.size(), 2048u);
    EXPECT_EQ(Bytes(longName.end() - 8, longName.end()), Cat({Zeros(2), Ascii16("18.")}));
}

TEST(MmsCommands, ReadBlock) {
    const Bytes want = Hex("01 00 00 00  CE FA 0B B0  48 00 00 00  4D 4D 53 20"
                           "09 00 00 00  04 00 00 00  00 00 00 00 00 00 D0 3F"
                           "07 00 00 00  15 00 03 00"
                           "01 00 00 00  00 00 00 00  00 00 00 00  00 80 00 00"
                           "FF FF FF FF  65 00 6B 00  00 00 00 00 00 00 00 00"
                           "00 00 00 00 00 20 AC 40  02 00 00 00  00 00 00 00");
    ASSERT_EQ(want.size(), 88u);
    MmsCommandBuilder b = At(4);
    EXPECT_EQ(b.ReadBlock(), want);
}

TEST(MmsCommands, StreamSwitch) {
    const Bytes want = Hex("01 00 00 00  CE FA 0B B0  30 00 00 00  4D 4D 53 20"
                           "06 00 00 00  05 00 00 00  E5 D0 22 DB F9 7E F0 3F"
                           "04 00 00 00  33 00 03 00"
                           "02 00 00 00  FF FF 01 00 00 00  FF FF 02 00 00 00"
                           "FF FF FF FF 65 00 6B 00");
    ASSERT_EQ(want.size(), 64u);
    MmsCommandBuilder b = At(5);
    EXPECT_EQ(b.StreamSwitch(), want);
}

const Bytes kStartPlaying = Hex(
    "01 00 00 00  CE FA 0B B0  48 00 00 00  4D 4D 53 20"
    "09 00 00 00  06 00 00 00  6F 12 83 C0 CA A1 F9 3F"
    "07 00 00 00  07 00 03 00"
    "01 00 00 00  FF FF 01 00  00 00 00 00 00 00 00 00"
    "FF FF FF FF  FF FF FF FF  00 00 00 00  04 00 00 00"
    "FF FF FF 7F  00 00 00 00  FF FF FF 7F  00 00 00 00");

TEST(MmsCommands, StartPlayingCarriesSequenceSixWhateverTheCounterAndStillAdvancesIt) {
    ASSERT_EQ(kStartPlaying.size(), 88u);
    for (uint32_t seq : {0u, 6u, 7u, 41u}) {
        MmsCommandBuilder b = At(seq);
        EXPECT_EQ(b.StartPlaying(), kStartPlaying) << seq;
        EXPECT_EQ(b.Counter(), seq + 1);
    }
}

TEST(MmsCommands, PongAfterStartPlayingTakesTheAdvancedCounter) {
    const Bytes want = Hex("01 00 00 00  CE FA 0B B0  20 00 00 00  4D 4D 53 20"
                           "04 00 00 00  07 00 00 00  42 60 E5 0D 22 23 8F 40"
                           "02 00 00 00  1B 00 03 00"
                           "D2 05 00 00  76 04 00 00");
    MmsCommandBuilder b = At(6);
    b.StartPlaying();
    EXPECT_EQ(b.Pong(), want);
}

TEST(MmsCommands, SessionWithoutPingsNumbersZeroToSix) {
    MmsCommandBuilder b;
    const Bytes msgs[] = {b.Connect(),    b.FunnelInfo(), b.ConnectFunnel(MakeTransportString(0x7F000001, 4000)),
                          b.OpenFile(MakeOpenFileName("/x.asf")), b.ReadBlock(), b.StreamSwitch(),
                          b.StartPlaying()};
    for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(Get32(msgs[i], 20), i);
}

TEST(MmsCommands, ReplyTable) {
    EXPECT_EQ(ReplyFor(0x00040001), MmsReply::FunnelInfo);
    EXPECT_EQ(ReplyFor(0x00040015), MmsReply::ConnectFunnel);
    EXPECT_EQ(ReplyFor(0x00040002), MmsReply::OpenFile);
    EXPECT_EQ(ReplyFor(0x00040006), MmsReply::ReadBlock);
    EXPECT_EQ(ReplyFor(0x00040021), MmsReply::StartPlaying);
    EXPECT_EQ(ReplyFor(0x0004001B), MmsReply::Pong);
    // ReportReadBlock, ReportStartedPlaying, ReportEndOfStream and unknowns: no reply.
    for (uint32_t mid : {0x00040011u, 0x00040005u, 0x0004001Eu, 0x00030001u, 0u, 0xFFFFFFFFu})
        EXPECT_EQ(ReplyFor(mid), MmsReply::None) << std::hex << mid;
}

}  // namespace
}  // namespace larkspan
