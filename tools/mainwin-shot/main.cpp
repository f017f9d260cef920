// Shows the recorder's main panel with a few example titles and times side
// by side and saves a picture of them.
//
//   xvfb-run -a -s "-screen 0 1280x800x24" mainwin-shot FILE.png

#include "recorder/SettingsProfile.h"
#include "ui/mainwin/CommandId.h"
#include "ui/mainwin/RecorderWindow.h"
#include "ui/skin/Skin.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

using namespace larkspan;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: mainwin-shot FILE.png\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    Skin skin(Skin::scaleFor(app.devicePixelRatio()));

    struct Example {
        const char* title;
        int seconds;
        int duration;
        int playerState;
        int volume;
        int balance;
    };
    const Example examples[] = {
        {"C:\\Recordings\\Evening Concert (live).asf", 1267, 3600, kPlayerPlaying, 3600, 140},
        {"mms://media.example/news/morning-briefing.wmv", 95, 600, kPlayerPaused, 5000, 100},
        {"", 0, 0, kPlayerStopped, 2500, 60},
    };
    // The panels write their profiles when they go, so the profiles outlive them.
    std::vector<std::unique_ptr<MemoryProfile>> profiles;
    QWidget board;
    board.setStyleSheet(QStringLiteral("background: #0d1014;"));
    auto* row = new QHBoxLayout(&board);
    row->setSpacing(12);
    for (const Example& example : examples) {
        auto& profile = *profiles.emplace_back(std::make_unique<MemoryProfile>());
        profile.WriteInt("settings", "Volume", example.volume);
        profile.WriteInt("settings", "Balance", example.balance);
        auto* panel = new RecorderWindow(skin, profile);
        panel->setWindowFlags(Qt::Widget);
        panel->SetCurrentTitle(QString::fromUtf8(example.title));
        panel->OnPlayerNotify(kNotifyMediaOpened, 0, example.duration, 0);
        panel->OnPlayerNotify(kNotifyStateChanged, example.playerState, example.duration, 0);
        panel->OnPlayerNotify(kNotifyTick, 0, example.duration, example.seconds);
        panel->SetButtonEnabled(kCmdRecord, example.playerState != kPlayerStopped);
        panel->StopPlaybackChain();
        row->addWidget(panel);
    }
    board.show();
    QTimer::singleShot(600, &app, [&] {
        const bool saved = board.grab().save(output);
        std::fprintf(stderr, saved ? "saved %s\n" : "could not save %s\n", argv[1]);
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
