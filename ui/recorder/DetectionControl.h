#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "detect/DetectionSink.h"
#include "ui/recorder/AdapterDialog.h"

class QWidget;

namespace larkspan {

class AddressDetector;
class RecordList;
class SettingsProfile;
class WorkerBridge;

// The menu's "URL Auto Detect": Start lets the user pick a capture
// interface (or a capture file), remembers the interface in the profile and
// runs the address detector on its own thread, reporting into the record
// list's bridge, so detected addresses become rows and their titles name
// them. Stop, and the start of any recording, clear the capture flag; the
// capture thread lets go of the interface on its own and the detector is
// released on a thread of its own, so the user-interface thread never waits
// for it. runningChanged follows the capture thread: true once it runs,
// false when it has ended (stopped, failed, or at the end of a file).
class DetectionControl : public QObject {
    Q_OBJECT

public:
    static constexpr int kStartCommand = 32785;
    static constexpr int kStopCommand = 32786;
    // Where the interface last chosen is kept.
    static constexpr const char* kProfileSection = "Capture";
    static constexpr const char* kAdapterKey = "Adapter";

    // Replaces the "Select Adapter" dialog: the choice, or nothing for Cancel.
    using ChooseHook =
        std::function<std::optional<CaptureChoice>(const std::vector<CaptureAdapter>& adapters, int selected)>;
    // Replaces the message box.
    using MessageHook = std::function<void(const QString& text)>;

    // list and profile must outlive the control; dialogParent may be null.
    DetectionControl(RecordList& list, SettingsProfile& profile, QWidget* dialogParent = nullptr,
                     QObject* parent = nullptr);
    ~DetectionControl() override;

    // While set, Start reads this capture file (to its end) instead of
    // capturing; an empty path goes back to capturing.
    void SetCaptureFile(const QString& path) { captureFile_ = path; }
    // While set, Start captures on this interface without asking.
    void SetCaptureInterface(const QString& name) { interface_ = name; }
    void SetChooseHook(ChooseHook hook) { choose_ = std::move(hook); }
    void SetMessageHook(MessageHook hook) { message_ = std::move(hook); }

    bool IsRunning() const { return running_; }

    // What the user is told when capturing is refused for lack of rights.
    static QString PermissionMessage();

public slots:
    void Start();
    void Stop();
    // Start for 32785, Stop for 32786; false for other commands.
    bool HandleCommand(int id);

signals:
    void runningChanged(bool running);

private slots:
    void OnDetectionMessage(const QString& text);
    void OnDetectionStopped();

private:
    // Which interface to capture on; nothing when the user cancelled or
    // there is none (then the user has been told why). A chosen capture
    // file goes to `file`.
    std::optional<std::string> ChooseInterface(QString& file);
    void SetRunning(bool running);
    void ShowMessage(const QString& text);
    // Lets go of the detector; a thread of its own waits for its capture
    // thread to end.
    void Retire();

    std::shared_ptr<WorkerBridge> bridge_;
    SettingsProfile& profile_;
    QWidget* dialogParent_;
    std::unique_ptr<AddressDetector> detector_;
    QString captureFile_;
    QString interface_;
    ChooseHook choose_;
    MessageHook message_;
    bool running_ = false;
};

}  // namespace larkspan
