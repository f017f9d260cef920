#include "ui/recorder/DetectionControl.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <thread>

#include "detect/AddressDetector.h"
#include "detect/PacketCapture.h"
#include "recorder/SettingsProfile.h"
#include "ui/recorder/RecordList.h"

namespace larkspan {

DetectionControl::DetectionControl(RecordList& list, SettingsProfile& profile, QWidget* dialogParent,
                                   QObject* parent)
    : QObject(parent), bridge_(list.Bridge()), profile_(profile), dialogParent_(dialogParent) {
    // Rows and titles reach the list through the bridge already; failures
    // and the end of the capture come here.
    connect(bridge_.get(), &WorkerBridge::detectionMessage, this, &DetectionControl::OnDetectionMessage);
    connect(bridge_.get(), &WorkerBridge::detectionStopped, this, &DetectionControl::OnDetectionStopped);
    connect(&list, &RecordList::recordingStarted, this, &DetectionControl::Stop);
}

DetectionControl::~DetectionControl() {
    if (running_) AddressDetector::ClearCaptureFlag();
    Retire();
}

QString DetectionControl::PermissionMessage() {
    return tr("Capturing needs the right to capture packets. Grant it once with: "
              "sudo setcap cap_net_raw,cap_net_admin=eip %1")
        .arg(QCoreApplication::applicationFilePath());
}

bool DetectionControl::HandleCommand(int id) {
    if (id == kStartCommand) {
        Start();
    } else if (id == kStopCommand) {
        Stop();
    } else {
        return false;
    }
    return true;
}

void DetectionControl::Start() {
    // The menu grays Start until the last capture thread has ended.
    if (running_) return;
    QString file = captureFile_;
    std::optional<std::string> interfaceName;
    if (file.isEmpty()) {
        interfaceName = ChooseInterface(file);
        if (!interfaceName && file.isEmpty()) return;
    }
    detector_ = std::make_unique<AddressDetector>(*bridge_);
    // A failure to open reaches the bridge as a detection message.
    const bool started = file.isEmpty() ? detector_->StartDetectionOn(*interfaceName)
                                        : detector_->StartDetectionFromFile(file.toStdString());
    if (!started) {
        detector_.reset();  // no thread was started: nothing to wait for
        return;
    }
    SetRunning(true);
}

std::optional<std::string> DetectionControl::ChooseInterface(QString& file) {
    if (!interface_.isEmpty()) return interface_.toStdString();
    std::string error;
    const std::vector<CaptureAdapter> adapters = ListCaptureAdapters(error);
    if (adapters.empty()) {
        OnDetectionMessage(QString::fromStdString(error));
        return std::nullopt;
    }
    if (adapters.size() == 1) return adapters[0].name;
    const std::string remembered = profile_.GetString(kProfileSection, kAdapterKey, "");
    int selected = 0;
    for (size_t i = 0; i < adapters.size(); ++i)
        if (adapters[i].name == remembered) selected = static_cast<int>(i);
    const std::optional<CaptureChoice> choice =
        choose_ ? choose_(adapters, selected) : AdapterDialog::Choose(adapters, selected, dialogParent_);
    if (!choice) return std::nullopt;
    if (!choice->captureFile.isEmpty()) {
        file = choice->captureFile;
        return std::nullopt;
    }
    const size_t index = choice->index >= 0 && size_t(choice->index) < adapters.size() ? size_t(choice->index) : 0;
    profile_.WriteString(kProfileSection, kAdapterKey, adapters[index].name);
    return adapters[index].name;
}

void DetectionControl::Stop() { AddressDetector::ClearCaptureFlag(); }

void DetectionControl::OnDetectionMessage(const QString& text) {
    const bool rights = text.contains(QString::fromStdString(CapturePermissionHint()));
    ShowMessage(rights ? PermissionMessage() : text);
}

void DetectionControl::OnDetectionStopped() {
    if (!running_) return;
    Retire();
    SetRunning(false);
}

void DetectionControl::SetRunning(bool running) {
    if (running_ == running) return;
    running_ = running;
    emit runningChanged(running);
}

void DetectionControl::ShowMessage(const QString& text) {
    if (message_) {
        message_(text);
        return;
    }
    QMessageBox::warning(dialogParent_, QCoreApplication::applicationName(), text);
}

void DetectionControl::Retire() {
    if (!detector_) return;
    // The detector's destructor joins its capture thread; the bridge it
    // reports to stays alive until then.
    std::thread([detector = std::move(detector_), bridge = bridge_]() mutable { detector.reset(); }).detach();
}

}  // namespace larkspan
