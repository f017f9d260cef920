#pragma once
// The separate caption window: a skinned frame around a black interior that
// shows the player's current caption. Its place and size live in the
// profile section "Settings" ("Caption x", "Caption y", "Caption w",
// "Caption h").
#include <QColor>
#include <QFont>
#include <QString>

#include "ui/player/SkinnedWindow.h"

namespace larkspan {

class SettingsProfile;

class CaptionWindow : public SkinnedWindow {
    Q_OBJECT

public:
    // Placed from the profile; without saved values at the bottom-left of
    // the work area, half its width wide and 100 pixels high.
    CaptionWindow(Skin& skin, SettingsProfile& profile, QWidget* player);
    // Writes the window's place and size to the profile.
    ~CaptionWindow() override;

    void SetCaption(const QString& text);
    QString Caption() const { return caption_; }
    void SetCaptionLook(const QFont& font, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SettingsProfile& profile_;
    QString caption_;
    QFont font_;
    QColor color_ = Qt::white;
};

}  // namespace larkspan
