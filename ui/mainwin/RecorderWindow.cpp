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
bool IsForwarded(int id)
{
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
QString DroppedSource(const QUrl& url, const QString& text)
{
    if (url.isLocalFile())
        return url.toLocalFile();
    static const QStringList kSchemes = {QStringLiteral("http"), QStringLiteral("mms"), QStringLiteral("mmst"),
                                         QStringLiteral("mmsu")};
    if (kSchemes.contains(url.scheme().toLower()))
        return text;
    return {};
}

} // namespace

RecorderWindow::RecorderWindow(Skin& skin, SettingsProfile& profile, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_skin(skin), m_profile(profile)
{
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

    m_settings.Load(profile);
    m_recent.Load(profile);
    m_commands = new RecorderCommands(this);
    connect(m_commands, &RecorderCommands::triggered, this, &RecorderWindow::ExecuteCommand);
    connect(m_commands->popupMenu(), &QMenu::aboutToShow, this, [this] { PreparePopupMenu(); });
    CreateControls();
    m_volume->setValue(profile.GetInt(RecorderSettings::kSection, "Volume", kVolumeSliderMax));
    m_balance->setValue(profile.GetInt(RecorderSettings::kSection, "Balance", 100));

    m_banner = new BannerStrip(skin, this);
    m_chainTimer.setInterval(kPlaybackChainInterval);
    connect(&m_chainTimer, &QTimer::timeout, this, &RecorderWindow::playbackChainTick);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        // Coming back to the program brings the player up, then the panel.
        if (state == Qt::ApplicationActive && m_player && m_player->isVisible()) {
            m_player->raise();
            raise();
        }
    });
    connect(&m_skin, &Skin::changed, this, qOverload<>(&QWidget::update));
}

RecorderWindow::~RecorderWindow()
{
    if (!m_profileSaved)
        SaveProfileValues();
}

void RecorderWindow::CreateControls()
{
    for (const ButtonPlace& place : kButtons) {
        auto* button = new SkinButton(m_skin, QLatin1String(place.sheet), SkinButton::Kind::Plain, this);
        button->move(place.x, place.y);
        button->setEnabled(place.enabled);
        if (place.toolTip)
            button->setToolTip(tr(place.toolTip));
        const int id = place.id;
        connect(button, &SkinButton::clicked, this, [this, id] { ExecuteCommand(id); });
        m_controls.insert(id, button);
    }
    m_repeatButton = new SkinButton(m_skin, QStringLiteral("button-repeat"), SkinButton::Kind::Latching, this);
    m_repeatButton->move(236, 90);
    m_repeatButton->setLatched(m_settings.repeat != 0);
    connect(m_repeatButton, &SkinButton::clicked, this, [this] { ExecuteCommand(kCmdRepeat); });
    m_controls.insert(kCmdRepeat, m_repeatButton);

    m_seek = new SkinSlider(m_skin, SkinSlider::Kind::Position, this);
    m_seek->setGeometry(16, 72, 243, 6);
    m_seek->setRange(0, 0);
    connect(m_seek, &SkinSlider::changed, this, &RecorderWindow::OnSeekSlider);
    m_volume = new SkinSlider(m_skin, SkinSlider::Kind::Level, this);
    m_volume->setGeometry(110, 53, 82, 14);
    m_volume->setRange(0, kVolumeSliderMax);
    connect(m_volume, &SkinSlider::changed, this, [this] { emit volumeChanged(playerVolume()); });
    m_balance = new SkinSlider(m_skin, SkinSlider::Kind::Balance, this);
    m_balance->setGeometry(202, 53, 54, 14);
    m_balance->setRange(0, 200);
    connect(m_balance, &SkinSlider::changed, this, [this](int, int value) { emit balanceChanged(value); });
    m_controls.insert(kCtlSeekSlider, m_seek);
    m_controls.insert(kCtlVolumeSlider, m_volume);
    m_controls.insert(kCtlBalanceSlider, m_balance);

    auto* meter = new SpectrumMeter(m_skin, this);
    meter->move(24, 41);
    meter->normalSpeed();
    m_controls.insert(kCtlSpectrum, meter);
}

QAction* RecorderWindow::action(int id) const { return m_commands->action(id); }

QString RecorderWindow::shownTitle() const { return TitleFileName(m_title); }

QString RecorderWindow::timeText() const { return TimeDisplayText(m_timeSeconds); }

int RecorderWindow::playerVolume() const { return PlayerVolumeForSlider(m_volume->value()); }

void RecorderWindow::SetPlayerWindow(QWidget* player) { m_player = player; }

void RecorderWindow::SetCurrentTitle(const QString& media)
{
    m_title = media;
    update(kTitleRect);
}

void RecorderWindow::SetTimeSeconds(int seconds)
{
    m_timeSeconds = seconds;
    update(QRect(kTimeDisplayLeft, kTimeDisplayTop, kTimeGlyphAdvance * 8, 13));
}

void RecorderWindow::SetButtonEnabled(int id, bool enabled)
{
    if (QWidget* button = m_controls.value(id))
        button->setEnabled(enabled);
    ApplyMenuState();
}

void RecorderWindow::SetDetectionRunning(bool running)
{
    m_detecting = running;
    ApplyMenuState();
}

void RecorderWindow::SetSelectedSource(const QString& source, bool isLocal)
{
    m_hasSelection = !source.isEmpty();
    m_selectionIsLocal = isLocal;
    ApplyMenuState();
}

void RecorderWindow::NoteRecentSource(const QString& source) { m_recent.MoveToFront(source.toStdString()); }

void RecorderWindow::ReloadRecentList() { m_recent.Load(m_profile); }

void RecorderWindow::StopPlaybackChain() { m_chainTimer.stop(); }

void RecorderWindow::ApplyMenuState()
{
    auto enabled = [this](int id) { return m_controls.value(id)->isEnabled(); };
    m_commands->ApplyMenuState({enabled(kCmdPlay), enabled(kCmdPause), enabled(kCmdStop), enabled(kCmdRecord),
                                enabled(kCmdRecordCancel), m_detecting, m_hasSelection, m_selectionIsLocal});
}

QMenu* RecorderWindow::PreparePopupMenu()
{
    m_commands->SetRecentEntries(m_recent.Entries());
    action(kCmdRepeat)->setChecked(m_settings.repeat != 0);
    ApplyMenuState();
    return m_commands->popupMenu();
}

void RecorderWindow::ExecuteCommand(int id)
{
    if (IsForwarded(id)) {
        emit commandTriggered(id);
        return;
    }
    if (id >= kCmdRecentFirst && id <= kCmdRecentLast) {
        const std::string entry = m_recent.At(id - kCmdRecentFirst);
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
        m_chainTimer.stop();
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

void RecorderWindow::ToggleRepeat()
{
    m_settings.repeat = m_settings.repeat ? 0 : 1;
    m_repeatButton->setLatched(m_settings.repeat != 0);
    action(kCmdRepeat)->setChecked(m_settings.repeat != 0);
    emit repeatChanged(m_settings.repeat != 0);
}

void RecorderWindow::ShowOpenDialog()
{
    QFileDialog* dialog = CreateMediaFileDialog(this, m_profile, true);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        QStringList existing;
        for (const QString& file : files) {
            if (QFileInfo::exists(file))
                existing.append(file);
        }
        RememberChosenFiles(m_profile, files);
        if (!existing.isEmpty())
            emit openSources(existing, true);
    });
    dialog->open();
}

void RecorderWindow::ShowUrlDialog()
{
    auto* dialog = new UrlOpenDialog(m_profile, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        const QString text = dialog->text();
        if ((result == QDialog::Accepted || result == UrlOpenDialog::kRecordResult) && !text.isEmpty())
            emit urlOpen(text, result == UrlOpenDialog::kRecordResult);
    });
    dialog->open();
}

void RecorderWindow::ShowAbout()
{
    auto* box = new QMessageBox(QMessageBox::Information, tr("About Larkspan Recorder"),
                                tr("Larkspan Recorder %1\nRecords and plays Windows Media streams.")
                                    .arg(QStringLiteral("0.1.0")),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void RecorderWindow::OnSeekSlider(int change, int value)
{
    switch (change) {
    case SkinSlider::Dragging:
        m_seekDragging = true;
        SetTimeSeconds(value);
        break;
    case SkinSlider::DragEnded:
        m_seekDragging = false;
        emit seekRequested(value);
        break;
    default:
        // A click on the track steps the position and seeks at once.
        SetTimeSeconds(value);
        emit seekRequested(value);
        break;
    }
}

void RecorderWindow::OnPlayerNotify(int code, int value, double duration, double position)
{
    switch (code) {
    case kNotifyStateChanged:
        SetButtonEnabled(kCmdPlay, value == kPlayerStopped || value == kPlayerPaused);
        SetButtonEnabled(kCmdPause, value == kPlayerPlaying);
        SetButtonEnabled(kCmdStop, value == kPlayerPaused || value == kPlayerPlaying);
        break;
    case kNotifyMediaOpened:
        SetTimeSeconds(0);
        m_seek->setRange(0, static_cast<int>(duration));
        m_seek->setValue(0);
        m_chainTimer.start();
        break;
    case kNotifyOpenFailed:
        m_chainTimer.start();
        OnPlayerNotify(kNotifyStateChanged, kPlayerStopped, duration, position);
        break;
    case kNotifyTick:
        if (!m_seekDragging) {
            m_seek->setValue(static_cast<int>(position));
            SetTimeSeconds(static_cast<int>(position));
        }
        break;
    case kNotifyDocking:
        m_dockValue = value;
        if (m_player)
            m_playerOffset = m_player->pos() - pos();
        break;
    default:
        break;
    }
}

void RecorderWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_skin.draw(painter, QPoint(0, 0), QStringLiteral("main-background.full"));
    m_skin.draw(painter, kTitleRect.topLeft(), QStringLiteral("title-area.full"));
    QFont font(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(kTitleColour);
    const QString title = QFontMetrics(font).elidedText(shownTitle(), Qt::ElideRight, kTitleRect.width());
    painter.drawText(kTitleRect, Qt::AlignCenter | Qt::TextSingleLine, title);
    const QString time = timeText();
    for (int i = 0; i < time.size(); ++i)
        m_skin.draw(painter, QPoint(kTimeDisplayLeft + kTimeGlyphAdvance * i, kTimeDisplayTop),
                    TimeGlyphPiece(time.at(i)));
}

bool RecorderWindow::PlatformPlacesWindows()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("windows");
}

void RecorderWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        PreparePopupMenu()->popup(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (PlatformPlacesWindows()) {
        m_dragging = true;
        m_pressPoint = event->position().toPoint();
    } else if (windowHandle()) {
        windowHandle()->startSystemMove();
    }
}

void RecorderWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    QPoint delta = at - m_pressPoint;
    if (at.x() == 0 || at.y() == 0)
        delta = QPoint();
    MoveDragged(delta);
}

void RecorderWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
}

void RecorderWindow::MoveDragged(QPoint delta)
{
    const QRect moved = geometry().translated(delta);
    QPoint target = moved.topLeft();
    if (m_player && m_player->isVisible()) {
        const DockResult dock = DockToPlayer(moved, x(), m_player->frameGeometry(), m_docked);
        target = dock.position;
        m_docked = dock.docked;
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

void RecorderWindow::keyPressEvent(QKeyEvent* event)
{
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
    m_volume->setValue(m_volume->value() + step);
    emit volumeChanged(playerVolume());
}

void RecorderWindow::moveEvent(QMoveEvent*)
{
    m_banner->move(pos() + QPoint(0, kPanelHeight));
    emit panelMoved(pos());
}

void RecorderWindow::showEvent(QShowEvent*)
{
    m_banner->move(pos() + QPoint(0, kPanelHeight));
    m_banner->show();
}

void RecorderWindow::hideEvent(QHideEvent*) { m_banner->hide(); }

void RecorderWindow::closeEvent(QCloseEvent* event)
{
    if (!m_profileSaved) {
        emit closing();
        SaveProfileValues();
    }
    event->accept();
}

void RecorderWindow::SaveProfileValues()
{
    m_profileSaved = true;
    m_profile.WriteInt(kPositionSection, "xPos", x());
    m_profile.WriteInt(kPositionSection, "yPos", y());
    m_profile.WriteInt(kPositionSection, "cxPos", width());
    m_profile.WriteInt(kPositionSection, "cyPos", height());
    m_profile.WriteInt(RecorderSettings::kSection, "Volume", m_volume->value());
    m_profile.WriteInt(RecorderSettings::kSection, "Balance", m_balance->value());
    m_settings.Save(m_profile);
    m_recent.Save(m_profile);
}

void RecorderWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void RecorderWindow::dropEvent(QDropEvent* event)
{
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

} // namespace larkspan
