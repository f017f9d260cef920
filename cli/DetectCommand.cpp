#include "cli/DetectCommand.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "cli/PrintableText.h"
#include "cli/ProgressDisplay.h"
#include "cli/Terminal.h"
#include "detect/AddressDetector.h"
#include "detect/RunDetection.h"

namespace larkspan::cli {

namespace {

// Collects what the capture thread finds; the main thread prints it.
class ConsoleDetectionSink : public DetectionSink {
public:
    struct Event {
        enum Kind { Address, Title, Message } kind;
        std::string url;
        std::string text;
    };

    void AddRow(const std::string& source, const std::string&, const std::string&) override {
        Push({Event::Address, source, {}});
    }
    int SetRowName(const std::string& url, const std::string& title, const std::string&) override {
        Push({Event::Title, url, title});
        return 0;
    }
    void ShowDetectionMessage(const std::string& text) override { Push({Event::Message, {}, text}); }

    bool Empty() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_.empty();
    }
    std::deque<Event> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::deque<Event> out;
        out.swap(events_);
        return out;
    }

private:
    void Push(Event e) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(e));
    }
    std::mutex mutex_;
    std::deque<Event> events_;
};

// With several interfaces and a terminal, asks; otherwise takes the first.
class ConsoleAdapterChooser : public AdapterChooser {
public:
    std::optional<size_t> ChooseAdapter(const std::vector<CaptureAdapter>& adapters) override {
        if (adapters.empty()) return std::nullopt;
        if (!HaveInteractiveTerminal()) return 0;
        std::fprintf(stderr, "Select Adapter:\n");
        for (size_t i = 0; i < adapters.size(); ++i)
            std::fprintf(stderr, "  %zu) %s%s%s\n", i + 1, Printable(adapters[i].name).c_str(),
                         adapters[i].description.empty() ? "" : " - ", Printable(adapters[i].description).c_str());
        std::string answer;
        if (!ReadTerminalLine("Interface [1]: ", false, answer)) return std::nullopt;
        if (answer.empty()) return 0;
        char* end = nullptr;
        unsigned long n = std::strtoul(answer.c_str(), &end, 10);
        if (*end != '\0' || n < 1 || n > adapters.size()) return std::nullopt;
        return n - 1;
    }
};

}  // namespace

int RunDetectCommand(const Options& options, const std::atomic<int>& interrupts, TerminalLock& terminal,
                     const std::function<void(const std::string&)>& onDetected,
                     const std::function<void()>& poll) {
    ConsoleDetectionSink sink;
    ConsoleAdapterChooser chooser;
    DetectionSource source{options.interface, options.pcapFile};
    std::atomic<bool> done{false};
    std::atomic<int> result{0};
    std::thread capture([&] {
        result = RunDetection(source, sink, &chooser);
        done = true;
    });
    if (options.pcapFile.empty() && !options.quiet)
        std::fprintf(stderr, "Watching for stream addresses; Ctrl-C ends.\n");

    bool cleared = false;
    auto drain = [&] {
        // Nothing is printed over a question; the progress lines of
        // recordings started here make way.
        std::unique_lock<std::mutex> screen(terminal.mutex, std::try_to_lock);
        if (!screen.owns_lock()) return;
        std::deque<ConsoleDetectionSink::Event> events = sink.Take();
        if (!events.empty() && terminal.display) terminal.display->Clear();
        for (auto& e : events) {
            switch (e.kind) {
            case ConsoleDetectionSink::Event::Address:
                std::printf("%s\n", Printable(e.url).c_str());
                std::fflush(stdout);
                if (onDetected) onDetected(e.url);
                break;
            case ConsoleDetectionSink::Event::Title:
                std::printf("%s\ttitle: %s\n", Printable(e.url).c_str(), Printable(e.text).c_str());
                std::fflush(stdout);
                break;
            case ConsoleDetectionSink::Event::Message:
                std::fprintf(stderr, "larkspan-rec: %s\n", Printable(e.text).c_str());
                break;
            }
        }
    };
    while (!done.load()) {
        if (interrupts.load() > 0 && !cleared) {
            AddressDetector::ClearCaptureFlag();
            cleared = true;
        }
        drain();
        if (poll) poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    capture.join();
    // Whatever the capture found last is printed even if a question is up.
    while (!sink.Empty()) {
        drain();
        if (poll) poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (interrupts.load() > 0) return 130;
    return result.load() == 0 ? 0 : result.load() == 2 ? 130 : 1;
}

}  // namespace larkspan::cli
