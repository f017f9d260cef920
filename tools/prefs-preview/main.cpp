// Shows the preferences dialog on default settings and an empty profile, with
// a stand-in handler store that owns no type and keeps the playlist
// extensions of all three groups under one shared type, as Linux desktops do.
//   prefs-preview [--screenshot FILE.png]
#include <QApplication>
#include <QTimer>

#include "recorder/SettingsProfile.h"
#include "ui/prefs/PreferencesDialog.h"

namespace {

class SharedPlaylistTypes : public larkspan::FileAssociations {
public:
    larkspan::AssociationState StateOf(larkspan::AssociationGroup) override {
        return larkspan::AssociationState::Unchecked;
    }
    bool Associate(larkspan::AssociationGroup) override { return true; }
    bool Withdraw(larkspan::AssociationGroup) override { return true; }
    void NotifyChanged() override {}
    std::string LastError() const override { return {}; }
    std::vector<larkspan::AssociationGroup> GroupsSharingTypesWith(larkspan::AssociationGroup group) const override {
        using larkspan::AssociationGroup;
        if (group == AssociationGroup::Asf) return {AssociationGroup::Audio, AssociationGroup::Video};
        return {AssociationGroup::Asf};
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString screenshot;
    for (int i = 1; i + 1 < argc; ++i)
        if (QLatin1String(argv[i]) == QLatin1String("--screenshot")) screenshot = QString::fromLocal8Bit(argv[i + 1]);

    larkspan::MemoryProfile profile;
    larkspan::RecorderSettings settings;
    SharedPlaylistTypes associations;
    larkspan::PreferencesDialog dialog(settings, profile, &associations);
    dialog.show();
    if (screenshot.isEmpty()) return app.exec();
    QTimer::singleShot(300, &dialog, [&] {
        const bool saved = dialog.grab().save(screenshot, "PNG");
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
