#pragma once
// One stream's media, capture -> encode -> send, for one session. A frame's
// way, in the order of this header:
//   start        the capture streams and encoders are made for what the
//                session selected, then capture starts (once more without
//                sound when capture with sound cannot start);
//   capture      each picture arrives on the capture strand and goes to the
//                encoder thread through picturesToEncoder_, keeping its place
//                in the capture queue until encoded; sound through
//                soundToEncoder_;
//   encode       the encoders run on the pipeline's own thread (codecs
//                block), one call at a time, and hand their frames to send;
//   send         a frame joins the connection's queue when the byte budget
//                (TransportAdmission) lets it;
//   reconfigure  the running capture shows other content or takes another
//                picture size, with a new encoder;
//   stop         everything ends once; codecs are let go on their thread.
// Nothing can be handed in from outside: a start or a change that comes
// after the stop makes nothing.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>

#include "model/records/stream_records.hpp"
#include "platform/desktop/capture_stream.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/strand_queue.hpp"
#include "screenstream/capture_answer.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/pipeline/bounded_mailbox.hpp"
#include "screenstream/pipeline/stream_stages.hpp"
#include "screenstream/pipeline/transport_admission.hpp"
#include "screenstream/stream_connection.hpp"

namespace zentrabo {

class StreamPipeline : public std::enable_shared_from_this<StreamPipeline> {
public:
    static constexpr std::string_view encoderThreadName = "zb-stream-enc";
    // Captured sound waiting for the encoder (half a second of 10 ms
    // buffers); more is dropped, so a stalled encoder cannot pile sound up.
    static constexpr std::size_t maximumAudioBuffersAwaitingEncoder = 50;
    // How long a running capture is given to answer a change.
    static constexpr double changeWaitSeconds = 2;

    // What the pipeline tells its session, from any thread.
    struct Events {
        // The stream cannot go on: with the text for the device, or none when
        // the connection itself failed.
        std::function<void(std::optional<std::string> errorText)> ended;
        // A frame has gone out.
        std::function<void()> sent;
    };

    StreamPipeline(RemoteScreenStreamRequest request, platform::Clock& clock, std::shared_ptr<asio::io_context> pool,
                   std::shared_ptr<StreamConnection> connection, Events events);
    StreamPipeline(const StreamPipeline&) = delete;
    StreamPipeline& operator=(const StreamPipeline&) = delete;

    // Start: the stages for the selection, sized and paced by the request,
    // then capture. Throws what ends the stream (the encoder's or the
    // capture's error), or operation_aborted after the stop.
    asio::awaitable<void> start(SelectedContent selected, StreamStages stages);

    // Send, from any thread: the encoders' frames and the session's answers.
    void send(const RemoteScreenStreamFrame& frame);
    // Whether the connection holds less than the byte budget's ceiling.
    bool hasOutgoingRoom() { return admission_.isUnderCeiling(); }
    // The next picture encoded is a key frame.
    void requestKeyFrame();

    // Reconfigure a running capture: another content, or another picture
    // size (a new encoder and capture configuration).
    struct PictureSize {
        PixelSize source;
        PixelSize output;
    };
    using Change = std::variant<platform::ContentFilter, PictureSize>;
    struct ChangeFailure {
        enum class Kind { notRunning, timedOut, refused };
        Kind kind = Kind::notRunning;
        std::string refusal;  // the capture's text, when refused
    };
    // Each answer waits changeWaitSeconds at most; `dropped` says how an
    // answer the capture lets go unsent counts. A new encoder whose
    // configuration is answered late is still installed, or let go, by that
    // answer. Throws what making the encoder throws.
    asio::awaitable<std::optional<ChangeFailure>> reconfigure(
        Change change, DroppedCaptureAnswer dropped = DroppedCaptureAnswer::fails);

    // Whether capture runs: started, and not stopped.
    bool isRunning();
    // Once, from any thread, never blocking.
    void stop();

    // Where the encoders run.
    platform::SerialQueue& encoderQueue() { return encoderQueue_; }

private:
    // What one start made; taken out together.
    struct Stages {
        std::shared_ptr<VideoEncoder> encoder;
        std::shared_ptr<AudioEncoder> audioEncoder;
        std::shared_ptr<platform::CaptureStream> stream;
        std::shared_ptr<platform::CaptureStream> audioStream;
    };
    struct ResizedEncoderHandover;

    // Start.
    asio::awaitable<void> startCapture(const SelectedContent& selected, platform::StreamConfiguration configuration,
                                       int framesPerSecond, bool capturesAudio);
    std::shared_ptr<VideoEncoder> newVideoEncoder(const PixelSize& size, int framesPerSecond);
    std::shared_ptr<platform::CaptureStream> makeAudioStream(const platform::ContentFilter& audioFilter,
                                                             platform::StreamConfiguration configuration);
    // Keeps what a start made; after the stop it is shut down and false.
    bool install(Stages stages);

    // Capture, on the capture strand.
    void handOffPicture(platform::CapturedScreenSample sample);
    void handOffSound(platform::CapturedAudioSample sample);
    void captureStopped(const std::string& description);
    // A stream of sound alone stopped: when it is ours, sound ends (logged).
    void soundStopped(const platform::CaptureStream& stream, const std::string& description);

    // Encode, on the encoder queue.
    void encodePicture(platform::CapturedScreenSample sample);
    void encodeSound(const platform::CapturedAudioSample& sample);
    void onEncoder(std::function<void(VideoEncoder&)> work);
    void installResizedEncoder(std::shared_ptr<VideoEncoder> encoder);

    // Reconfigure.
    asio::awaitable<std::optional<ChangeFailure>> changeFilter(platform::ContentFilter filter,
                                                               DroppedCaptureAnswer dropped);
    asio::awaitable<std::optional<ChangeFailure>> changeSize(PictureSize size, DroppedCaptureAnswer dropped);

    // Stop.
    Stages takeStagesLocked();
    // The encoders are shut down on the encoder queue, where they are let
    // go; then the video stream, then the sound stream, stop.
    void shutDown(Stages stages);
    void tearDown();

    const RemoteScreenStreamRequest request_;
    platform::Clock& clock_;
    const std::shared_ptr<StreamConnection> connection_;
    const Events events_;
    platform::StrandQueue captureQueue_;
    // Codecs block, so each pipeline's encoder has a thread of its own.
    platform::SerialQueue encoderQueue_;
    // The pictures hold their capture-queue place meanwhile, so capture
    // itself never delivers more.
    BoundedMailbox<platform::CapturedScreenSample> picturesToEncoder_{static_cast<std::size_t>(captureQueueDepth)};
    BoundedMailbox<platform::CapturedAudioSample> soundToEncoder_{maximumAudioBuffersAwaitingEncoder};
    TransportAdmission admission_;

    std::mutex lock_;
    // Guarded by lock_.
    StreamStages makers_;
    Stages stages_;
    bool isRunning_ = false;
    bool isStopped_ = false;
};

}  // namespace zentrabo
