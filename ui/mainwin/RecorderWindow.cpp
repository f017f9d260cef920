#include "ui/mainwin/RecorderWindow.h"

#include "recorder/SettingsProfile.h"
#include "ui/mainwin/BannerStrip.h"
#include "ui/mainwin/CommandId.h"
#include "ui/mainwin/MediaFileDialog.h"
#include "ui/mainwin/PanelTexts.h"
#include "ui/mainwin/RecorderCommands.h"
#include "ui/mainwin/UrlOpenDialog.h"
#include "ui/mainwin/WindowPlacement.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SkinButton.h"
#include "ui/skin/SkinSlider.h"
#include "ui/skin/SpectrumMeter.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace larkspan {

namespace {

constexpr const char* kPositionSection = "Settings";
constexpr const char* kOptionsSection = "Options";

struct ButtonPlace {
    int id;
    const char* sheet;
    int x;
    int y;
    bool enabled;
    const char* toolTip;
};

constexpr ButtonPlace kButtons[] = {
    {kCmdPlay, "button-play", 16, 90, false, QT_TRANSLATE_NOOP("larkspan::RecorderWindow", "Play")},
    {kCmdPause, "button-pause", 44, 90, false, QT_TRANSLATE_NOOP("larkspan::RecorderWindow", "Pause")},
    {kCmdStop, "button-stop", 72, 90, false, QT_TRANSLATE_NOOP("larkspan::RecorderWindow", "Stop")},
    {kCmdRecord, "button-record", 108, 90, false, QT_TRANSLATE_NOOP("larkspan::RecorderWindow", "Record Start")},
    {kCmdRecordCancel, "button-record-cancel", 137, 90, false,
     QT_TRANSLATE_NOOP("larkspan::RecorderWindow", "Record Cancel")},
    {kCmdOpen, "button-open", 173, 90, true, QT_TRANSLATE_NOOP("larkspan::RecorderWindow", "Open")},
    {kCmdMenu, "button-menu", 208, 90, true, nullptr},
    {kCmdMinimise, "button-minimise", 239, 4, true, nullptr},
    {kCmdSpare, "button-spare", 249, 4, false, nullptr},
    {kCmdClose, "button-close", 259, 4, true, nullptr},
};

const QRect kTitleRect(110, 22, 146, 17);
const QColor kTitleColour(250, 241, 5);
// One decibel per key press.
constexpr int kVolumeKeyStep = 100;
constexpr int kPlaybackChainInterval = 1000;

// Commands whose work is done by the record list, the player, the detector
// or the preferences dialog.
bool IsForwarded(int id) {
    switch (id) {
    case kCmdPlay:
    case kCmdPause:
    case kCmdRecord:
    case kCmdRecordCancel:
    case kCmdPreferences:
    case kCmdSave:
    case kCmdSaveAs:
    case kCmdCopyToClipboard:
    case kCmdDetectStart:
    case kCmdDetectStop:
        return true;
    default:
        return false;
    }
}

// Dropped addresses the recorder can take: local files as paths, stream URLs
// as their text (as typed, when they came as text).
QString DroppedSource(const QUrl& url, const QString& text) {
    if (url.isLocalFile())
        return url.toLocalFile();
    static const QStringList kSchemes = {QStringLiteral("http"), QStringLiteral("mms"), QStringLiteral("mmst"),
                                         QStringLiteral("mmsu")};
    if (kSchemes.contains(url.scheme().toLower()))
        return text;
    return {};
}

}  // namespace

RecorderWindow::RecorderWindow(Skin& skin, SettingsProfile& profile, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), skin_(skin), profile_(profile) {
    setWindowTitle(QStringLiteral("LarkspanRecorder"));
    setFixedSize(kPanelWidth, kPanelHeight);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    if (profile.GetInt(kOptionsSection, "OnTopControl", 0) > 0)
        setWindowFlag(Qt::WindowStaysOnTopHint);

    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->geometry());
    const QRect primary = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                           : QRect(0, 0, 1024, 768);
    const QPoint saved(profile.GetInt(kPositionSection, "xPos", 0), profile.GetInt(kPositionSection, "yPos", 0));
    move(InitialPanelPosition(saved, screens, primary));

    settings_.Load(profile);
    recent_.Load(profile);
    commands_ = new RecorderCommands(this);
    connect(commands_, &RecorderCommands::triggered, this, &RecorderWindow::ExecuteCommand);
    connect(commands_->popupMenu(), &QMenu::aboutToShow, this, [this] { PreparePopupMenu(); });
    CreateControls();
    volume_->setValue(profile.GetInt(RecorderSettings::kSection, "Volume", kVolumeSliderMax));
    balance_->setValue(profile.GetInt(RecorderSettings::kSection, "Balance", 100));

    banner_ = new BannerStrip(skin, this);
    chainTimer_.setInterval(kPlaybackChainInterval);
    connect(&chainTimer_, &QTimer::timeout, this, &RecorderWindow::playbackChainTick);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        // Coming back to the program brings the player up, then the panel.
        if (state == Qt::ApplicationActive && player_ && player_->isVisible()) {
            player_->raise();
            raise();
        }
    });
    connect(&skin_, &Skin::changed, this, qOverload<>(&QWidget::update));
}

RecorderWindow::~RecorderWindow() {
    if (!profileSaved_)
        SaveProfileValues();
}

void RecorderWindow::CreateControls() {
    for (const ButtonPlace& place : kButtons) {
        auto* button = new SkinButton(skin_, QLatin1String(place.sheet), SkinButton::Kind::Plain, this);
        button->move(place.x, place.y);
        button->setEnabled(place.enabled);
        if (place.toolTip)
            button->setToolTip(tr(place.toolTip));
        const int id = place.id;
        connect(button, &SkinButton::clicked, this, [this, id] { ExecuteCommand(id); });
        controls_.insert(id, button);
    }
    repeatButton_ = new SkinButton(skin_, QStringLiteral("button-repeat"), SkinButton::Kind::Latching, this);
    repeatButton_->move(236, 90);
    repeatButton_->setLatched(settings_.repeat != 0);
    connect(repeatButton_, &SkinButton::clicked, this, [this] { ExecuteCommand(kCmdRepeat); });
    controls_.insert(kCmdRepeat, repeatButton_);

    seek_ = new SkinSlider(skin_, SkinSlider::Kind::Position, this);
    seek_->setGeometry(16, 72, 243, 6);
    seek_->setRange(0, 0);
    connect(seek_, &SkinSlider::changed, this, &RecorderWindow::OnSeekSlider);
    volume_ = new SkinSlider(skin_, SkinSlider::Kind::Level, this);
    volume_->setGeometry(110, 53, 82, 14);
    volume_->setRange(0, kVolumeSliderMax);
    connect(volume_, &SkinSlider::changed, this, [this] { emit volumeChanged(playerVolume()); });
    balance_ = new SkinSlider(skin_, SkinSlider::Kind::Balance, this);
    balance_->setGeometry(202, 53, 54, 14);
    balance_->setRange(0, 200);
    connect(balance_, &SkinSlider::changed, this, [this](int, int value) { emit balanceChanged(value); });
    controls_.insert(kCtlSeekSlider, seek_);
    controls_.insert(kCtlVolumeSlider, volume_);
    controls_.insert(kCtlBalanceSlider, balance_);

    auto* meter = new SpectrumMeter(skin_, this);
    meter->move(24, 41);
    meter->normalSpeed();
    controls_.insert(kCtlSpectrum, meter);
}

QAction* RecorderWindow::action(int id) const { return commands_->action(id); }

QString RecorderWindow::shownTitle() const { return TitleFileName(title_); }

QString RecorderWindow::timeText() const { return TimeDisplayText(timeSeconds_); }

int RecorderWindow::playerVolume() const { return PlayerVolumeForSlider(volume_->value()); }

void RecorderWindow::SetPlayerWindow(QWidget* player) { player_ = player; }

void RecorderWindow::SetCurrentTitle(const QString& media) {
    title_ = media;
    update(kTitleRect);
}

void RecorderWindow::SetTimeSeconds(int seconds) {
    timeSeconds_ = seconds;
    update(QRect(kTimeDisplayLeft, kTimeDisplayTop, kTimeGlyphAdvance * 8, 13));
}

void RecorderWindow::SetButtonEnabled(int id, bool enabled) {
    if (QWidget* button = controls_.value(id))
        button->setEnabled(enabled);
    ApplyMenuState();
}

void RecorderWindow::SetDetectionRunning(bool running) {
    detecting_ = running;
    ApplyMenuState();
}

void RecorderWindow::SetSelectedSource(const QString& source, bool isLocal) {
    hasSelection_ = !source.isEmpty();
    selectionIsLocal_ = isLocal;
    ApplyMenuState();
}

void RecorderWindow::NoteRecentSource(const QString& source) { recent_.MoveToFront(source.toStdString()); }

void RecorderWindow::ReloadRecentList() { recent_.Load(profile_); }

void RecorderWindow::StopPlaybackChain() { chainTimer_.stop(); }

void RecorderWindow::ApplyMenuState() {
    auto enabled = [this](int id) { return controls_.value(id)->isEnabled(); };
    commands_->ApplyMenuState({enabled(kCmdPlay), enabled(kCmdPause), enabled(kCmdStop), enabled(kCmdRecord),
                                enabled(kCmdRecordCancel), detecting_, hasSelection_, selectionIsLocal_});
}

QMenu* RecorderWindow::PreparePopupMenu() {
    commands_->SetRecentEntries(recent_.Entries());
    action(kCmdRepeat)->setChecked(settings_.repeat != 0);
    ApplyMenuState();
    return commands_->popupMenu();
}

void RecorderWindow::ExecuteCommand(int id) {
    if (IsForwarded(id)) {
        emit commandTriggered(id);
        return;
    }
    if (id >= kCmdRecentFirst && id <= kCmdRecentLast) {
        const std::string entry = recent_.At(id - kCmdRecentFirst);
        if (!entry.empty())
            emit recentChosen(QString::fromStdString(entry));
        return;
    }
    const QUrl page = RecorderCommands::WebPageFor(id);
    if (!page.isEmpty()) {
        QDesktopServices::openUrl(page);
        return;
    }
    switch (id) {
    case kCmdOpen:
        ShowOpenDialog();
        break;
    case kCmdUrlOpen:
        ShowUrlDialog();
        break;
    case kCmdStop:
        chainTimer_.stop();
        emit commandTriggered(id);
        break;
    case kCmdRepeat:
        ToggleRepeat();
        break;
    case kCmdMenu:
        PreparePopupMenu()->popup(QCursor::pos());
        break;
    case kCmdMinimise:
        showMinimized();
        break;
    case kCmdAbout:
        ShowAbout();
        break;
    case kCmdExit:
    case kCmdClose:
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        break;
    default:
        // The spare button and the sibling programs' commands do nothing.
        break;
    }
}

void RecorderWindow::ToggleRepeat() {
    settings_.repeat = settings_.repeat ? 0 : 1;
    repeatButton_->setLatched(settings_.repeat != 0);
    action(kCmdRepeat)->setChecked(settings_.repeat != 0);
    emit repeatChanged(settings_.repeat != 0);
}

void RecorderWindow::ShowOpenDialog() {
    QFileDialog* dialog = CreateMediaFileDialog(this, profile_, true);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        QStringList existing;
        for (const QString& file : files) {
            if (QFileInfo::exists(file))
                existing.append(file);
        }
        RememberChosenFiles(profile_, files);
        if (!existing.isEmpty())
            emit openSources(existing, true);
    });
    dialog->open();
}

void RecorderWindow::ShowUrlDialog() {
    auto* dialog = new UrlOpenDialog(profile_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        const QString text = dialog->text();
        if ((result == QDialog::Accepted || result == UrlOpenDialog::kRecordResult) && !text.isEmpty())
            emit urlOpen(text, result == UrlOpenDialog::kRecordResult);
    });
    dialog->open();
}

void RecorderWindow::ShowAbout() {
    auto* box = new QMessageBox(QMessageBox::Information, tr("About Larkspan Recorder"),
                                tr("Larkspan Recorder %1\nRecords and plays Windows Media streams.")
                                    .arg(QStringLiteral("0.1.0")),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void RecorderWindow::OnSeekSlider(int change, int value) {
    switch (change) {
    case SkinSlider::Dragging:
        seekDragging_ = true;
        SetTimeSeconds(value);
        break;
    case SkinSlider::DragEnded:
        seekDragging_ = false;
        emit seekRequested(value);
        break;
    default:
        // A click on the track steps the position and seeks at once.
        SetTimeSeconds(value);
        emit seekRequested(value);
        break;
    }
}

void RecorderWindow::OnPlayerNotify(int code, int value, double duration, double position) {
    switch (code) {
    case kNotifyStateChanged:
        SetButtonEnabled(kCmdPlay, value == kPlayerStopped || value == kPlayerPaused);
        SetButtonEnabled(kCmdPause, value == kPlayerPlaying);
        SetButtonEnabled(kCmdStop, value == kPlayerPaused || value == kPlayerPlaying);
        break;
    case kNotifyMediaOpened:
        SetTimeSeconds(0);
        seek_->setRange(0, static_cast<int>(duration));
        seek_->setValue(0);
        chainTimer_.start();
        break;
    case kNotifyOpenFailed:
        chainTimer_.start();
        OnPlayerNotify(kNotifyStateChanged, kPlayerStopped, duration, position);
        break;
    case kNotifyTick:
        if (!seekDragging_) {
            seek_->setValue(static_cast<int>(position));
            SetTimeSeconds(static_cast<int>(position));
        }
        break;
    case kNotifyDocking:
        dockValue_ = value;
        if (player_)
            playerOffset_ = player_->pos() - pos();
        break;
    default:
        break;
    }
}

void RecorderWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    skin_.draw(painter, QPoint(0, 0), QStringLiteral("main-background.full"));
    skin_.draw(painter, kTitleRect.topLeft(), QStringLiteral("title-area.full"));
    QFont font(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(kTitleColour);
    const QString title = QFontMetrics(font).elidedText(shownTitle(), Qt::ElideRight, kTitleRect.width());
    painter.drawText(kTitleRect, Qt::AlignCenter | Qt::TextSingleLine, title);
    const QString time = timeText();
    for (int i = 0; i < time.size(); ++i)
        skin_.draw(painter, QPoint(kTimeDisplayLeft + kTimeGlyphAdvance * i, kTimeDisplayTop),
                    TimeGlyphPiece(time.at(i)));
}

bool RecorderWindow::PlatformPlacesWindows() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("windows");
}

void RecorderWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        PreparePopupMenu()->popup(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (PlatformPlacesWindows()) {
        dragging_ = true;
        pressPoint_ = event->position().toPoint();
    } else if (windowHandle()) {
        windowHandle()->startSystemMove();
    }
}

void RecorderWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    QPoint delta = at - pressPoint_;
    if (at.x() == 0 || at.y() == 0)
        delta = QPoint();
    MoveDragged(delta);
}

void RecorderWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
}

void RecorderWindow::MoveDragged(QPoint delta) {
    const QRect moved = geometry().translated(delta);
    QPoint target = moved.topLeft();
    if (player_ && player_->isVisible()) {
        const DockResult dock = DockToPlayer(moved, x(), player_->frameGeometry(), docked_);
        target = dock.position;
        docked_ = dock.docked;
    }
    if (const QScreen* current = screen()) {
        const QRect full = current->geometry();
        const QRect work = current->availableGeometry();
        const QMargins insets(work.left() - full.left(), work.top() - full.top(), full.right() - work.right(),
                              full.bottom() - work.bottom());
        target = SnapToEdges(target, width(), kDockedStackHeight, full, insets);
    }
    move(target);
}

void RecorderWindow::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_VolumeUp:
        step = kVolumeKeyStep;
        break;
    case Qt::Key_Down:
    case Qt::Key_VolumeDown:
        step = -kVolumeKeyStep;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    volume_->setValue(volume_->value() + step);
    emit volumeChanged(playerVolume());
}

void RecorderWindow::moveEvent(QMoveEvent*) {
    banner_->move(pos() + QPoint(0, kPanelHeight));
    emit panelMoved(pos());
}

void RecorderWindow::showEvent(QShowEvent*) {
    banner_->move(pos() + QPoint(0, kPanelHeight));
    banner_->show();
}

void RecorderWindow::hideEvent(QHideEvent*) { banner_->hide(); }

void RecorderWindow::closeEvent(QCloseEvent* event) {
    if (!profileSaved_) {
        emit closing();
        SaveProfileValues();
    }
    event->accept();
}

void RecorderWindow::SaveProfileValues() {
    profileSaved_ = true;
    profile_.WriteInt(kPositionSection, "xPos", x());
    profile_.WriteInt(kPositionSection, "yPos", y());
    profile_.WriteInt(kPositionSection, "cxPos", width());
    profile_.WriteInt(kPositionSection, "cyPos", height());
    profile_.WriteInt(RecorderSettings::kSection, "Volume", volume_->value());
    profile_.WriteInt(RecorderSettings::kSection, "Balance", balance_->value());
    settings_.Save(profile_);
    recent_.Save(profile_);
}

void RecorderWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void RecorderWindow::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    QStringList sources;
    if (data->hasUrls()) {
        for (const QUrl& url : data->urls())
            sources.append(DroppedSource(url, url.toString()));
    } else {
        // Addresses dragged as plain text, one a line.
        for (const QString& line : data->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            sources.append(DroppedSource(QUrl(line.trimmed()), line.trimmed()));
    }
    sources.removeAll(QString());
    if (sources.isEmpty())
        return;
    event->acceptProposedAction();
    emit openSources(sources, false);
    raise();
    activateWindow();
}

}  // namespace larkspan
