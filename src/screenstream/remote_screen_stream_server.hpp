#pragma once
// The registry of live screen streams: it starts a session for each
// accepted "screenStream" request, ends them, and reports how many run and
// for which clients to the server, on the main loop.
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "maccontrol/desktop_controller.hpp"
#include "model/records/stream_records.hpp"
#include "platform/random/uuid.hpp"
#include "platform/desktop/desktop.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/context_threads.hpp"
#include "platform/dispatch/main_loop_gate.hpp"
#include "platform/dispatch/work_pool.hpp"
#include "screenstream/stream_connection.hpp"
#include "screenstream/stream_media_start.hpp"

namespace zentrabo {

class RemoteScreenStreamSession;

class RemoteScreenStreamServer : public std::enable_shared_from_this<RemoteScreenStreamServer> {
public:
    // Live sessions at once: each holds an encoder thread and a strand of
    // each pool below.
    static constexpr std::size_t maximumSessionCount = 8;
    // Threads of the work pool the sessions share.
    static constexpr std::size_t workPoolThreadCount = 2;
    // Threads that run the sessions' starts and window-tracking steps, each
    // session on a strand of its own: one a live session, so a session
    // blocked in an application's accessibility calls (a second each) never
    // holds up another one's start.
    static constexpr std::size_t taskThreadCount = maximumSessionCount;
    // Threads that run the sessions' capture and control strands. A control
    // strand may block in an application's accessibility calls (a second
    // each), so one a live session, and two more that keep capture moving
    // even then; its waits are coroutines that hold no thread.
    static constexpr std::size_t poolThreadCount = maximumSessionCount + 2;
    // The names of the server's threads; each session adds its encoder's.
    static constexpr std::string_view taskThreadName = "zb-stream-task";
    static constexpr std::string_view poolThreadName = "zb-stream-pool";
    static constexpr std::string_view workPoolThreadName = "zb-stream-work";

    // Always called on the main loop, after every change.
    using ActiveSessionsChange = std::function<void(std::size_t count, const std::set<std::string>& fingerprints)>;

    struct Environment {
        platform::Clock& clock;
        asio::any_io_executor mainLoop;
        // What the stream server's own controller acts on; must outlive it.
        platform::Desktop& desktop;
        StreamMediaStart mediaStart;
        ActiveSessionsChange onActiveSessionsChange;
    };

    explicit RemoteScreenStreamServer(Environment environment);
    // Stops every live session and waits until their pointers have let go
    // of what they held; no report follows.
    ~RemoteScreenStreamServer();
    RemoteScreenStreamServer(const RemoteScreenStreamServer&) = delete;
    RemoteScreenStreamServer& operator=(const RemoteScreenStreamServer&) = delete;

    // The refusal of a request that finds every place taken.
    static constexpr std::string_view tooManySessionsMessage = "Too many screen streams are running.";

    // From the connection queue: the session owns the connection from now
    // on, and a session that cannot start ends with an error frame. When
    // every place is taken, the request is refused, never registered or
    // reported, and the connection stays the caller's: the refusal's text is
    // returned for the caller to answer with.
    [[nodiscard]] std::optional<std::string_view> startSession(const RemoteScreenStreamRequest& request,
                                                               const std::string& clientCertificateFingerprint,
                                                               const std::shared_ptr<StreamConnection>& connection);
    // Unregisters, reports and stops the session; nothing for an unknown id.
    void removeSession(const platform::Uuid& id);
    // Ends every stream of the client with an error frame carrying the
    // message, as when its device is revoked.
    void endSessions(const std::string& clientCertificateFingerprint, std::string_view message);
    // Ends every stream with an error frame carrying the message, as when
    // the desktop session ends.
    void endAllSessions(std::string_view message);

private:
    // Ends the streams of the clients the filter picks.
    void endSessionsOf(const std::function<bool(const std::string& fingerprint)>& picked, std::string_view message);
    asio::awaitable<void> runTask(std::shared_ptr<RemoteScreenStreamSession> session);
    // Under lock_: the count and the fingerprints, posted to the main loop.
    void reportLocked();

    Environment environment_;
    // The controller the sessions paste text and post keys with; not the
    // server's own.
    DesktopController desktopController_;
    // Runs the work that the sessions' control strands await (content
    // fetches); declared before the sessions, so it outlives them.
    platform::WorkPool workPool_;
    // Runs the sessions' starts and tracking steps; stopped first, dropping
    // what is still queued.
    platform::ContextThreads taskThreads_;
    // Runs the sessions' capture and control strands, whose jobs hold their
    // session weakly; a session keeps the context after the threads stop.
    platform::ContextThreads pool_;
    std::shared_ptr<platform::MainLoopGate> reports_;

    std::mutex lock_;
    // Guarded by lock_.
    std::map<platform::Uuid, std::shared_ptr<RemoteScreenStreamSession>> sessions_;
    std::map<platform::Uuid, std::string> sessionClientCertificateFingerprints_;
    // Sessions removed while work of theirs may still be queued; expired
    // ones are dropped at each removal.
    std::vector<std::weak_ptr<RemoteScreenStreamSession>> removedSessions_;
};

}  // namespace zentrabo
