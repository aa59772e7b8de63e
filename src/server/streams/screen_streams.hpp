#pragma once
// The screen streams as the server sees them: the stream server, made on
// first use, and what the user interface shows of it (how many streams run,
// for which clients, and whether they can carry sound).
#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include <asio/any_io_executor.hpp>

#include "platform/desktop/desktop.hpp"
#include "platform/dispatch/clock.hpp"
#include "screenstream/remote_screen_stream_server.hpp"
#include "screenstream/stream_media_start.hpp"
#include "server/published.hpp"

namespace zentrabo {

class ScreenStreams {
public:
    struct Environment {
        platform::Clock& clock;
        asio::any_io_executor mainLoop;
        platform::Desktop& desktop;
        StreamMediaStart mediaStart;
        // Marks a client whose stream has ended as recently active.
        std::function<void(const std::string& fingerprint)> markStreamEnded;
    };

    explicit ScreenStreams(Environment environment);
    ScreenStreams(const ScreenStreams&) = delete;
    ScreenStreams& operator=(const ScreenStreams&) = delete;

    // Live screen-stream sessions.
    const Published<std::size_t>& activeScreenStreamCount() const { return activeScreenStreamCount_; }
    // Normalised fingerprints of the clients with a live stream.
    const Published<std::set<std::string>>& streamingClientCertificateFingerprints() const {
        return streamingClientCertificateFingerprints_;
    }

    // What is known of the sound streams can carry; never waits.
    platform::SoundAvailability soundAvailability() const {
        return environment_.desktop.screenCapture().soundAvailability();
    }

    // The stream server, made on first use with a controller of its own.
    std::shared_ptr<RemoteScreenStreamServer> screenStreamServer();
    // Stops every live stream and lets the stream server go, at teardown.
    void stopStreamServer() { screenStreamServer_.reset(); }

    // The stream server's report, on the main loop.
    void handleStreamSessionsChange(std::size_t count, const std::set<std::string>& fingerprints);
    // The client's device was revoked: its streams end at once with "Not
    // authorized.", and its mark goes.
    void endStreamsOfRevokedClient(const std::string& fingerprint);
    // The desktop session ended: every stream ends with an error frame
    // saying so.
    void endStreamsForSessionEnd();

private:
    Environment environment_;
    // Shared: the sessions' callbacks hold it weakly. Reports hold this
    // object weakly through alive_.
    std::shared_ptr<RemoteScreenStreamServer> screenStreamServer_;
    std::shared_ptr<ScreenStreams*> alive_;
    Published<std::size_t> activeScreenStreamCount_{0};
    Published<std::set<std::string>> streamingClientCertificateFingerprints_;
};

}  // namespace zentrabo
