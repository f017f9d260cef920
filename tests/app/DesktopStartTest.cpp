#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/InstanceChannel.h"

namespace larkspan {
namespace {

constexpr int kWaitMs = 20000;  // only against hanging

// Starts of the built desktop program, all with the same runtime folder and an empty profile.
class DesktopStartTest : public ::testing::Test {
protected:
    std::unique_ptr<QProcess> Launch(const QStringList& args, const QString& lang = QStringLiteral("C"),
                                     const QString& platform = QStringLiteral("offscreen")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        env.insert(QStringLiteral("HOME"), runtime_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.remove(QStringLiteral("LANGUAGE"));
        env.insert(QStringLiteral("LANG"), lang);
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(LARKSPAN_DESKTOP_PROGRAM), args);
        EXPECT_TRUE(process->waitForStarted(kWaitMs));
        return process;
    }
    // Waits until the process has printed the line; true when it did.
    static bool WaitForLine(QProcess& process, QByteArray& out, const QByteArray& line) {
        return QTest::qWaitFor([&] {
            out += process.readAllStandardOutput();
            return out.contains(line + '\n');
        }, kWaitMs);
    }
    static std::string FirstLine(const QByteArray& text) { return text.left(text.indexOf('\n')).toStdString(); }

    QTemporaryDir runtime_;
};

// Without a usable display, too.
TEST_F(DesktopStartTest, HelpAndUsageErrorsInTheUsersLanguage) {
    struct Row {
        QStringList args;
        QString lang;
        int exitCode;
        std::string firstLine;  // of standard output for help, of standard error otherwise
    };
    const Row rows[] = {
        {{"--help"}, "C", 0, "Usage: larkspan [switch] [source]"},
        {{"--help", "x"}, "ko_KR.UTF-8", 0, "사용법: larkspan [스위치] [소스]"},
        {{"--bogus"}, "en_GB.UTF-8", 2, "larkspan: unknown switch \"--bogus\""},
        {{"/Rec", "--bogus"}, "ko_KR.UTF-8", 2, "larkspan: 알 수 없는 스위치 \"--bogus\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString() + " " + row.lang.toStdString());
        auto process = Launch(row.args, row.lang, QStringLiteral("no-such-platform"));
        ASSERT_TRUE(process->waitForFinished(kWaitMs));
        EXPECT_EQ(process->exitCode(), row.exitCode);
        QByteArray out = row.exitCode == 0 ? process->readAllStandardOutput() : process->readAllStandardError();
        EXPECT_EQ(FirstLine(out), row.firstLine);
    }
}

TEST_F(DesktopStartTest, LaterStartsHandOverAfterAKilledInstanceIsReplaced) {
    QByteArray out;
    auto killed = Launch({});
    ASSERT_TRUE(WaitForLine(*killed, out, "open request: mode=1 source= name= time=0"));
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(kWaitMs));
    InstanceChannel names(runtime_.path());
    ASSERT_TRUE(QFile::exists(names.SocketPath()));
    ASSERT_TRUE(QFile::exists(names.LockPath()));

    out.clear();
    auto running = Launch({"/Rec", "mms://127.0.0.1/live"});
    ASSERT_TRUE(WaitForLine(*running, out, "open request: mode=2 source=mms://127.0.0.1/live name= time=0"));

    auto later = Launch({"/Record", "mms://127.0.0.1/x&&Night&&90", "ignored"});
    ASSERT_TRUE(later->waitForFinished(kWaitMs));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_EQ(later->readAllStandardOutput(), QByteArray());
    EXPECT_TRUE(WaitForLine(*running, out, "open request: mode=2 source=mms://127.0.0.1/x name=Night time=90"));

    auto tooLong = Launch({QString(InstanceChannel::kMaxTextBytes + 1, QLatin1Char('x'))});
    ASSERT_TRUE(tooLong->waitForFinished(kWaitMs));
    EXPECT_EQ(tooLong->exitCode(), 1);
    EXPECT_EQ(FirstLine(tooLong->readAllStandardError()),
              "Larkspan Recorder is already running, but the command line is longer than 65536 bytes, the most a "
              "running instance accepts. Nothing was opened.");

    // With several instances allowed, a start keeps its request and runs on its own.
    QSettings(runtime_.filePath(QStringLiteral("config/Brellow/Larkspan Recorder.conf")), QSettings::IniFormat)
        .setValue(QStringLiteral("settings/Allow Multiple Instances"), 1);
    QByteArray ownOut;
    auto own = Launch({"/Open", "mms://127.0.0.1/own"});
    EXPECT_TRUE(WaitForLine(*own, ownOut, "open request: mode=0 source=mms://127.0.0.1/own name= time=0"));
    own->kill();
    own->waitForFinished(kWaitMs);

    running->kill();
    running->waitForFinished(kWaitMs);
    out += running->readAllStandardOutput();
    EXPECT_EQ(out.count("open request:"), 2);
}

}  // namespace
}  // namespace larkspan
