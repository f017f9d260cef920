// Runs the desktop against the loopback server, records three live streams and saves pictures of the panel with
// the list docked under it, of its popup menu and of the URL dialog.
//
//   xvfb-run -a -s "-screen 0 1280x800x24" desktop-shot SAMPLES_DIR OUTPUT_DIR

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <filesystem>

#include "recorder/SettingsProfile.h"
#include "tools/server/LoopbackServer.h"
#include "ui/main/Desktop.h"
#include "ui/mainwin/CommandId.h"
#include "ui/mainwin/RecorderWindow.h"
#include "ui/mainwin/UrlOpenDialog.h"
#include "ui/recorder/RecordList.h"
#include "ui/recorder/RecordListWindow.h"

using namespace larkspan;

namespace {

constexpr QPoint kPanelAt(60, 60);

bool Save(const QPixmap& picture, const QString& path) {
    const bool saved = picture.save(path);
    std::fprintf(stderr, saved ? "saved %s\n" : "could not save %s\n", qPrintable(path));
    return saved;
}

QPixmap GrabScreen(const QRect& area) {
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: desktop-shot SAMPLES_DIR OUTPUT_DIR\n");
        return 2;
    }
    const std::string samples = argv[1];
    const QDir output(QString::fromLocal8Bit(argv[2]));
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "larkspan-desktop-shot";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);

    testserver::LoopbackServer server;
    testserver::StreamOptions live;
    live.live = true;
    live.repeat = 0;  // without end
    live.pacing = testserver::Pacing::Realtime;
    if (!server.ServeFile("evening-concert.asf", samples + "/clip.asf", live) ||
        !server.ServeFile("morning-news.asf", samples + "/clip.asf", live) ||
        !server.ServeFile("jazz-hour.asf", samples + "/audio.asf", live) || !server.StartMmsh()) {
        std::fprintf(stderr, "the loopback server could not start\n");
        return 1;
    }

    MemoryProfile profile;
    profile.WriteString("settings", "base dir", folder.string());
    profile.WriteInt("Settings", "xPos", kPanelAt.x());
    profile.WriteInt("Settings", "yPos", kPanelAt.y());
    profile.WriteInt("settings", "Volume", 3800);
    Desktop desktop(profile);
    desktop.ShowMain(1, QString());
    RecordList& list = *desktop.List();
    for (const char* name : {"evening-concert.asf", "morning-news.asf", "jazz-hour.asf"})
        list.StartRecording(list.AddRow(QString::fromStdString(server.MmshUrl(name)), QString(), "0"));
    list.AddRow(QStringLiteral("mms://media.example/archive/interview.asf"), QString(), "0");
    list.SelectRow(0);
    list.UpdateRecordButtons();
    desktop.MainWindow()->SetCurrentTitle(QStringLiteral("mms://media.example/archive/interview.asf"));

    const QRect stack(kPanelAt, QSize(275, Desktop::kListWindowOffset + RecordListWindow::kDefaultHeight));
    int failures = 0;
    QTimer::singleShot(4000, &app, [&] {
        failures += !Save(GrabScreen(stack), output.filePath("desktop-recording.png"));
        desktop.MainWindow()->PreparePopupMenu()->popup(kPanelAt + QPoint(212, 100));
    });
    QTimer::singleShot(5000, &app, [&] {
        QMenu* menu = desktop.MainWindow()->PreparePopupMenu();
        failures += !Save(GrabScreen(stack.united(menu->geometry()).adjusted(0, 0, 8, 8)),
                          output.filePath("desktop-menu.png"));
        menu->hide();
        desktop.MainWindow()->ExecuteCommand(kCmdUrlOpen);
    });
    QTimer::singleShot(6000, &app, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<UrlOpenDialog*>(widget);
            if (!dialog || !dialog->isVisible()) continue;
            dialog->urlBox()->setEditText(QString::fromStdString(server.MmshUrl("jazz-hour.asf")));
            failures += !Save(dialog->grab(), output.filePath("desktop-url-dialog.png"));
            dialog->reject();
        }
        desktop.MainWindow()->close();
    });
    QObject::connect(&desktop, &Desktop::finished, &app, &QCoreApplication::quit);
    const int code = app.exec();
    std::filesystem::remove_all(folder);
    return code == 0 && failures == 0 ? 0 : 1;
}
