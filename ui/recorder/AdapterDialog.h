#pragma once
#include <QDialog>
#include <QString>

#include <optional>
#include <vector>

#include "detect/DetectionSink.h"

class QListWidget;

namespace larkspan {

// What the user picked to detect addresses from: an interface of the list
// (its index), or a capture file recorded earlier.
struct CaptureChoice {
    int index = -1;
    QString captureFile;
};

// "Select Adapter": the capture interfaces with their descriptions, one of
// them selected, and a way to read a capture file instead.
class AdapterDialog : public QDialog {
    Q_OBJECT

public:
    AdapterDialog(const std::vector<CaptureAdapter>& adapters, int selected, QWidget* parent = nullptr);

    // Runs the dialog; nothing when the user cancels.
    static std::optional<CaptureChoice> Choose(const std::vector<CaptureAdapter>& adapters, int selected,
                                               QWidget* parent);

    CaptureChoice Choice() const;

private slots:
    void OpenCaptureFile();

private:
    QListWidget* list_;
    QString captureFile_;
};

}  // namespace larkspan
