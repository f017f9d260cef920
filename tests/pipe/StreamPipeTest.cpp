// The pipe between a stream client and a player, on its own.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "asf/StreamPipe.h"

namespace larkspan {
namespace {

// Reads until the pipe ends, piece by piece.
std::vector<uint8_t> ReadAll(StreamPipe& pipe, size_t piece) {
    std::vector<uint8_t> got, buffer(piece);
    for (size_t n; (n = pipe.Read(buffer.data(), buffer.size())) != 0;)
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    return got;
}

// Writes larger and smaller than the pipe, read in other pieces: the bytes,
// then the end with the writer's text; nothing goes in after the close.
TEST(StreamPipe, BytesPassInOrderThenTheEnd) {
    std::vector<uint8_t> data(20000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const struct {
        size_t capacity, writeSize, readPiece;
        std::string endText;
    } rows[] = {{7, 100, 3, ""}, {7, 3, 100, "read error"}, {4096, 1000, 4096, ""}, {1, 64, 1, ""}, {0, 5, 2, ""},
                {64, 64, 64, "x"}};
    for (const auto& row : rows) {
        SCOPED_TRACE("capacity " + std::to_string(row.capacity) + ", writes of " + std::to_string(row.writeSize));
        StreamPipe pipe(row.capacity);
        std::atomic<bool> allWritten{false};
        std::thread writer([&] {
            bool ok = true;
            for (size_t at = 0; at < data.size() && ok; at += row.writeSize)
                ok = pipe.Write(data.data() + at, std::min(row.writeSize, data.size() - at));
            allWritten.store(ok);
            pipe.CloseWriting(row.endText);
        });
        EXPECT_TRUE(ReadAll(pipe, row.readPiece) == data);  // every byte once, in order
        writer.join();
        EXPECT_TRUE(allWritten.load());
        EXPECT_EQ(pipe.Position(), data.size());
        EXPECT_EQ(pipe.EndText(), row.endText);
        EXPECT_FALSE(pipe.Write(data.data(), 1));
        EXPECT_EQ(pipe.ErrorText(), "the stream was closed for writing");
        EXPECT_EQ(pipe.Position(), data.size());
    }
}

// Either side's cancel ends the other side's wait: a write waiting for room
// fails with the reason (and so does every later one, and buffered bytes are
// dropped), a read waiting for bytes ends; a close after it changes nothing.
TEST(StreamPipe, CancelEndsAWaitingWriteOrRead) {
    for (const bool writerWaits : {true, false}) {
        SCOPED_TRACE(writerWaits ? "write waits" : "read waits");
        StreamPipe pipe(8);
        const std::vector<uint8_t> data(20, 1);
        std::atomic<bool> waiting{false};
        std::atomic<size_t> result{99};
        std::thread side([&] {
            uint8_t buffer[4];
            waiting.store(true);
            result.store(writerWaits ? pipe.Write(data.data(), data.size()) : pipe.Read(buffer, sizeof buffer));
        });
        // The write has put in the first eight bytes and waits for the rest.
        while (!waiting.load() || (writerWaits && pipe.Buffered() < 8)) std::this_thread::yield();
        pipe.Cancel("the player closed the stream");
        side.join();
        EXPECT_EQ(result.load(), 0u);
        EXPECT_EQ(pipe.Buffered(), 0u);
        pipe.CloseWriting("");
        EXPECT_EQ(pipe.EndText(), "the player closed the stream");
        EXPECT_FALSE(pipe.Write(data.data(), 1));
        EXPECT_EQ(pipe.ErrorText(), "the player closed the stream");
        uint8_t byte = 0;
        EXPECT_EQ(pipe.Read(&byte, 1), 0u);
        EXPECT_EQ(pipe.Position(), writerWaits ? 8u : 0u);
    }
}

}  // namespace
}  // namespace larkspan
