#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <QApplication>
#include <QFileInfo>

#include "app/CommandLine.h"
#include "app/InstanceChannel.h"
#include "app/QtSettingsProfile.h"
#include "app/StartupTexts.h"
#include "app/Translations.h"
#include "ui/main/RunDesktop.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Prints the help or the usage error a command line asks for; -1 when it asks for neither.
int AnswerWithoutWindows(const larkspan::CommandLine& line, const char* argv0) {
    const QString program = QFileInfo(QString::fromLocal8Bit(argv0)).fileName();
    if (line.outcome == larkspan::CommandLine::Outcome::Help) {
        Print(stdout, larkspan::UsageText(program));
        return 0;
    }
    if (line.outcome == larkspan::CommandLine::Outcome::UsageError) {
        Print(stderr, larkspan::UnknownSwitchText(program, QString::fromLocal8Bit(line.badArgument.c_str())));
        return kExitUsage;
    }
    return -1;
}

larkspan::CommandLine ReadCommandLine(int argc, char** argv) {
    std::error_code ec;
    std::filesystem::path currentFolder = std::filesystem::current_path(ec);
    return larkspan::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), currentFolder);
}

}  // namespace

int main(int argc, char** argv) {
    // Help and usage errors need no display: they are answered before the GUI application exists.
    larkspan::CommandLine line = ReadCommandLine(argc, argv);
    if (line.outcome != larkspan::CommandLine::Outcome::Run) {
        QCoreApplication core(argc, argv);
        larkspan::LoadTranslations(core);
        return AnswerWithoutWindows(line, argv[0]);
    }

    QApplication app(argc, argv);  // takes out Qt's own options, such as -platform
    QApplication::setOrganizationName(QStringLiteral("Brellow"));
    QApplication::setApplicationName(QStringLiteral("Larkspan Recorder"));
    larkspan::LoadTranslations(app);
    line = ReadCommandLine(argc, argv);
    if (int code = AnswerWithoutWindows(line, argv[0]); code >= 0) return code;

    const bool allowMultiple = larkspan::QtSettingsProfile().GetInt("settings", "Allow Multiple Instances", 0) != 0;
    larkspan::InstanceChannel channel;
    auto result = channel.Start(static_cast<int>(line.request.mode), QString::fromStdString(line.request.text),
                                !allowMultiple);
    switch (result) {
        case larkspan::InstanceChannel::StartResult::HandedOff:
            return 0;
        case larkspan::InstanceChannel::StartResult::TooLong:
        case larkspan::InstanceChannel::StartResult::NoAnswer:
            Print(stderr, larkspan::HandOffFailureText(result, larkspan::InstanceChannel::kDefaultTimeoutMs));
            return kExitFailure;
        case larkspan::InstanceChannel::StartResult::Serving:
        case larkspan::InstanceChannel::StartResult::Alone:
            break;
    }
    return larkspan::RunDesktop(app, line.request, channel);
}
