#include "server/streams/screen_streams.hpp"

#include <utility>

namespace zentrabo {

void ScreenStreams::dropStreamingMark(const std::string& fingerprint) {
    if (!streamingClientCertificateFingerprints_->contains(fingerprint)) return;
    auto streaming = *streamingClientCertificateFingerprints_;
    streaming.erase(fingerprint);
    streamingClientCertificateFingerprints_.set(std::move(streaming));
}

}  // namespace zentrabo
