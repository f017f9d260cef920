#include "ui/main/RunDesktop.h"

#include <cstdio>

#include <QApplication>

#include "app/InstanceChannel.h"
#include "app/QtSettingsProfile.h"
#include "ui/main/Desktop.h"

namespace larkspan {

namespace {

// One line per request on standard output, as the windows receive it: mode and the three source fields.
void PrintRequest(int mode, const QString& text) {
    SourceFields fields = SplitSourceText(text.toStdString());
    std::printf("open request: mode=%d source=%s name=%s time=%s\n", mode, fields.source.c_str(),
                fields.name.c_str(), fields.recordTime.c_str());
    std::fflush(stdout);
}

}  // namespace

int RunDesktop(QApplication& app, const StartRequest& request, InstanceChannel& channel) {
    // The desktop decides when the program ends: when the panel closes, or the lone player does.
    QApplication::setQuitOnLastWindowClosed(false);
    QtSettingsProfile profile;
    Desktop desktop(profile);
    QObject::connect(&desktop, &Desktop::finished, &app, &QCoreApplication::quit);
    QObject::connect(&channel, &InstanceChannel::openRequested, &desktop, [&desktop](int mode, const QString& text) {
        PrintRequest(mode, text);
        desktop.OpenRequest(mode, text);
    });

    const int mode = static_cast<int>(request.mode);
    const QString text = QString::fromStdString(request.text);
    PrintRequest(mode, text);
    // An explicit "/Play" of a source needs only the player; a bare start plays too, but in the full desktop.
    if (request.modeGiven && request.mode == OpenMode::Play && !request.text.empty())
        desktop.ShowPlayerAlone(text);
    else
        desktop.ShowMain(mode, text);
    return app.exec();
}

}  // namespace larkspan
