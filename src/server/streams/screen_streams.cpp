#include "server/streams/screen_streams.hpp"

#include <utility>

namespace zentrabo {

ScreenStreams::ScreenStreams(Environment environment)
    : environment_(std::move(environment)), alive_(std::make_shared<ScreenStreams*>(this)) {}

std::shared_ptr<RemoteScreenStreamServer> ScreenStreams::screenStreamServer() {
    if (!screenStreamServer_) {
        screenStreamServer_ = std::make_shared<RemoteScreenStreamServer>(RemoteScreenStreamServer::Environment{
            environment_.clock, environment_.mainLoop, environment_.desktop, environment_.mediaStart,
            [weakSelf = std::weak_ptr(alive_)](std::size_t count, const std::set<std::string>& fingerprints) {
                if (auto self = weakSelf.lock()) (*self)->handleStreamSessionsChange(count, fingerprints);
            }});
    }
    return screenStreamServer_;
}

void ScreenStreams::handleStreamSessionsChange(std::size_t count, const std::set<std::string>& fingerprints) {
    const auto previous = *streamingClientCertificateFingerprints_;
    activeScreenStreamCount_.set(count);
    streamingClientCertificateFingerprints_.set(fingerprints);
    // A client whose stream has just ended keeps its recent-activity mark
    // for the usual time.
    for (const auto& fingerprint : previous) {
        if (!fingerprints.contains(fingerprint)) environment_.markStreamEnded(fingerprint);
    }
}

void ScreenStreams::endStreamsOfRevokedClient(const std::string& fingerprint) {
    if (streamingClientCertificateFingerprints_->contains(fingerprint)) {
        auto streaming = *streamingClientCertificateFingerprints_;
        streaming.erase(fingerprint);
        streamingClientCertificateFingerprints_.set(std::move(streaming));
    }
    // A revoked device must not go on watching and typing unseen.
    if (screenStreamServer_) screenStreamServer_->endSessions(fingerprint, "Not authorized.");
}

void ScreenStreams::endStreamsForSessionEnd() {
    if (screenStreamServer_) screenStreamServer_->endAllSessions("The desktop session ended.");
}

}  // namespace zentrabo
