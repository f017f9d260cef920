#include "app/InstanceChannel.h"

#include <algorithm>
#include <future>
#include <utility>
#include <vector>

#include <QLocalSocket>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace larkspan {
namespace {

using Request = std::pair<int, std::string>;
constexpr int kWaitMs = 20000;  // only against hanging; nothing here should come near it

// Runs fn on a thread of its own while this thread serves events until it is done.
template <typename Fn>
auto WhileServing(Fn fn) {
    auto future = std::async(std::launch::async, fn);
    EXPECT_TRUE(QTest::qWaitFor([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                kWaitMs));
    return future.get();
}

class InstanceChannelTest : public ::testing::Test {
protected:
    InstanceChannelTest() {
        EXPECT_EQ(server_.Start(1, QString(), true), InstanceChannel::StartResult::Serving);
        QObject::connect(&server_, &InstanceChannel::openRequested,
                         [this](int mode, const QString& text) { received_.emplace_back(mode, text.toStdString()); });
    }
    QTemporaryDir folder_;
    InstanceChannel server_{folder_.path(), 300};
    std::vector<Request> received_;
};

TEST_F(InstanceChannelTest, TextUpToTheCapIsDeliveredAndLongerIsRefused) {
    struct Row { QString text; InstanceChannel::SendResult result; };
    const Row rows[] = {
        {QString(InstanceChannel::kMaxTextBytes, QLatin1Char('x')), InstanceChannel::SendResult::Delivered},
        {QString(InstanceChannel::kMaxTextBytes + 1, QLatin1Char('x')), InstanceChannel::SendResult::TooLong},
        {QString(InstanceChannel::kMaxTextBytes / 3, QChar(0xAC00)) + QStringLiteral("x"),
         InstanceChannel::SendResult::Delivered},
        {QString(InstanceChannel::kMaxTextBytes / 3 + 1, QChar(0xAC00)), InstanceChannel::SendResult::TooLong},
    };
    std::vector<Request> expected;
    for (const Row& row : rows) {
        auto result = WhileServing([&] { return InstanceChannel::Send(server_.SocketPath(), 2, row.text, kWaitMs); });
        EXPECT_EQ(result, row.result) << row.text.toUtf8().size();
        if (row.result == InstanceChannel::SendResult::Delivered) expected.emplace_back(2, row.text.toStdString());
    }
    QTest::qWait(50);
    EXPECT_EQ(received_, expected);
}

TEST_F(InstanceChannelTest, TwoSendersAtOnceAreBothDelivered) {
    auto results = WhileServing([&] {
        auto send = [&](int mode, QString text) {
            return InstanceChannel::Send(server_.SocketPath(), mode, text, kWaitMs);
        };
        auto first = std::async(std::launch::async, send, 2, QStringLiteral("mms://127.0.0.1/a&&A&&60"));
        auto second = std::async(std::launch::async, send, 0, QStringLiteral("/media/b.asf"));
        return std::make_pair(first.get(), second.get());
    });
    EXPECT_EQ(results.first, InstanceChannel::SendResult::Delivered);
    EXPECT_EQ(results.second, InstanceChannel::SendResult::Delivered);
    std::sort(received_.begin(), received_.end());
    EXPECT_EQ(received_, (std::vector<Request>{{0, "/media/b.asf"}, {2, "mms://127.0.0.1/a&&A&&60"}}));
}

TEST_F(InstanceChannelTest, MalformedOrStalledSendersAreDroppedWithoutAnswer) {
    const QByteArray messages[] = {
        QByteArray("\xff\xff\xff\xff", 4),                        // longer than any request
        QByteArray("\x00\x00\x00\x00", 4),                        // no mode
        QByteArray("\x00\x00\x00\x02\x07x", 6),                   // no such mode
        QByteArray("\x00\x00\x00\x03\x01\xc3\x28", 7),            // not UTF-8
        QByteArray("\x00\x00\x00\x02\x01xy", 7),                  // more than announced
        QByteArray("\x00\x00\x00\x05\x01x", 6),                   // stalls before the end
    };
    for (const QByteArray& message : messages) {
        SCOPED_TRACE(message.toHex().toStdString());
        QByteArray answer = WhileServing([&] {
            QLocalSocket socket;
            socket.connectToServer(server_.SocketPath());
            socket.waitForConnected(kWaitMs);
            socket.write(message);
            socket.waitForBytesWritten(kWaitMs);
            while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(kWaitMs)) {}
            return socket.readAll();
        });
        EXPECT_EQ(answer, QByteArray());
    }
    EXPECT_EQ(received_, std::vector<Request>());
}

TEST_F(InstanceChannelTest, StartAgainstWhatTheFolderHolds) {
    enum class Holder { ServerBusy, LockOnly };
    struct Row { Holder holder; bool handOff; InstanceChannel::StartResult result; };
    const Row rows[] = {
        // This thread is busy in Start, so the serving channel does not answer in time: a hung instance. It reads
        // the request once it is back, although the sender gave up.
        {Holder::ServerBusy, true, InstanceChannel::StartResult::NoAnswer},
        {Holder::ServerBusy, false, InstanceChannel::StartResult::Alone},
        // An instance that holds the lock but never listens.
        {Holder::LockOnly, true, InstanceChannel::StartResult::NoAnswer},
        {Holder::LockOnly, false, InstanceChannel::StartResult::Alone},
    };
    QTemporaryDir lockOnlyFolder;
    InstanceChannel probe(lockOnlyFolder.path());
    QLockFile lock(probe.LockPath());
    ASSERT_TRUE(lock.tryLock(0));
    for (const Row& row : rows) {
        InstanceChannel second(row.holder == Holder::ServerBusy ? folder_.path() : lockOnlyFolder.path(), 300);
        EXPECT_EQ(second.Start(2, QStringLiteral("mms://127.0.0.1/x"), row.handOff), row.result);
        EXPECT_FALSE(second.IsServing());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received_.empty(); }, kWaitMs));
    QTest::qWait(50);
    EXPECT_EQ(received_, (std::vector<Request>{{2, "mms://127.0.0.1/x"}}));
}

}  // namespace
}  // namespace larkspan
