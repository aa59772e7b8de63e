#pragma once
// A device on a screen stream, over real TLS on loopback, on a thread of its
// own: it sends the "screenStream" request line (and whatever is written
// with it), decodes the frames the Mac sends, sends input frames, can stop
// reading to play a stalled reader, and writes the media it received to
// files (video as Annex-B with its parameter sets, audio as raw PCM).
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/records/stream_control_payloads.hpp"
#include "platform/binary/big_endian.hpp"
#include "platform/dispatch/coroutine_signal.hpp"
#include "platform/net/tls_connection.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "support/device_request.hpp"
#include "support/test_device.hpp"

namespace zentrabo::testing {

// The request line of a stream with the given options.
inline std::string streamRequestLine(const RemoteScreenStreamRequest& options, std::string id = "STREAM-1") {
    auto request = deviceRequest(std::move(id), "screenStream");
    request.screenStream = options;
    return encodeRecord(request) + "\n";
}

// A small H.264 stream without sound, 10 frames a second, its longer side
// at most 480 pixels: what a test of a real screen's stream asks for.
inline RemoteScreenStreamRequest smallStreamRequest(RemoteScreenStreamMode mode) {
    RemoteScreenStreamRequest options;
    options.mode = mode;
    options.framesPerSecond = 10;
    options.maximumPixelDimension = 480;
    options.preferredVideoCodec = RemoteScreenStreamVideoCodec::h264;
    options.capturesAudio = false;
    return options;
}

// One frame's wire bytes, as a device sends input.
inline std::string frameBytes(RemoteScreenStreamFrameKind kind, std::string_view payload, std::uint16_t flags = 0) {
    RemoteScreenStreamFrame frame;
    frame.kind = kind;
    frame.flags = flags;
    frame.payload.assign(payload.begin(), payload.end());
    const auto bytes = RemoteScreenStreamWire::encode(frame);
    return {bytes.begin(), bytes.end()};
}

inline std::string payloadText(const RemoteScreenStreamFrame& frame) {
    return {frame.payload.begin(), frame.payload.end()};
}

// Every size the stream announced, in order.
inline std::vector<std::pair<std::uint32_t, std::uint32_t>> announcedSizes(
    const std::vector<RemoteScreenStreamFrame>& frames) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes;
    for (const auto& frame : frames) {
        if (frame.kind != RemoteScreenStreamFrameKind::configuration) continue;
        const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(payloadText(frame));
        sizes.emplace_back(static_cast<std::uint32_t>(configuration.width),
                           static_cast<std::uint32_t>(configuration.height));
    }
    return sizes;
}

// The size the stream announced first.
inline std::pair<std::uint32_t, std::uint32_t> announcedSize(const std::vector<RemoteScreenStreamFrame>& frames) {
    const auto sizes = announcedSizes(frames);
    return sizes.empty() ? std::make_pair(0u, 0u) : sizes.front();
}

class StreamClient {
public:
    static constexpr auto defaultDeadline = std::chrono::seconds(20);

    // Connects and sends firstWrite in one write.
    StreamClient(std::uint16_t port, std::shared_ptr<platform::TlsContext> context, std::string firstWrite)
        : state_(std::make_shared<State>(io_.get_executor())) {
        asio::co_spawn(io_, run(port, std::move(context), std::move(firstWrite), state_), asio::detached);
        thread_ = std::thread([this] { io_.run(); });
    }
    ~StreamClient() {
        io_.stop();
        thread_.join();
    }
    StreamClient(const StreamClient&) = delete;
    StreamClient& operator=(const StreamClient&) = delete;

    // Queues bytes to send, count times over (a flood need not be held in memory).
    void write(std::string bytes, std::size_t count = 1) {
        asio::post(io_, [state = state_, bytes = std::move(bytes), count] {
            state->outgoing.push_back({std::move(bytes), count});
            state->wakeWriter.notify();
        });
    }
    void pauseReading() { state_->readingPaused = true; }
    void resumeReading() {
        asio::post(io_, [state = state_] {
            state->readingPaused = false;
            state->wakeReader.notify();
        });
    }

    std::vector<RemoteScreenStreamFrame> frames() const {
        std::lock_guard guard(state_->mutex);
        return state_->frames;
    }
    // Whatever came that is not a frame (a reply line), from the first such byte on.
    std::string undecoded() const {
        std::lock_guard guard(state_->mutex);
        return state_->undecoded;
    }
    // The server closed the connection (or it failed).
    bool isClosed() const { return state_->closed; }
    std::size_t bytesWritten() const { return state_->bytesWritten; }

    // Polls until the condition holds; false when the deadline passes first.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = defaultDeadline) const {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    bool waitForFrames(std::size_t count, std::chrono::milliseconds deadline = defaultDeadline) const {
        return waitUntil([&] { return frames().size() >= count || isClosed(); }, deadline) && frames().size() >= count;
    }

    // The command results the stream has sent so far, in order.
    std::vector<RemoteScreenStreamCommandResultPayload> commandResults() const {
        std::vector<RemoteScreenStreamCommandResultPayload> results;
        for (const auto& frame : frames()) {
            if (frame.kind == RemoteScreenStreamFrameKind::commandResult) {
                results.push_back(decodeRecord<RemoteScreenStreamCommandResultPayload>(payloadText(frame)));
            }
        }
        return results;
    }
    bool waitForCommandResults(std::size_t count, std::chrono::milliseconds deadline = defaultDeadline) const {
        return waitUntil([&] { return commandResults().size() >= count || isClosed(); }, deadline) &&
               commandResults().size() >= count;
    }

    // The video as an Annex-B stream: each configuration's parameter sets,
    // then each video payload's length-prefixed NAL units, all behind start codes.
    void writeVideoAnnexB(const std::filesystem::path& path) const {
        std::ofstream out(path, std::ios::binary);
        const auto startCode = [&out] { out.write("\0\0\0\1", 4); };
        std::size_t prefix = 4;
        for (const auto& frame : frames()) {
            if (frame.kind == RemoteScreenStreamFrameKind::configuration) {
                const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(payloadText(frame));
                prefix = static_cast<std::size_t>(configuration.nalUnitHeaderLength);
                for (const auto* set :
                     {configuration.vps ? &*configuration.vps : nullptr, &configuration.sps, &configuration.pps}) {
                    if (!set) continue;
                    startCode();
                    out.write(reinterpret_cast<const char*>(set->data()), static_cast<std::streamsize>(set->size()));
                }
            } else if (frame.kind == RemoteScreenStreamFrameKind::video) {
                const std::span<const std::uint8_t> payload(frame.payload);
                for (std::size_t offset = 0; prefix > 0 && offset + prefix <= payload.size();) {
                    std::size_t length = 0;
                    for (std::size_t index = 0; index < prefix; ++index) length = length << 8 | payload[offset + index];
                    offset += prefix;
                    if (length > payload.size() - offset) break;
                    startCode();
                    out.write(reinterpret_cast<const char*>(payload.data() + offset),
                              static_cast<std::streamsize>(length));
                    offset += length;
                }
            }
        }
    }
    // The audio payloads back to back: interleaved 16-bit little-endian PCM.
    void writeAudio(const std::filesystem::path& path) const {
        std::ofstream out(path, std::ios::binary);
        for (const auto& frame : frames()) {
            if (frame.kind != RemoteScreenStreamFrameKind::audio) continue;
            out.write(reinterpret_cast<const char*>(frame.payload.data()),
                      static_cast<std::streamsize>(frame.payload.size()));
        }
    }

private:
    struct Outgoing {
        std::string bytes;
        std::size_t count;
    };
    struct State {
        explicit State(const asio::any_io_executor& executor) : wakeReader(executor), wakeWriter(executor) {}
        mutable std::mutex mutex;
        std::vector<RemoteScreenStreamFrame> frames;
        std::string undecoded;
        RemoteScreenStreamReceiveBuffer buffer;
        std::atomic<bool> closed{false};
        std::atomic<bool> readingPaused{false};
        std::atomic<std::size_t> bytesWritten{0};
        // On the client's thread.
        std::deque<Outgoing> outgoing;
        platform::CoroutineSignal wakeReader;
        platform::CoroutineSignal wakeWriter;
    };

    static asio::awaitable<void> run(std::uint16_t port, std::shared_ptr<platform::TlsContext> context,
                                     std::string firstWrite, std::shared_ptr<State> state) {
        asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
        std::error_code error;
        socket.connect({asio::ip::make_address("127.0.0.1"), port}, error);
        auto connection = std::make_shared<platform::TlsConnection>(std::move(socket), context);
        if (!error) error = co_await connection->handshake();
        if (error) {
            state->closed = true;
            co_return;
        }
        // Ahead of whatever was written while connecting.
        state->outgoing.push_front({std::move(firstWrite), 1});
        asio::co_spawn(co_await asio::this_coro::executor, writeLoop(connection, state), asio::detached);
        std::vector<std::uint8_t> chunk(65536);
        for (;;) {
            while (state->readingPaused) co_await state->wakeReader.wait();
            const auto [readError, count] = co_await connection->readSome(asio::buffer(chunk));
            receive(*state, {chunk.data(), count});
            if (readError) break;
        }
        state->closed = true;
        connection->close();
        state->wakeWriter.notify();
    }

    static void receive(State& state, std::span<const std::uint8_t> bytes) {
        std::lock_guard guard(state.mutex);
        if (!state.undecoded.empty()) {
            state.undecoded.append(bytes.begin(), bytes.end());
            return;
        }
        state.buffer.append(bytes);
        try {
            while (auto frame = RemoteScreenStreamWire::nextFrame(state.buffer)) {
                state.frames.push_back(std::move(*frame));
            }
        } catch (const RemoteScreenStreamWireError&) {
            state.undecoded.assign(state.buffer.bytes().begin(), state.buffer.bytes().end());
        }
        // A short reply line never makes a whole header.
        if (state.buffer.size() > 0 && state.buffer.bytes()[0] == '{') {
            state.undecoded.assign(state.buffer.bytes().begin(), state.buffer.bytes().end());
        }
    }

    static asio::awaitable<void> writeLoop(std::shared_ptr<platform::TlsConnection> connection,
                                           std::shared_ptr<State> state) {
        while (!state->closed) {
            if (state->outgoing.empty()) {
                co_await state->wakeWriter.wait();
                continue;
            }
            auto& next = state->outgoing.front();
            if (next.count == 0) {
                state->outgoing.pop_front();
                continue;
            }
            --next.count;
            const std::string bytes = next.bytes;
            if (co_await connection->writeAll(asio::buffer(bytes))) co_return;
            state->bytesWritten += bytes.size();
        }
    }

    asio::io_context io_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// The device's stream to the server on the port, pinning its fingerprint.
inline std::unique_ptr<StreamClient> openStream(const TestDevice& device, std::uint16_t port, std::string_view pin,
                                                const RemoteScreenStreamRequest& options, std::string sentAlong = "") {
    return std::make_unique<StreamClient>(port, device.tlsContext(platform::TlsRole::client, pin),
                                          streamRequestLine(options) + std::move(sentAlong));
}

}  // namespace zentrabo::testing
