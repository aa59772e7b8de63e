#include "screenstream/remote_screen_stream_server.hpp"

#include <exception>
#include <utility>
#include <vector>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/co_spawn.hpp>
#include <asio/strand.hpp>

#include "model/task_failure.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

RemoteScreenStreamServer::RemoteScreenStreamServer(Environment environment)
    : environment_(std::move(environment)),
      desktopController_(environment_.desktop),
      workPool_(std::string(workPoolThreadName), workPoolThreadCount),
      taskThreads_(std::string(taskThreadName), static_cast<int>(taskThreadCount)),
      pool_(std::string(poolThreadName), static_cast<int>(poolThreadCount)),
      reports_(std::make_shared<platform::MainLoopGate>(environment_.mainLoop)) {
    for (std::size_t thread = 0; thread < taskThreadCount; ++thread) taskThreads_.addThread();
    for (std::size_t thread = 0; thread < poolThreadCount; ++thread) pool_.addThread();
}

RemoteScreenStreamServer::~RemoteScreenStreamServer() {
    reports_->close();
    std::map<platform::Uuid, std::shared_ptr<RemoteScreenStreamSession>> sessions;
    std::vector<std::weak_ptr<RemoteScreenStreamSession>> removed;
    {
        std::lock_guard guard(lock_);
        sessions = std::move(sessions_);
        sessions_.clear();
        removed = std::move(removedSessions_);
    }
    for (auto& [id, session] : sessions) session->stop();
    // A release still queued would otherwise press on after the server's
    // owner has let the desktop go.
    for (auto& [id, session] : sessions) session->selection().awaitPointerRelease();
    for (const auto& weakSession : removed) {
        if (const auto session = weakSession.lock()) session->selection().awaitPointerRelease();
    }
}

std::optional<std::string_view> RemoteScreenStreamServer::startSession(
    const RemoteScreenStreamRequest& request, const std::string& clientCertificateFingerprint,
    const std::shared_ptr<StreamConnection>& connection) {
    const auto isFull = [this] {
        std::lock_guard guard(lock_);
        return sessions_.size() >= maximumSessionCount;
    };
    if (isFull()) return tooManySessionsMessage;
    const asio::any_io_executor tasks = asio::make_strand(taskThreads_.context());
    std::weak_ptr<RemoteScreenStreamServer> weakSelf = weak_from_this();
    const auto removal = [weakSelf](const platform::Uuid& id) {
        if (auto self = weakSelf.lock()) self->removeSession(id);
    };
    auto session = RemoteScreenStreamSession::make(
        platform::Uuid::random(), request, connection,
        RemoteScreenStreamSession::Environment{environment_.clock, tasks, pool_.sharedContext(), workPool_.executor(),
                                               desktopController_, environment_.mediaStart, removal});
    {
        std::lock_guard guard(lock_);
        // Another request may have taken the last place meanwhile.
        if (sessions_.size() >= maximumSessionCount) return tooManySessionsMessage;
        sessions_.emplace(session->id(), session);
        sessionClientCertificateFingerprints_.emplace(session->id(), clientCertificateFingerprint);
        reportLocked();
    }
    const auto slot = session->startCancellationSlot();
    asio::co_spawn(tasks, runTask(std::move(session)),
                   asio::bind_cancellation_slot(slot, LogTaskFailure("Screen stream start task failed: ")));
    return std::nullopt;
}

asio::awaitable<void> RemoteScreenStreamServer::runTask(std::shared_ptr<RemoteScreenStreamSession> session) {
    // Weak: a start task must not keep the stream server alive.
    std::weak_ptr<RemoteScreenStreamServer> weakSelf = weak_from_this();
    std::string failure;
    try {
        co_await session->run();
        co_return;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    // A start that a stop ended (its capture's answer dropped) has nothing to
    // tell: the stop has cancelled the connection.
    if (!session->hasStopped()) {
        session->connection().sendScreenStreamError(failure);
        session->stop();
    }
    if (auto self = weakSelf.lock()) self->removeSession(session->id());
}

void RemoteScreenStreamServer::removeSession(const platform::Uuid& id) {
    std::shared_ptr<RemoteScreenStreamSession> removed;
    {
        std::lock_guard guard(lock_);
        const auto entry = sessions_.find(id);
        if (entry == sessions_.end()) return;
        removed = std::move(entry->second);
        sessions_.erase(entry);
        sessionClientCertificateFingerprints_.erase(id);
        std::erase_if(removedSessions_, [](const auto& session) { return session.expired(); });
        removedSessions_.push_back(removed);
        reportLocked();
    }
    removed->stop();
}

void RemoteScreenStreamServer::endSessions(const std::string& clientCertificateFingerprint, std::string_view message) {
    endSessionsOf([&](const std::string& fingerprint) { return fingerprint == clientCertificateFingerprint; }, message);
}

void RemoteScreenStreamServer::endAllSessions(std::string_view message) {
    endSessionsOf([](const std::string&) { return true; }, message);
}

void RemoteScreenStreamServer::endSessionsOf(const std::function<bool(const std::string& fingerprint)>& picked,
                                             std::string_view message) {
    std::vector<std::shared_ptr<RemoteScreenStreamSession>> ended;
    {
        std::lock_guard guard(lock_);
        for (const auto& [id, fingerprint] : sessionClientCertificateFingerprints_) {
            if (picked(fingerprint)) ended.push_back(sessions_.at(id));
        }
    }
    for (const auto& session : ended) {
        session->connection().sendScreenStreamError(message);
        session->stop();
        removeSession(session->id());
    }
}

void RemoteScreenStreamServer::reportLocked() {
    std::set<std::string> fingerprints;
    for (const auto& [id, fingerprint] : sessionClientCertificateFingerprints_) fingerprints.insert(fingerprint);
    // Posted under the lock, so the main loop sees the reports in the order
    // of the changes.
    reports_->post([weakSelf = weak_from_this(), count = sessions_.size(), fingerprints = std::move(fingerprints)] {
        if (auto self = weakSelf.lock()) self->environment_.onActiveSessionsChange(count, fingerprints);
    });
}

}  // namespace zentrabo
