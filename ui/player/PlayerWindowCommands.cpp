// The player's commands: its actions with their ids and keys, the context
// menu, and the commands that are not about captions.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

#include <algorithm>
#include <functional>

#include "recorder/RecorderSettings.h"
#include "ui/player/CaptionWindow.h"
#include "ui/player/FilterPropertiesDialog.h"
#include "ui/player/PlayerWindow.h"

namespace larkspan {

namespace pc = player_command;

namespace {

constexpr int kVolumeStep = 100;
constexpr int kSilentVolume = -10000;
constexpr int kFullVolume = 0;

}  // namespace

QAction* PlayerWindow::AddCommand(int id, const QString& label, const QList<QKeySequence>& keys, bool checkable,
                                  const std::function<void()>& handler) {
    auto* action = new QAction(label, this);
    action->setData(id);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, handler] {
        handler();
        SyncChecks();  // a checkable action flips itself; the settings decide
    });
    addAction(action);
    actions_.insert(id, action);
    return action;
}

void PlayerWindow::CreateActions() {
    using K = QKeySequence;
    const bool plain = false;
    const bool check = true;
    const auto call = [this](void (PlayerWindow::*method)()) { return [this, method] { (this->*method)(); }; };
    AddCommand(pc::kOpen, tr("Open(&O)..."), {}, plain, [this] { emit ownerCommand(pc::kOwnerOpen); });
    AddCommand(pc::kUrlOpen, tr("URL Open(&U)..."), {}, plain, [this] { emit ownerCommand(pc::kOwnerUrlOpen); });

    AddCommand(pc::kPlayPause, tr("Play/Pause"), {K(Qt::Key_Space)}, plain, call(&PlayerWindow::PlayPauseCommand));
    AddCommand(pc::kStop, tr("Stop"), {K(Qt::CTRL | Qt::Key_S)}, plain, call(&PlayerWindow::StopCommand));
    struct JumpCommand {
        int id;
        const char* label;
        QKeySequence key;
        int seconds;
    };
    for (const JumpCommand& jump :
         {JumpCommand{pc::kBack30, QT_TR_NOOP("Back 30 Second"), K(Qt::SHIFT | Qt::Key_Left), -30},
          JumpCommand{pc::kForward30, QT_TR_NOOP("Fwd 30 second"), K(Qt::SHIFT | Qt::Key_Right), 30},
          JumpCommand{pc::kBack60, QT_TR_NOOP("Back 1 minute"), K(Qt::CTRL | Qt::Key_Left), -60},
          JumpCommand{pc::kForward60, QT_TR_NOOP("Fwd 1 minute"), K(Qt::CTRL | Qt::Key_Right), 60}})
        AddCommand(jump.id, tr(jump.label), {jump.key}, plain, [this, seconds = jump.seconds] { Jump(seconds); });
    AddCommand(pc::kRepeat, tr("Repeat(&R)"), {}, check, [this] { settings_.repeat = !settings_.repeat; });
    AddCommand(pc::kSlowSpeed, tr("Slow speed(&1)"), {K(Qt::CTRL | Qt::Key_1)}, plain, [this] { engine_->RateDown(); });
    AddCommand(pc::kNormalSpeed, tr("Normal speed(&2)"), {K(Qt::CTRL | Qt::Key_2)}, plain,
               [this] { engine_->SetRate(1.0); });
    AddCommand(pc::kFastSpeed, tr("Fast speed(&3)"), {K(Qt::CTRL | Qt::Key_3)}, plain, [this] { engine_->RateUp(); });

    AddCommand(pc::kVolumeUp, tr("Up"), {K(Qt::CTRL | Qt::Key_Up)}, plain, call(&PlayerWindow::VolumeUp));
    AddCommand(pc::kVolumeDown, tr("Down"), {K(Qt::CTRL | Qt::Key_Down)}, plain, call(&PlayerWindow::VolumeDown));
    AddCommand(pc::kMute, tr("Mute"), {K(Qt::Key_Delete)}, check, call(&PlayerWindow::ToggleMute));

    AddCommand(pc::kHideCaption, tr("Hide caption(&H)"), {K(Qt::ALT | Qt::Key_X)}, check,
               call(&PlayerWindow::ToggleHideCaption));
    AddCommand(pc::kFontBigger, tr("Font Bigger(&L)"), {K(Qt::ALT | Qt::Key_F1)}, plain,
               call(&PlayerWindow::FontBigger));
    AddCommand(pc::kFontSmaller, tr("Font Samller(&K)"), {K(Qt::ALT | Qt::Key_F2)}, plain,
               call(&PlayerWindow::FontSmaller));
    AddCommand(pc::kFontThick, tr("Font thick(&B)"), {K(Qt::ALT | Qt::Key_F3)}, plain,
               call(&PlayerWindow::FontThick));
    AddCommand(pc::kSettingFont, tr("Setting font(&S)..."), {K(Qt::ALT | Qt::Key_S)}, plain,
               call(&PlayerWindow::SettingFont));
    AddCommand(pc::kLargeCaption, tr("Large caption window"), {K(Qt::ALT | Qt::Key_F9)}, plain,
               call(&PlayerWindow::LargeCaptionStrip));
    AddCommand(pc::kSmallCaption, tr("Small caption window"), {K(Qt::ALT | Qt::Key_F10)}, plain,
               call(&PlayerWindow::SmallCaptionStrip));
    AddCommand(pc::kCaptionWindow, tr("Separate caption window"), {}, check,
               call(&PlayerWindow::ToggleCaptionWindow));

    struct SizeCommand {
        int id;
        const char* label;
        QKeySequence key;
        PlayerSizeMode mode;
    };
    for (const SizeCommand& size :
         {SizeCommand{pc::kHalfSize, QT_TR_NOOP("Half Size"), K(Qt::ALT | Qt::Key_1), PlayerSizeMode::Half},
          SizeCommand{pc::kNormalSize, QT_TR_NOOP("Normal Size"), K(Qt::ALT | Qt::Key_2), PlayerSizeMode::Normal},
          SizeCommand{pc::kDoubleSize, QT_TR_NOOP("Double Size"), K(Qt::ALT | Qt::Key_3), PlayerSizeMode::Double}})
        AddCommand(size.id, tr(size.label), {size.key}, check, [this, mode = size.mode] { SetSizeMode(mode); });
    AddCommand(pc::kFullSize, tr("Full Size"), {K(Qt::ALT | Qt::Key_Return), K(Qt::ALT | Qt::Key_Enter)}, check,
               call(&PlayerWindow::ToggleFullScreen));
    // Esc only ever leaves full screen.
    auto* escape = new QAction(this);
    escape->setShortcut(K(Qt::Key_Escape));
    escape->setShortcutContext(Qt::WindowShortcut);
    connect(escape, &QAction::triggered, this, [this] {
        LeaveFullScreen();
        SyncChecks();
    });
    addAction(escape);

    AddCommand(pc::kKeepSize, tr("Keep screen size(&S)"), {}, check,
               [this] { settings_.keepSize = !settings_.keepSize; });
    AddCommand(pc::kKeepRatio, tr("Keep Ratio(&R)"), {}, check, call(&PlayerWindow::ToggleKeepRatio));
    AddCommand(pc::kOnTop, tr("On Top(&T)"), {}, check, call(&PlayerWindow::ToggleOnTop));
    AddCommand(pc::kProtectScreenSaver, tr("Protect Screen Save(&V)"), {}, check,
               call(&PlayerWindow::ToggleProtectScreenSaver));
    AddCommand(pc::kExit, tr("E&xit"), {K(Qt::ALT | Qt::Key_F4)}, plain, call(&PlayerWindow::ExitCommand));
    // Commands without a menu item or key.
    AddCommand(pc::kHide, {}, {}, plain, [this] { hide(); });
    AddCommand(pc::kCopyFrame, {}, {}, plain, call(&PlayerWindow::CopyFrame));
    SyncChecks();
}

void PlayerWindow::SyncChecks() {
    const auto mark = [this](int id, bool on) { actions_[id]->setChecked(on); };
    mark(pc::kRepeat, settings_.repeat != 0);
    mark(pc::kMute, engine_->IsMuted());
    mark(pc::kKeepSize, settings_.keepSize != 0);
    mark(pc::kKeepRatio, settings_.keep != 0);
    mark(pc::kHalfSize, settings_.PlayerSizeMode == 0);
    mark(pc::kNormalSize, settings_.PlayerSizeMode == 1);
    mark(pc::kDoubleSize, settings_.PlayerSizeMode == 2);
    mark(pc::kFullSize, fullScreen_);
    mark(pc::kOnTop, settings_.onTop != 0);
    mark(pc::kProtectScreenSaver, settings_.screenSave != 0);
    mark(pc::kHideCaption, settings_.enableCaption == 0);
    mark(pc::kCaptionWindow, captionWindow_ != nullptr);
}

bool PlayerWindow::RunCommand(int id) {
    QAction* action = actions_.value(id);
    if (!action) return false;
    action->trigger();
    return true;
}

QMenu* PlayerWindow::CreateContextMenu() {
    SyncChecks();
    auto* menu = new QMenu(this);
    const auto add = [this](QMenu* to, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0)
                to->addSeparator();
            else
                to->addAction(actions_[id]);
        }
    };
    add(menu, {pc::kOpen, pc::kUrlOpen, 0});
    add(menu->addMenu(tr("Play Control(&P)")),
        {pc::kPlayPause, pc::kStop, 0, pc::kBack30, pc::kForward30, pc::kBack60, pc::kForward60, 0, pc::kRepeat, 0,
         pc::kSlowSpeed, pc::kNormalSpeed, pc::kFastSpeed});
    add(menu->addMenu(tr("Volume(&V)")), {pc::kVolumeUp, pc::kVolumeDown, pc::kMute});
    QMenu* captions = menu->addMenu(tr("Caption Control"));
    add(captions, {pc::kHideCaption, 0, pc::kFontBigger, pc::kFontSmaller, pc::kFontThick, pc::kSettingFont, 0,
                   pc::kLargeCaption, pc::kSmallCaption, 0, pc::kCaptionWindow});
    captions->setEnabled(engine_->HasCaptions());

    const std::vector<std::string> filters = engine_->ListFilters();
    if (!filters.empty()) {
        QMenu* filterMenu = menu->addMenu(tr("Filter settings"));
        for (const std::string& filter : filters) {
            const QString name = QString::fromStdString(filter);
            connect(filterMenu->addAction(name), &QAction::triggered, this,
                    [this, name] { ShowFilterProperties(name); });
        }
    }
    add(menu, {0, pc::kHalfSize, pc::kNormalSize, pc::kDoubleSize, pc::kFullSize, pc::kKeepSize, 0, pc::kKeepRatio,
               pc::kOnTop, pc::kProtectScreenSaver, 0, pc::kExit});
    return menu;
}

void PlayerWindow::ShowFilterProperties(const QString& name) {
    auto* dialog = new FilterPropertiesDialog(name, engine_->FilterProperties(name.toStdString()), this);
    dialog->show();
}

void PlayerWindow::VolumeUp() { SetVolumeAndShow(std::min(engine_->GetVolume() + kVolumeStep, kFullVolume)); }

void PlayerWindow::VolumeDown() { SetVolumeAndShow(std::max(engine_->GetVolume() - kVolumeStep, kSilentVolume)); }

void PlayerWindow::ToggleMute() {
    engine_->SetMute(!engine_->IsMuted());
    if (engine_->IsMuted())
        ShowMessage(tr("Mute"));
    else
        ShowMessage(tr("Volume : %1 %").arg((engine_->GetVolume() + 10000) / 100));
}

void PlayerWindow::ToggleKeepRatio() {
    settings_.keep = !settings_.keep;
    ShowMessage(settings_.keep ? tr("Keep screen ratio") : tr("Do not keep screen ratio"));
    Relayout(size());
}

void PlayerWindow::ToggleOnTop() {
    settings_.onTop = !settings_.onTop;
    SetOnTop(settings_.onTop != 0);
    if (captionWindow_) captionWindow_->SetOnTop(settings_.onTop != 0);
}

void PlayerWindow::ToggleProtectScreenSaver() {
    settings_.screenSave = !settings_.screenSave;
    UpdateScreenSaver();
}

void PlayerWindow::CopyFrame() {
    const QImage frame = engine_->LastFrame();
    if (!frame.isNull()) QGuiApplication::clipboard()->setImage(frame);
}

}  // namespace larkspan
