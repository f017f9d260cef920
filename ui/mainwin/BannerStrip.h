#pragma once

// The strip docked under the main panel. It shows the skin's banner picture
// and nothing else; the main window keeps it in place.

#include <QWidget>

namespace larkspan {

class Skin;

class BannerStrip : public QWidget {
    Q_OBJECT

public:
    // A frameless tool window that stays with `panel`.
    BannerStrip(Skin& skin, QWidget* panel);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Skin& skin_;
};

}  // namespace larkspan
