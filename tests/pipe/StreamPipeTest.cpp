// The pipe on its own: bytes pass in order through a pipe much smaller than
// they are, the end of the stream and a failure reach the reader after the
// bytes written before them, and a cancel ends a waiting write or read.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "asf/StreamPipe.h"

namespace larkspan {
namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

// Reads until the pipe ends, piece by piece.
std::vector<uint8_t> ReadAll(StreamPipe& pipe, size_t piece) {
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(piece);
    for (;;) {
        const size_t n = pipe.Read(buffer.data(), buffer.size());
        if (n == 0) return got;
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
}

// Writes larger and smaller than the pipe, read in pieces that do not match
// them: every byte arrives once, in order, and the end follows.
TEST(StreamPipe, BytesPassInOrderThroughASmallPipe) {
    struct Case {
        size_t capacity, writeSize, readPiece;
    };
    const std::vector<Case> cases = {{7, 100, 3}, {7, 3, 100}, {4096, 1000, 4096}, {1, 64, 1}, {64, 64, 64}};
    const std::vector<uint8_t> data = Pattern(20000);
    for (const Case& c : cases) {
        SCOPED_TRACE("capacity " + std::to_string(c.capacity) + ", writes of " + std::to_string(c.writeSize) +
                     ", reads of " + std::to_string(c.readPiece));
        StreamPipe pipe(c.capacity);
        std::atomic<bool> allWritten{false};
        std::thread writer([&] {
            bool ok = true;
            for (size_t at = 0; at < data.size() && ok; at += c.writeSize)
                ok = pipe.Write(data.data() + at, std::min(c.writeSize, data.size() - at));
            allWritten.store(ok);
            pipe.CloseWriting("");
        });
        const std::vector<uint8_t> got = ReadAll(pipe, c.readPiece);
        writer.join();
        EXPECT_TRUE(allWritten.load());
        EXPECT_TRUE(got == data) << "got " << got.size() << " bytes";
        EXPECT_EQ(pipe.Position(), data.size());
        EXPECT_EQ(pipe.EndText(), "");
    }
}

// What the writer put in before it closed is read first; then the end, with
// the writer's error text when it failed.
TEST(StreamPipe, TheEndComesAfterTheBytesWithTheWritersText) {
    for (const std::string text : {"", "read error"}) {
        SCOPED_TRACE("'" + text + "'");
        StreamPipe pipe(16);
        const std::vector<uint8_t> data = Pattern(10);
        ASSERT_TRUE(pipe.Write(data.data(), data.size()));
        pipe.CloseWriting(text);
        EXPECT_TRUE(ReadAll(pipe, 4) == data);
        EXPECT_EQ(pipe.EndText(), text);
        uint8_t byte = 0;
        EXPECT_EQ(pipe.Read(&byte, 1), 0u);
        // Nothing more goes in once the writer has closed.
        EXPECT_FALSE(pipe.Write(data.data(), 1));
        EXPECT_EQ(pipe.ErrorText(), "the stream was closed for writing");
    }
}

// A reader that goes away ends a write that waits for room: it fails with
// the reader's reason, and so does every later one.
TEST(StreamPipe, CancelEndsAWriteWaitingForRoom) {
    StreamPipe pipe(8);
    const std::vector<uint8_t> data = Pattern(20);
    std::atomic<bool> written{true};
    std::thread writer([&] { written.store(pipe.Write(data.data(), data.size())); });
    // The first eight bytes are in; the write waits for the rest.
    while (pipe.Buffered() < 8) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pipe.Cancel("the player closed the stream");
    writer.join();
    EXPECT_FALSE(written.load());
    EXPECT_EQ(pipe.ErrorText(), "the player closed the stream");
    EXPECT_FALSE(pipe.Write(data.data(), 1));
    EXPECT_EQ(pipe.ErrorText(), "the player closed the stream");
    // What was buffered is dropped.
    EXPECT_EQ(pipe.Buffered(), 0u);
    uint8_t byte = 0;
    EXPECT_EQ(pipe.Read(&byte, 1), 0u);
    EXPECT_EQ(pipe.EndText(), "the player closed the stream");
}

// A writer that gives up ends a read that waits for bytes.
TEST(StreamPipe, CancelEndsAReadWaitingForBytes) {
    StreamPipe pipe(8);
    std::atomic<size_t> got{99};
    std::atomic<bool> reading{false};
    std::thread reader([&] {
        uint8_t buffer[4];
        reading.store(true);
        got.store(pipe.Read(buffer, sizeof buffer));
    });
    while (!reading.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pipe.Cancel("the recording was stopped");
    reader.join();
    EXPECT_EQ(got.load(), 0u);
    EXPECT_EQ(pipe.EndText(), "the recording was stopped");
    // A close after the cancel changes nothing.
    pipe.CloseWriting("");
    EXPECT_EQ(pipe.EndText(), "the recording was stopped");
}

}  // namespace
}  // namespace larkspan
