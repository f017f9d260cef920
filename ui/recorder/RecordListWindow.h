#pragma once
#include <QWidget>

class QTableView;

namespace larkspan {

class RecordList;
class Skin;

// The skinned popup under the main window that shows the record list: the
// list (control 100) and the banner pane (control 2001, left empty) inside
// a frame painted from the list-frame pieces. A press in the bottom band
// resizes the window from its bottom edge, a press elsewhere on the frame
// moves the owner; a right press is handed on. Closing it alone does
// nothing.
class RecordListWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kListControlId = 100;
    static constexpr int kBannerControlId = 2001;
    static constexpr int kDefaultWidth = 275;
    static constexpr int kDefaultHeight = 257;

    // owner: the main window, moved by a press on the frame. The list's
    // rows, selection and handlers come from list.
    RecordListWindow(Skin* skin, RecordList* list, QWidget* owner);

    QTableView* ListView() const { return view_; }
    QWidget* BannerPane() const { return banner_; }
    // Whether point (window coordinates) lies in the band that resizes.
    bool InResizeBand(const QPoint& point) const;

signals:
    // A right-button press on the window or the list (global position).
    void rightPressed(const QPoint& globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayOut();
    void SizeColumns();

    Skin* skin_;
    RecordList* list_;
    QWidget* owner_;
    QTableView* view_;
    QWidget* banner_;
};

}  // namespace larkspan
