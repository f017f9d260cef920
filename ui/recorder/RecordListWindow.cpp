#include "ui/recorder/RecordListWindow.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QTableView>
#include <QWindow>

#include "ui/recorder/RecordList.h"
#include "ui/skin/Skin.h"

namespace larkspan {

namespace {
// The frame is this wide; the bottom band of this height resizes.
constexpr int kFrame = 5;
// Column widths in per cent of the list's inner width (without its frame and
// scroll bar, so the four visible columns always fit); the last three hidden.
constexpr int kColumnPercent[RecordListModel::kColumnCount] = {55, 20, 15, 10, 0, 0, 0};
}  // namespace

RecordListWindow::RecordListWindow(Skin* skin, RecordList* list, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint),
      skin_(skin),
      list_(list),
      owner_(owner),
      view_(new QTableView(this)),
      banner_(new QWidget(this)) {
    setMouseTracking(true);
    view_->setObjectName(QStringLiteral("recordList"));
    view_->setProperty("controlId", kListControlId);
    banner_->setObjectName(QStringLiteral("bannerPane"));
    banner_->setProperty("controlId", kBannerControlId);

    view_->setModel(list->Model());
    view_->setSelectionModel(list->Selection());
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSortingEnabled(false);
    view_->setShowGrid(false);
    view_->setWordWrap(false);
    view_->setMouseTracking(true);
    view_->setFrameShape(QFrame::Box);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setSectionsClickable(false);
    view_->horizontalHeader()->setSectionsMovable(true);
    view_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int c = RecordListModel::kName; c < RecordListModel::kColumnCount; ++c) view_->setColumnHidden(c, true);
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    // Dark like the frame around it.
    QPalette dark = view_->palette();
    dark.setColor(QPalette::Base, QColor(0x0e, 0x12, 0x16));
    dark.setColor(QPalette::AlternateBase, QColor(0x14, 0x19, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xd8, 0xde, 0xe6));
    dark.setColor(QPalette::Window, QColor(0x1a, 0x20, 0x26));
    dark.setColor(QPalette::Button, QColor(0x1a, 0x20, 0x26));
    dark.setColor(QPalette::ButtonText, QColor(0x9f, 0xb4, 0xc4));
    dark.setColor(QPalette::WindowText, QColor(0x9f, 0xb4, 0xc4));
    // The list's border, whichever role the style draws it with.
    for (QPalette::ColorRole role : {QPalette::Light, QPalette::Midlight, QPalette::Mid, QPalette::Dark, QPalette::Shadow})
        dark.setColor(role, QColor(0x34, 0x42, 0x4d));
    dark.setColor(QPalette::Highlight, QColor(0x1f, 0x6f, 0x78));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    view_->setPalette(dark);
    view_->setAlternatingRowColors(true);
    banner_->setPalette(dark);
    banner_->setBackgroundRole(QPalette::Base);
    banner_->setAutoFillBackground(true);

    connect(view_, &QTableView::clicked, list, &RecordList::OnListClicked);
    connect(view_, &QTableView::doubleClicked, list, &RecordList::OnListDoubleClicked);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { emit rightPressed(view_->viewport()->mapToGlobal(at)); });
    connect(list->Selection(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) view_->scrollTo(current);
            });
    if (skin_) connect(skin_, &Skin::changed, this, qOverload<>(&QWidget::update));
    resize(kDefaultWidth, kDefaultHeight);
    LayOut();
}

void RecordListWindow::LayOut() {
    const int w = width();
    const int h = height();
    view_->setGeometry(9, 6, w - 18, h - 82);
    banner_->setGeometry(9, h - 71, w - 18, 64);
    SizeColumns();
}

void RecordListWindow::SizeColumns() {
    const int inner = view_->viewport()->width();
    for (int c = 0; c < RecordListModel::kColumnCount; ++c)
        if (kColumnPercent[c] > 0) view_->setColumnWidth(c, inner * kColumnPercent[c] / 100);
}

bool RecordListWindow::InResizeBand(const QPoint& point) const {
    return point.y() >= height() - kFrame && point.y() < height() && point.x() >= kFrame &&
           point.x() < width() - kFrame;
}

void RecordListWindow::paintEvent(QPaintEvent*) {
    if (!skin_) return;
    QPainter painter(this);
    const int w = width();
    const int h = height();
    auto piece = [&](const QRect& target, const char* name, const QSize& size) {
        skin_->drawPart(painter, target, QString::fromLatin1(name), QRect(QPoint(0, 0), size));
    };
    piece(QRect(0, 0, w, 6), "list-frame.top", QSize(30, 6));
    piece(QRect(0, 6, 9, h - 13), "list-frame.left", QSize(9, 17));
    piece(QRect(w - 9, 6, 9, h - 13), "list-frame.right", QSize(9, 17));
    piece(QRect(9, h - 76, w - 18, 5), "list-frame.divider", QSize(12, 5));
    piece(QRect(0, h - 7, w, 7), "list-frame.bottom", QSize(30, 7));
}

void RecordListWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void RecordListWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightPressed(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (InResizeBand(event->position().toPoint())) {
        if (windowHandle()) windowHandle()->startSystemResize(Qt::BottomEdge);
        return;
    }
    QWidget* mover = owner_ ? owner_->window() : this;
    if (mover->windowHandle()) mover->windowHandle()->startSystemMove();
}

void RecordListWindow::mouseMoveEvent(QMouseEvent* event) {
    if (InResizeBand(event->position().toPoint()))
        setCursor(Qt::SizeVerCursor);
    else
        unsetCursor();
}

void RecordListWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

bool RecordListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        list_->DeleteSelectedRow();
        return true;
    }
    if (watched == view_->viewport() && event->type() == QEvent::Resize) SizeColumns();
    return QWidget::eventFilter(watched, event);
}

}  // namespace larkspan
