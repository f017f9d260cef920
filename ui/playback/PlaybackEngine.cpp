#include "ui/playback/PlaybackEngine.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "recorder/CmmsThread.h"
#include "ui/playback/AppSrcSink.h"
#include "ui/playback/PlaybackMapping.h"

namespace larkspan {

namespace {

// audiopanorama's "method" value that attenuates one side only.
constexpr int kPanoramaSimple = 1;
// The element names the engine looks its own elements up by.
constexpr char kVideoSinkName[] = "video-frames";
constexpr char kTextSinkName[] = "caption-text";
constexpr char kBalanceName[] = "balance";
constexpr char kAudioOutputName[] = "audio-output";

std::string UriFor(const std::string& pathOrUri) {
    if (gst_uri_is_valid(pathOrUri.c_str())) return pathOrUri;
    gchar* uri = gst_filename_to_uri(pathOrUri.c_str(), nullptr);
    std::string text = uri ? uri : "";
    g_free(uri);
    return text;
}

// A file: URI becomes its path, so that a caption file can be looked for
// beside it; anything else stays as it is.
std::string LocalPathOf(const std::string& address) {
    if (address.rfind("file:", 0) != 0) return address;
    gchar* path = g_filename_from_uri(address.c_str(), nullptr, nullptr);
    std::string text = path ? path : address;
    g_free(path);
    return text;
}

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char* kQtRgb32Format = "BGRx";
#else
constexpr const char* kQtRgb32Format = "xRGB";
#endif

GstElement* MakeElement(const char* factory, const char* name) { return gst_element_factory_make(factory, name); }

// A mapped frame kept alive for as long as the image that shows it.
struct MappedFrame {
    GstSample* sample = nullptr;
    GstVideoFrame frame;
};

void ReleaseMappedFrame(void* data) {
    auto* mapped = static_cast<MappedFrame*>(data);
    gst_video_frame_unmap(&mapped->frame);
    gst_sample_unref(mapped->sample);
    delete mapped;
}

// The sample's picture without copying it: the image holds the sample until
// its last copy goes.
QImage ImageOf(GstSample* sample) {
    GstVideoInfo info;
    if (!sample || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return {};
    auto* mapped = new MappedFrame;
    if (!gst_video_frame_map(&mapped->frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
        delete mapped;
        return {};
    }
    mapped->sample = gst_sample_ref(sample);
    return QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0)),
                  GST_VIDEO_FRAME_WIDTH(&mapped->frame), GST_VIDEO_FRAME_HEIGHT(&mapped->frame),
                  GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0), QImage::Format_RGB32, &ReleaseMappedFrame, mapped);
}

QString TextOf(GstSample* sample) {
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample) : nullptr;
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return {};
    // A caption may end in a terminating zero; the text stops there.
    size_t size = 0;
    while (size < map.size && map.data[size] != 0) ++size;
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(map.data), static_cast<qsizetype>(size));
    gst_buffer_unmap(buffer, &map);
    return text;
}

}  // namespace

struct PlaybackEngine::Pipeline {
    PlaybackEngine* engine = nullptr;
    std::uint64_t generation = 0;
    GstElement* playbin = nullptr;  // owned
    GstElement* videoSink = nullptr;
    GstElement* balance = nullptr;
    bool throughClient = false;
    bool withCaptionFile = false;
    std::string address;
    std::unique_ptr<CmmsThread> client;

    // Shared with GStreamer's threads.
    std::mutex mutex;
    std::shared_ptr<AppSrcSink> streamSink;
    QImage latestFrame;
    bool framePending = false;
    bool errorSeen = false;

    template <typename Call>
    void Queue(Call call) {
        QMetaObject::invokeMethod(engine, std::move(call), Qt::QueuedConnection);
    }

    void QueueBusNews(BusNews news, QString text = {}) {
        PlaybackEngine* target = engine;
        const std::uint64_t gen = generation;
        Queue([target, gen, news, text] { target->HandleBusNews(gen, news, text); });
    }

    static GstBusSyncReply OnBusSync(GstBus*, GstMessage* message, gpointer self) {
        auto* p = static_cast<Pipeline*>(self);
        const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(p->playbin);
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ASYNC_DONE:
            if (fromPipeline) p->QueueBusNews(BusNews::AsyncDone);
            break;
        case GST_MESSAGE_EOS:
            if (fromPipeline) p->QueueBusNews(BusNews::EndOfStream);
            break;
        case GST_MESSAGE_CLOCK_LOST:
            p->QueueBusNews(BusNews::ClockLost);
            break;
        case GST_MESSAGE_ERROR: {
            {
                std::lock_guard<std::mutex> lock(p->mutex);
                p->errorSeen = true;
            }
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            p->QueueBusNews(BusNews::Error, QString::fromUtf8(error ? error->message : "playback failed"));
            if (error) g_error_free(error);
            break;
        }
        default:
            break;
        }
        return GST_BUS_DROP;
    }

    static void OnSourceSetup(GstElement*, GstElement* source, gpointer self) {
        auto* p = static_cast<Pipeline*>(self);
        std::shared_ptr<AppSrcSink> sink;
        {
            std::lock_guard<std::mutex> lock(p->mutex);
            sink = p->streamSink;
        }
        if (sink && g_strcmp0(G_OBJECT_TYPE_NAME(source), "GstAppSrc") == 0) sink->Attach(source);
    }

    void TakeFrame(GstSample* sample) {
        QImage image = ImageOf(sample);
        if (sample) gst_sample_unref(sample);
        if (image.isNull()) return;
        bool queue = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            latestFrame = std::move(image);
            queue = !framePending;
            framePending = true;
        }
        if (!queue) return;
        PlaybackEngine* target = engine;
        const std::uint64_t gen = generation;
        Queue([target, gen] { target->HandleFrame(gen); });
    }

    static GstFlowReturn OnVideoSample(GstAppSink* sink, gpointer self) {
        static_cast<Pipeline*>(self)->TakeFrame(gst_app_sink_pull_sample(sink));
        return GST_FLOW_OK;
    }

    static GstFlowReturn OnVideoPreroll(GstAppSink* sink, gpointer self) {
        static_cast<Pipeline*>(self)->TakeFrame(gst_app_sink_pull_preroll(sink));
        return GST_FLOW_OK;
    }

    static GstFlowReturn OnTextSample(GstAppSink* sink, gpointer self) {
        auto* p = static_cast<Pipeline*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        const QString text = TextOf(sample);
        if (sample) gst_sample_unref(sample);
        PlaybackEngine* target = p->engine;
        const std::uint64_t gen = p->generation;
        p->Queue([target, gen, text] { target->HandleCaption(gen, text); });
        return GST_FLOW_OK;
    }

    GstElement* MakeVideoSink(bool sync) {
        GstElement* sink = MakeElement("appsink", kVideoSinkName);
        if (!sink) return nullptr;
        // Qt's own 32-bit layout (0xffRRGGBB in native byte order), so the widget blits frames unconverted.
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, kQtRgb32Format, nullptr);
        g_object_set(sink, "caps", caps, "sync", sync, "max-buffers", 2u, "enable-last-sample", FALSE, nullptr);
        gst_caps_unref(caps);
        GstAppSinkCallbacks callbacks = {};
        callbacks.new_sample = &Pipeline::OnVideoSample;
        callbacks.new_preroll = &Pipeline::OnVideoPreroll;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        return sink;
    }

    GstElement* MakeTextSink(bool sync) {
        GstElement* sink = MakeElement("appsink", kTextSinkName);
        if (!sink) return nullptr;
        GstCaps* caps = gst_caps_new_simple("text/x-raw", "format", G_TYPE_STRING, "utf8", nullptr);
        // Not waited for when pausing: a medium prerolls whether or not a
        // caption starts at its beginning.
        g_object_set(sink, "caps", caps, "sync", sync, "async", FALSE, "enable-last-sample", FALSE, nullptr);
        gst_caps_unref(caps);
        GstAppSinkCallbacks callbacks = {};
        callbacks.new_sample = &Pipeline::OnTextSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        return sink;
    }
};

PlaybackEngine::PlaybackEngine(PlaybackEngineOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    gst_init(nullptr, nullptr);
    qRegisterMetaType<PlaybackEvent>();
}

PlaybackEngine::~PlaybackEngine() { Close(); }

bool PlaybackEngine::Open(const std::string& address) {
    Close();
    clientFailure_.clear();
    return OpenPipeline(address, PlaysThroughStreamClient(address));
}

bool PlaybackEngine::OpenPipeline(const std::string& address, bool throughClient) {
    auto p = std::make_unique<Pipeline>();
    p->engine = this;
    p->generation = ++generation_;
    p->address = address;
    p->throughClient = throughClient;
    p->playbin = MakeElement("playbin", nullptr);
    if (!p->playbin) return false;
    gst_object_ref_sink(p->playbin);
    pipeline_ = std::move(p);
    Pipeline& pipe = *pipeline_;

    pipe.videoSink = pipe.MakeVideoSink(options_.syncToClock);
    GstElement* audioSink = options_.fakeAudioOutput ? MakeElement("fakesink", kAudioOutputName)
                                                     : MakeElement("autoaudiosink", kAudioOutputName);
    if (audioSink && options_.fakeAudioOutput) g_object_set(audioSink, "sync", options_.syncToClock, nullptr);
    pipe.balance = MakeElement("audiopanorama", kBalanceName);
    if (pipe.balance) g_object_set(pipe.balance, "method", kPanoramaSimple, nullptr);
    if (pipe.videoSink) g_object_set(pipe.playbin, "video-sink", pipe.videoSink, nullptr);
    if (audioSink) g_object_set(pipe.playbin, "audio-sink", audioSink, nullptr);
    if (pipe.balance) g_object_set(pipe.playbin, "audio-filter", pipe.balance, nullptr);

    if (pipe.throughClient) {
        g_object_set(pipe.playbin, "uri", "appsrc://", nullptr);
        g_signal_connect(pipe.playbin, "source-setup", G_CALLBACK(&Pipeline::OnSourceSetup), &pipe);
    } else {
        const std::string path = LocalPathOf(address);
        g_object_set(pipe.playbin, "uri", UriFor(path).c_str(), nullptr);
        const std::string captionFile = CaptionFileFor(path);
        std::error_code ec;
        if (!captionFile.empty() && std::filesystem::is_regular_file(captionFile, ec)) {
            GstElement* textSink = pipe.MakeTextSink(options_.syncToClock);
            if (textSink) {
                g_object_set(pipe.playbin, "suburi", UriFor(captionFile).c_str(), "text-sink", textSink, nullptr);
                pipe.withCaptionFile = true;
            }
        }
    }

    GstBus* bus = gst_element_get_bus(pipe.playbin);
    gst_bus_set_sync_handler(bus, &Pipeline::OnBusSync, &pipe, nullptr);
    gst_object_unref(bus);

    openPending_ = true;
    ready_ = false;
    failed_ = false;
    rate_ = 1.0;
    state_ = PlayerState::Paused;
    ApplyVolume();
    SetBalance(balance_);
    if (pipe.throughClient) StartStreamClient();
    if (gst_element_set_state(pipe.playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        bool reported = false;
        {
            std::lock_guard<std::mutex> lock(pipe.mutex);
            reported = pipe.errorSeen;
        }
        if (!reported) pipe.QueueBusNews(BusNews::Error, QStringLiteral("the medium cannot be played"));
    }
    return true;
}

void PlaybackEngine::Close() {
    if (!pipeline_) return;
    StopStreamClient();
    gst_element_set_state(pipeline_->playbin, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline_->playbin);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline_->playbin);
    pipeline_.reset();
    openPending_ = false;
    ready_ = false;
    failed_ = false;
    state_ = PlayerState::Stopped;
    rate_ = 1.0;
    lastPosition_ = 0.0;
    lastFrame_ = QImage();
    events_.clear();
    captions_.clear();
}

bool PlaybackEngine::IsClientStream() const { return pipeline_ && pipeline_->throughClient; }

void PlaybackEngine::StartStreamClient() {
    Pipeline& pipe = *pipeline_;
    RecordJob job;
    job.settings = options_.streamSettings;
    job.sourceRef = pipe.address;
    Pipeline* target = &pipe;
    auto sink = std::make_shared<AppSrcSink>([target](const std::string& why) {
        target->QueueBusNews(BusNews::Error, QString::fromStdString(why));
    });
    {
        std::lock_guard<std::mutex> lock(pipe.mutex);
        pipe.streamSink = sink;
    }
    pipe.client = std::make_unique<CmmsThread>(std::move(job), nullptr, nullptr);
    pipe.client->SetOutputSink(sink);
    pipe.client->Start();
}

void PlaybackEngine::StopStreamClient() {
    Pipeline& pipe = *pipeline_;
    // The sink stays with the pipeline (its appsrc may still call it) until
    // the pipeline has stopped streaming or a new client replaces it.
    std::shared_ptr<AppSrcSink> sink;
    {
        std::lock_guard<std::mutex> lock(pipe.mutex);
        sink = pipe.streamSink;
    }
    if (sink) sink->Cancel("the player closed the stream");
    // The client's thread ends on its own; nothing here waits for it.
    if (pipe.client) CmmsThread::Release(std::move(pipe.client));
}

bool PlaybackEngine::Current(std::uint64_t generation) const {
    return pipeline_ && pipeline_->generation == generation;
}

void PlaybackEngine::HandleBusNews(std::uint64_t generation, BusNews news, const QString& text) {
    if (!Current(generation) || failed_) return;
    switch (news) {
    case BusNews::AsyncDone:
        if (!openPending_) return;
        openPending_ = false;
        ready_ = true;
        emit opened();
        return;
    case BusNews::EndOfStream:
        if (openPending_) {
            // Nothing came to preroll on: an empty stream.
            openPending_ = false;
            failed_ = true;
            emit openFailed(QStringLiteral("the medium holds nothing to play"));
            return;
        }
        PostEvent(PlaybackEvent::Complete, {});
        return;
    case BusNews::ClockLost:
        if (state_ == PlayerState::Playing) {
            gst_element_set_state(pipeline_->playbin, GST_STATE_PAUSED);
            gst_element_set_state(pipeline_->playbin, GST_STATE_PLAYING);
        }
        return;
    case BusNews::Error:
        if (openPending_ && pipeline_->throughClient && IsHttpAddress(pipeline_->address)) {
            // Neither stream client got anything from an http: address: it
            // may be a plain file on a web server, which GStreamer reads
            // itself.
            const std::string address = pipeline_->address;
            clientFailure_ = text;
            Close();
            if (!OpenPipeline(address, false)) emit openFailed(clientFailure_);
            return;
        }
        // The first error of a medium ends it; the ones that follow from it
        // say nothing new.
        failed_ = true;
        ready_ = false;
        StopStreamClient();
        gst_element_set_state(pipeline_->playbin, GST_STATE_NULL);
        state_ = PlayerState::Stopped;
        if (openPending_) {
            openPending_ = false;
            emit openFailed(clientFailure_.isEmpty() ? text : clientFailure_ + QStringLiteral("; ") + text);
        } else {
            PostEvent(PlaybackEvent::ErrorAbort, text);
        }
        return;
    }
}

void PlaybackEngine::HandleFrame(std::uint64_t generation) {
    if (!Current(generation)) return;
    {
        std::lock_guard<std::mutex> lock(pipeline_->mutex);
        lastFrame_ = pipeline_->latestFrame;
        pipeline_->framePending = false;
    }
    emit frameReady(lastFrame_);
}

void PlaybackEngine::HandleCaption(std::uint64_t generation, const QString& text) {
    if (!Current(generation)) return;
    captions_.push_back(text.toStdString());
    emit captionReady(text);
}

void PlaybackEngine::PostEvent(PlaybackEvent event, const QString& text) {
    events_.push_back(event);
    emit eventPosted(event, text);
}

PlaybackEvent PlaybackEngine::PollEvent() {
    if (events_.empty()) return PlaybackEvent::None;
    const PlaybackEvent event = events_.front();
    events_.pop_front();
    return event;
}

bool PlaybackEngine::ReadCaption(std::string& text) {
    if (captions_.empty()) return false;
    text = std::move(captions_.front());
    captions_.pop_front();
    return true;
}

bool PlaybackEngine::HasCaptions() const {
    if (!pipeline_ || !pipeline_->withCaptionFile || failed_) return false;
    gint textStreams = 0;
    g_object_get(pipeline_->playbin, "n-text", &textStreams, nullptr);
    return textStreams > 0;
}

double PlaybackEngine::Duration() const {
    gint64 nanoseconds = 0;
    if (!pipeline_ || !ready_ || !gst_element_query_duration(pipeline_->playbin, GST_FORMAT_TIME, &nanoseconds) ||
        nanoseconds <= 0) {
        return 0.0;
    }
    return static_cast<double>(nanoseconds) / GST_SECOND;
}

double PlaybackEngine::Position() const {
    gint64 nanoseconds = 0;
    if (!pipeline_ || !ready_) return 0.0;
    // At the very end (after a seek there) the sinks hold nothing and cannot
    // answer: the position is the last one known, the time sought included.
    if (gst_element_query_position(pipeline_->playbin, GST_FORMAT_TIME, &nanoseconds) && nanoseconds >= 0) {
        lastPosition_ = static_cast<double>(nanoseconds) / GST_SECOND;
    }
    return lastPosition_;
}

bool PlaybackEngine::SeekTo(double seconds, double rate) {
    const auto start = static_cast<gint64>(std::llround(seconds * GST_SECOND));
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    return gst_element_seek(pipeline_->playbin, rate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, start,
                            GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
}

bool PlaybackEngine::Seek(double seconds) {
    if (!pipeline_ || !ready_ || pipeline_->throughClient) return false;
    if (!std::isfinite(seconds) || seconds < 0.0 || seconds > Duration()) return false;
    if (!SeekTo(seconds, rate_)) return false;
    lastPosition_ = seconds;
    return true;
}

bool PlaybackEngine::Run() {
    if (!pipeline_ || failed_) return false;
    // After Stop a stream connects again.
    if (pipeline_->throughClient && !pipeline_->client) StartStreamClient();
    if (gst_element_set_state(pipeline_->playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return false;
    state_ = PlayerState::Playing;
    return true;
}

bool PlaybackEngine::Pause() {
    if (!pipeline_ || failed_) return false;
    if (pipeline_->throughClient && !pipeline_->client) StartStreamClient();
    if (gst_element_set_state(pipeline_->playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
    state_ = PlayerState::Paused;
    return true;
}

bool PlaybackEngine::Stop() {
    if (!pipeline_ || failed_) return false;
    if (pipeline_->throughClient) {
        // A stream cannot go back: its client stops, and Run connects again.
        StopStreamClient();
        if (gst_element_set_state(pipeline_->playbin, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) return false;
    } else {
        if (gst_element_set_state(pipeline_->playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
        if (ready_) SeekTo(0.0, rate_);
    }
    state_ = PlayerState::Stopped;
    return true;
}

int PlaybackEngine::VideoWidth() const {
    if (!pipeline_ || !pipeline_->videoSink || !ready_) return 0;
    GstPad* pad = gst_element_get_static_pad(pipeline_->videoSink, "sink");
    GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr;
    GstVideoInfo info;
    const int width = caps && gst_video_info_from_caps(&info, caps) ? GST_VIDEO_INFO_WIDTH(&info) : 0;
    if (caps) gst_caps_unref(caps);
    if (pad) gst_object_unref(pad);
    return width;
}

int PlaybackEngine::VideoHeight() const {
    if (!pipeline_ || !pipeline_->videoSink || !ready_) return 0;
    GstPad* pad = gst_element_get_static_pad(pipeline_->videoSink, "sink");
    GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr;
    GstVideoInfo info;
    const int height = caps && gst_video_info_from_caps(&info, caps) ? GST_VIDEO_INFO_HEIGHT(&info) : 0;
    if (caps) gst_caps_unref(caps);
    if (pad) gst_object_unref(pad);
    return height;
}

bool PlaybackEngine::SetVideoRect(const QRect& rect) {
    if (!pipeline_) return false;
    videoRect_ = rect;
    return true;
}

void PlaybackEngine::ApplyVolume() {
    if (!pipeline_) return;
    g_object_set(pipeline_->playbin, "volume", VolumeToGain(muted_ ? kSilentVolume : savedVolume_), nullptr);
}

void PlaybackEngine::SetVolume(int volume) {
    savedVolume_ = std::clamp(volume, kSilentVolume, kFullVolume);
    if (!muted_) ApplyVolume();
}

void PlaybackEngine::SetMute(bool muted) {
    muted_ = muted;
    ApplyVolume();
}

void PlaybackEngine::SetBalance(int balance) {
    balance_ = std::clamp(balance, -kFullBalance, kFullBalance);
    if (pipeline_ && pipeline_->balance) {
        g_object_set(pipeline_->balance, "panorama", static_cast<gfloat>(BalanceToPanorama(balance_)), nullptr);
    }
}

double PlaybackEngine::AppliedGain() const {
    gdouble gain = 0.0;
    if (pipeline_) g_object_get(pipeline_->playbin, "volume", &gain, nullptr);
    return gain;
}

double PlaybackEngine::AppliedPanorama() const {
    gfloat panorama = 0.0f;
    if (pipeline_ && pipeline_->balance) g_object_get(pipeline_->balance, "panorama", &panorama, nullptr);
    return panorama;
}

bool PlaybackEngine::SetRate(double rate) {
    if (!pipeline_ || !ready_ || pipeline_->throughClient || !IsPlayableRate(rate)) return false;
    if (!SeekTo(Position(), rate)) return false;
    rate_ = rate;
    return true;
}

void PlaybackEngine::RateUp() { SetRate(SteppedRate(rate_, kRateStep)); }

void PlaybackEngine::RateDown() { SetRate(SteppedRate(rate_, -kRateStep)); }

std::vector<std::string> PlaybackEngine::ListFilters() const {
    return pipeline_ ? ListElementNames(pipeline_->playbin) : std::vector<std::string>();
}

std::vector<ElementProperty> PlaybackEngine::FilterProperties(const std::string& name) const {
    return pipeline_ ? ListElementProperties(pipeline_->playbin, name) : std::vector<ElementProperty>();
}

}  // namespace larkspan
