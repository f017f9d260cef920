#include "app/StartupTexts.h"

#include <QCoreApplication>

namespace larkspan {

QString UsageText(const QString& program) {
    return QCoreApplication::translate(
               "Startup",
               "Usage: %1 [switch] [source]\n"
               "\n"
               "Switches:\n"
               "  /Open, --open            open the source\n"
               "  /Play, --play            play the source (the default)\n"
               "  /Rec, /Record, --record  record the source\n"
               "  --help                   show this help\n"
               "\n"
               "The source is a file, a file:// URI or a stream URL. A name and a record time in seconds may follow\n"
               "it, joined by \"&&\": source&&name&&seconds.\n"
               "Only the first source counts; the arguments after it are ignored.\n"
               "When an instance is already running, it receives the request and this start ends.\n")
        .arg(program);
}

QString UnknownSwitchText(const QString& program, const QString& argument) {
    return QCoreApplication::translate("Startup",
                                       "%1: unknown switch \"%2\"\nTry \"%1 --help\" for more information.\n")
        .arg(program, argument);
}

QString HandOffFailureText(InstanceChannel::StartResult result, int timeoutMs) {
    switch (result) {
        case InstanceChannel::StartResult::TooLong:
            return QCoreApplication::translate("Startup",
                                               "Larkspan Recorder is already running, but the command line is longer "
                                               "than %1 bytes, the most a running instance accepts. Nothing was "
                                               "opened.\n")
                .arg(InstanceChannel::kMaxTextBytes);
        case InstanceChannel::StartResult::NoAnswer:
            return QCoreApplication::translate("Startup",
                                               "Larkspan Recorder is already running but did not answer within %1 "
                                               "seconds. This start ends; the running instance may still take the "
                                               "request once it answers again.\n")
                .arg(timeoutMs / 1000);
        default:
            return QString();
    }
}

}  // namespace larkspan
