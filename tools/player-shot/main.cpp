// Opens a medium (with a ".smi" caption file beside it) in the player window,
// waits for the first caption, and saves the window at normal and at double
// size as player-normal.png and player-double.png.
//   usage: player-shot MEDIUM OUTPUT_DIR
#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"
#include "ui/player/PlayerWindow.h"
#include "ui/skin/Skin.h"

namespace {

// Calls done() once ready() holds, checking every 50 ms; gives up (exit
// status 1) after 20 s.
void When(const std::function<bool()>& ready, const std::function<void()>& done, int triesLeft = 400) {
    if (ready()) {
        done();
        return;
    }
    if (triesLeft == 0) {
        std::fprintf(stderr, "player-shot: gave up waiting\n");
        QApplication::exit(1);
        return;
    }
    QTimer::singleShot(50, [=] { When(ready, done, triesLeft - 1); });
}

bool Save(QWidget& window, const QString& path) {
    if (window.grab().save(path)) return true;
    std::fprintf(stderr, "player-shot: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: player-shot MEDIUM OUTPUT_DIR\n");
        return 2;
    }
    const QString medium = QString::fromLocal8Bit(argv[1]);
    const QDir output(QString::fromLocal8Bit(argv[2]));

    larkspan::RecorderSettings settings;
    settings.captionFaceName = "DejaVu Sans";
    settings.captionSize = 12;
    settings.captionColor = 0x66FFFF;  // 0x00BBGGRR: a warm yellow
    larkspan::MemoryProfile profile;
    larkspan::Skin skin;
    larkspan::PlaybackEngineOptions options;
    options.fakeAudioOutput = true;
    larkspan::PlayerWindow player(settings, profile, skin, options);

    int status = 0;
    QObject::connect(&player, &larkspan::PlayerWindow::notify, [&](int code, int) {
        if (code != static_cast<int>(larkspan::PlayerNotification::OpenFailed)) return;
        std::fprintf(stderr, "player-shot: cannot open %s\n", qPrintable(medium));
        QApplication::exit(1);
    });
    player.Open(medium, QStringLiteral("Larkspan sample"));
    // Let the title line show the medium's title again and a few frames pass
    // after the caption has come.
    When([&] { return !player.CurrentCaption().isEmpty() && player.ShownTitle() == player.MediaTitle(); }, [&] {
        QTimer::singleShot(300, [&] {
            if (!Save(player, output.filePath(QStringLiteral("player-normal.png")))) status = 1;
            player.RunCommand(larkspan::player_command::kDoubleSize);
            When([&] { return player.ShownTitle() == player.MediaTitle(); }, [&] {
                QTimer::singleShot(300, [&] {
                    if (!Save(player, output.filePath(QStringLiteral("player-double.png")))) status = 1;
                    QApplication::exit(status);
                });
            });
        });
    });
    return app.exec();
}
