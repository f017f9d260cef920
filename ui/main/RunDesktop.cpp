#include "ui/main/RunDesktop.h"

#include <cstdio>

#include <QApplication>
#include <QCoreApplication>

#include "app/InstanceChannel.h"

namespace larkspan {

namespace {

// One line per request on standard output, as the windows will receive it: mode and the three source fields.
void PrintRequest(int mode, const QString& text) {
    SourceFields fields = SplitSourceText(text.toStdString());
    std::printf("open request: mode=%d source=%s name=%s time=%s\n", mode, fields.source.c_str(),
                fields.name.c_str(), fields.recordTime.c_str());
    std::fflush(stdout);
}

}  // namespace

// Stand-in until the windows arrive: reports the start's own request and every request handed over by later
// starts, and runs until the process is ended.
int RunDesktop(QApplication& app, const StartRequest& request, InstanceChannel& channel) {
    std::printf("%s\n", qPrintable(QCoreApplication::translate("Startup", "The windows are not built yet.")));
    PrintRequest(static_cast<int>(request.mode), QString::fromStdString(request.text));
    QObject::connect(&channel, &InstanceChannel::openRequested, &app, PrintRequest);
    return app.exec();
}

}  // namespace larkspan
