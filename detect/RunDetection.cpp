#include "detect/RunDetection.h"

#include "detect/AddressDetector.h"
#include "detect/PacketCapture.h"

namespace larkspan {

int RunDetection(const DetectionSource& source, DetectionSink& sink, AdapterChooser* chooser) {
    AddressDetector detector(sink);
    bool started;
    if (!source.pcapFile.empty()) {
        started = detector.StartDetectionFromFile(source.pcapFile);
    } else if (!source.interfaceName.empty()) {
        started = detector.StartDetectionOn(source.interfaceName);
    } else {
        std::string error;
        std::vector<CaptureAdapter> adapters = ListCaptureAdapters(error);
        if (adapters.empty()) {
            sink.ShowDetectionMessage(error);
            return 1;
        }
        std::optional<size_t> index = ChooseAdapterIndex(adapters, chooser);
        if (!index) return 2;
        started = detector.StartDetectionOn(adapters[*index].name);
    }
    if (!started) return 1;
    detector.Wait();
    return 0;
}

}  // namespace larkspan
