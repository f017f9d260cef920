// Shows the player window with its context menu open and the playback submenu unfolded, in the language the
// locale picks (LANG=ko_KR.UTF-8 for Korean), and saves that part of the screen as a PNG.
//   usage: xvfb-run -a -s "-screen 0 1280x800x24" menu-shot OUTPUT.png
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "app/Translations.h"
#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"
#include "ui/player/PlayerWindow.h"
#include "ui/skin/Skin.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: menu-shot OUTPUT.png\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    larkspan::LoadTranslations(app);

    larkspan::RecorderSettings settings;
    larkspan::MemoryProfile profile;
    larkspan::Skin skin;
    larkspan::PlaybackEngineOptions options;
    options.fakeAudioOutput = true;
    larkspan::PlayerWindow player(settings, profile, skin, options);
    player.move(20, 20);
    player.show();

    const std::unique_ptr<QMenu> menu(player.CreateContextMenu());
    QMenu* playback = menu->actions().at(3)->menu();  // after Open, URL Open and a separator
    int status = 0;
    QTimer::singleShot(300, [&] {
        menu->popup(player.geometry().topLeft() + QPoint(120, 60));
        QTimer::singleShot(300, [&] {
            menu->setActiveAction(playback->menuAction());
            playback->popup(menu->geometry().topRight() + QPoint(0, menu->actionGeometry(playback->menuAction()).y()));
            QTimer::singleShot(500, [&] {
                const QRect area = player.geometry().united(menu->geometry()).united(playback->geometry());
                const QPixmap shot = player.screen()->grabWindow(0, area.x(), area.y(), area.width() + 10,
                                                                 area.height() + 10);
                if (!shot.save(output)) {
                    std::fprintf(stderr, "menu-shot: cannot write %s\n", qPrintable(output));
                    status = 1;
                }
                QApplication::exit(status);
            });
        });
    });
    return app.exec();
}
