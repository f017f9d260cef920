#pragma once
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "recorder/RecorderSettings.h"
#include "ui/playback/ElementInspector.h"

namespace larkspan {

// What PollEvent hands out: the end of the medium, playback given up on the
// user's behalf, or a failure while playing. The values are the player's
// event codes. This engine posts Complete and ErrorAbort; UserAbort is kept
// for the player's sake but nothing in the pipeline gives playback up on the
// user's behalf (the video goes to the player's own widget, not to a window
// of GStreamer's that the user could close).
enum class PlaybackEvent : int { None = 0, Complete = 1, UserAbort = 2, ErrorAbort = 3 };

enum class PlayerState : int { Stopped = 0, Paused = 1, Playing = 2 };

struct PlaybackEngineOptions {
    // A sink that discards the sound instead of the desktop's audio output
    // (for tests and benchmarks).
    bool fakeAudioOutput = false;
    // False: every sink takes the media as fast as it is decoded instead of
    // at its times (for tests and benchmarks that play a medium through).
    bool syncToClock = true;
    // Settings of the stream clients that pull mms:, mmst:, mmsu: and http:
    // addresses (time-outs, proxy, protocol choice).
    RecorderSettings streamSettings;
};

// Plays one medium at a time: a local file (GStreamer reads it), or a stream
// address whose bytes the recorder's own stream clients pull and hand to the
// pipeline. Every call is made on the thread that owns the engine (the GUI
// thread) and returns without waiting for the media: opening completes later
// with opened() or openFailed(), and what the pipeline reports arrives as
// queued signals on the same thread.
//
// Units: time in seconds; volume in hundredths of a decibel (-10000 silence
// to 0 full); balance in hundredths of a decibel of attenuation of the other
// side (-10000 right side silent to 10000 left side silent); rate 1.0 =
// normal speed, from 0.1 to 4.
class PlaybackEngine : public QObject {
    Q_OBJECT

public:
    explicit PlaybackEngine(PlaybackEngineOptions options = {}, QObject* parent = nullptr);
    ~PlaybackEngine() override;
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Closes the current medium and starts opening address (a path, a file:
    // URI, a stream address, or another URI GStreamer reads). False when no
    // pipeline could be made; true otherwise, and then exactly one of
    // opened() or openFailed() follows. An http: address the stream clients
    // get nothing from is then read by GStreamer as a plain web file. Captions are taken from a ".smi" file
    // beside a local medium (see CaptionFileFor). The medium starts paused.
    bool Open(const std::string& address);
    // Stops the medium and its stream client (without waiting for the
    // client's thread) and forgets it. Volume, mute and balance stay.
    void Close();
    bool IsOpen() const { return pipeline_ != nullptr; }
    // Opened and not failed: duration, video size and captions are known.
    bool IsReady() const { return ready_; }
    // Whether the medium comes through a stream client (no seeking, no rate).
    bool IsClientStream() const;
    PlayerState State() const { return state_; }

    // 0.0 when closed, not known yet, or a live stream.
    double Duration() const;
    // Where playback is; the last position known when the pipeline cannot
    // tell (after a seek to the very end, say). 0.0 when closed.
    double Position() const;
    // Moves to seconds, keeping the rate; refuses (false, nothing moves) a
    // time past Duration, a negative time, and a stream.
    bool Seek(double seconds);

    bool Run();
    bool Pause();
    // Pauses and goes back to the start; a stream's client is stopped, and
    // the next Run connects again.
    bool Stop();

    // The oldest event not taken yet, None when there is none. eventPosted()
    // tells when one comes. The end of a medium is posted once.
    PlaybackEvent PollEvent();
    // The oldest caption text not taken yet; false when there is none.
    // captionReady() tells when one comes, at the caption's time. Captions
    // come from the SAMI file only: GStreamer's ASF reader does not hand on
    // script commands carried inside the stream.
    bool ReadCaption(std::string& text);
    bool HasCaptions() const;

    // 0 x 0 for a medium without video.
    int VideoWidth() const;
    int VideoHeight() const;
    // Where the window shows the video; kept for it. False when closed.
    bool SetVideoRect(const QRect& rect);
    QRect VideoRect() const { return videoRect_; }
    // A copy of the last frame delivered; null before the first.
    QImage LastFrame() const { return lastFrame_; }

    // The volume set (the one restored by unmuting while muted).
    int GetVolume() const { return savedVolume_; }
    void SetVolume(int volume);
    bool IsMuted() const { return muted_; }
    void SetMute(bool muted);
    int GetBalance() const { return balance_; }
    void SetBalance(int balance);
    // The linear gain and the panorama position set on the pipeline's
    // elements now (0 and 0 when closed).
    double AppliedGain() const;
    double AppliedPanorama() const;

    double Rate() const { return rate_; }
    // False (and the rate stays) when closed, for a stream, or outside 0.1-4.
    bool SetRate(double rate);
    void RateUp();
    void RateDown();

    // The names of the pipeline's elements (those inside bins too); empty
    // when closed.
    std::vector<std::string> ListFilters() const;
    // The properties of the element of that name; empty when there is none.
    std::vector<ElementProperty> FilterProperties(const std::string& name) const;

signals:
    void opened();
    void openFailed(const QString& reason);
    void eventPosted(larkspan::PlaybackEvent event, const QString& text);
    void frameReady(const QImage& frame);
    void captionReady(const QString& text);

private:
    // The GStreamer side of one opened medium; its callbacks run on
    // GStreamer's threads and reach the engine only through queued calls.
    struct Pipeline;
    enum class BusNews { AsyncDone, EndOfStream, Error, ClockLost };

    bool OpenPipeline(const std::string& address, bool throughClient);
    void HandleBusNews(std::uint64_t generation, BusNews news, const QString& text);
    void HandleFrame(std::uint64_t generation);
    void HandleCaption(std::uint64_t generation, const QString& text);
    bool Current(std::uint64_t generation) const;
    void StartStreamClient();
    void StopStreamClient();
    bool SeekTo(double seconds, double rate);
    void ApplyVolume();
    void PostEvent(PlaybackEvent event, const QString& text);

    const PlaybackEngineOptions options_;
    std::unique_ptr<Pipeline> pipeline_;
    std::uint64_t generation_ = 0;
    bool openPending_ = false;
    bool ready_ = false;
    bool failed_ = false;
    PlayerState state_ = PlayerState::Stopped;
    int savedVolume_ = 0;
    bool muted_ = false;
    int balance_ = 0;
    double rate_ = 1.0;
    mutable double lastPosition_ = 0.0;  // the last position known, in seconds
    QRect videoRect_;
    QImage lastFrame_;
    std::deque<PlaybackEvent> events_;
    std::deque<std::string> captions_;
    // Why the stream clients could not play an http: address that is being
    // tried as a plain web file instead.
    QString clientFailure_;
};

}  // namespace larkspan

Q_DECLARE_METATYPE(larkspan::PlaybackEvent)
