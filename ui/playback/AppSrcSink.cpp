#include "ui/playback/AppSrcSink.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>

namespace larkspan {

namespace {
// The appsrc queue in bytes: a few dozen packets of a typical stream.
constexpr guint64 kQueueBytes = 256 * 1024;
// Buffers pushed at a time: small enough that one write never overfills the
// queue by much.
constexpr size_t kPushPiece = 64 * 1024;
}  // namespace

AppSrcSink::AppSrcSink(std::function<void(const std::string&)> failedEmpty) : failedEmpty_(std::move(failedEmpty)) {}

AppSrcSink::~AppSrcSink() {
    if (!appsrc_) return;
    GstAppSrcCallbacks none = {};
    gst_app_src_set_callbacks(appsrc_, &none, nullptr, nullptr);
    gst_object_unref(appsrc_);
}

void AppSrcSink::Attach(GstElement* element) {
    GstAppSrc* src = GST_APP_SRC(element);
    GstCaps* caps = gst_caps_new_empty_simple("video/x-ms-asf");
    g_object_set(src, "format", GST_FORMAT_BYTES, "stream-type", GST_APP_STREAM_TYPE_STREAM, "do-timestamp", FALSE,
                 "is-live", FALSE, "block", FALSE, "max-bytes", kQueueBytes, "caps", caps, nullptr);
    gst_caps_unref(caps);
    GstAppSrcCallbacks callbacks = {};
    callbacks.need_data = &AppSrcSink::OnNeedData;
    callbacks.enough_data = &AppSrcSink::OnEnoughData;
    gst_app_src_set_callbacks(src, &callbacks, this, nullptr);

    GstAppSrc* previous = nullptr;
    bool endNow = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        previous = appsrc_;
        appsrc_ = GST_APP_SRC(gst_object_ref(src));
        queueFull_ = false;
        endNow = closed_;
    }
    writable_.notify_all();
    if (previous) {
        gst_app_src_set_callbacks(previous, &callbacks, nullptr, nullptr);
        gst_object_unref(previous);
    }
    // A stream that ended cleanly before the pipeline was ready.
    if (endNow) gst_app_src_end_of_stream(src);
}

void AppSrcSink::OnNeedData(GstAppSrc*, unsigned, void* self) {
    if (self) static_cast<AppSrcSink*>(self)->SetQueueFull(false);
}

void AppSrcSink::OnEnoughData(GstAppSrc*, void* self) {
    if (self) static_cast<AppSrcSink*>(self)->SetQueueFull(true);
}

void AppSrcSink::SetQueueFull(bool full) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queueFull_ = full;
    }
    if (!full) writable_.notify_all();
}

bool AppSrcSink::Write(const void* data, size_t size) {
    const auto* from = static_cast<const guint8*>(data);
    while (size > 0) {
        GstAppSrc* src = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            writable_.wait(lock, [&] { return cancelled_ || closed_ || (appsrc_ && !queueFull_); });
            if (cancelled_ || closed_) {
                writeError_ = cancelled_ ? cancelReason_ : "the stream was closed for writing";
                return false;
            }
            src = GST_APP_SRC(gst_object_ref(appsrc_));
        }
        const size_t n = std::min(size, kPushPiece);
        GstBuffer* buffer = gst_buffer_new_memdup(from, n);
        const GstFlowReturn flow = gst_app_src_push_buffer(src, buffer);  // takes the buffer
        gst_object_unref(src);
        if (flow != GST_FLOW_OK) {
            writeError_ = "the player stopped reading";
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pushed_ += n;
        }
        from += n;
        size -= n;
    }
    return true;
}

uint64_t AppSrcSink::Position() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pushed_;
}

void AppSrcSink::CloseWriting(const std::string& errorText) {
    // The end is handed on under the lock, so that once Cancel has returned
    // nothing reaches the pipeline or the engine any more.
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || cancelled_) return;
    closed_ = true;
    writable_.notify_all();
    if (pushed_ == 0 && !errorText.empty()) {
        if (failedEmpty_) failedEmpty_(errorText);
    } else if (appsrc_) {
        gst_app_src_end_of_stream(appsrc_);
    }  // else the end goes at Attach
}

void AppSrcSink::Cancel(const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) return;
        cancelled_ = true;
        cancelReason_ = reason;
    }
    writable_.notify_all();
}

}  // namespace larkspan
