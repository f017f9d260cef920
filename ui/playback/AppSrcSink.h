#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "asf/ByteSink.h"

typedef struct _GstAppSrc GstAppSrc;
typedef struct _GstElement GstElement;

namespace larkspan {

// The writing end of a stream client that feeds a playback pipeline: what
// the client records (the ASF header, then padded packets) is pushed into the
// pipeline's appsrc as a byte stream that cannot seek. A write waits while
// the appsrc's queue is full (so a slow player slows the client down) and
// until the pipeline has made its appsrc; Cancel ends any wait at once.
//
// The writer is the client's thread; Attach and Cancel come from the
// engine's thread.
class AppSrcSink final : public ByteSink {
public:
    // failedEmpty is called (on the client's thread) when the stream ends on
    // a failure before its first byte, with the client's text; never after
    // Cancel has returned.
    explicit AppSrcSink(std::function<void(const std::string&)> failedEmpty);
    ~AppSrcSink() override;
    AppSrcSink(const AppSrcSink&) = delete;
    AppSrcSink& operator=(const AppSrcSink&) = delete;

    // Sets appsrc up as a byte stream source and starts feeding it; an
    // appsrc attached before is let go (the pipeline made a new one).
    void Attach(GstElement* appsrc);

    bool Write(const void* data, size_t size) override;
    uint64_t Position() const override;
    const std::string& ErrorText() const override { return writeError_; }
    // The client is done. After a clean end, or once some bytes went, the
    // pipeline sees the end of the stream after them; a stream that failed
    // before its first byte goes to failedEmpty instead.
    void CloseWriting(const std::string& errorText) override;
    // A waiting write returns at once and every later write fails with
    // reason; once this returns the sink hands nothing more to the pipeline.
    void Cancel(const std::string& reason) override;

private:
    static void OnNeedData(GstAppSrc* src, unsigned length, void* self);
    static void OnEnoughData(GstAppSrc* src, void* self);
    void SetQueueFull(bool full);

    const std::function<void(const std::string&)> failedEmpty_;
    mutable std::mutex mutex_;
    std::condition_variable writable_;
    GstAppSrc* appsrc_ = nullptr;  // a reference of our own while attached
    bool queueFull_ = false;
    bool cancelled_ = false;
    bool closed_ = false;
    std::string cancelReason_;
    uint64_t pushed_ = 0;
    // The writer thread's own copy of the reason its write failed.
    std::string writeError_;
};

}  // namespace larkspan
