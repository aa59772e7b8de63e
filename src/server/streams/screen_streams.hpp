#pragma once
// The screen streams as the user interface sees them: which clients own a
// live stream.
#include <string>
#include <set>

#include "server/published.hpp"

namespace zentrabo {

class ScreenStreams {
public:
    ScreenStreams() = default;
    ScreenStreams(const ScreenStreams&) = delete;
    ScreenStreams& operator=(const ScreenStreams&) = delete;

    // Normalised fingerprints of the clients with a live stream.
    const Published<std::set<std::string>>& streamingClientCertificateFingerprints() const {
        return streamingClientCertificateFingerprints_;
    }

    // Drops the client's mark, as when its device is revoked; its stream
    // itself runs on until it ends.
    void dropStreamingMark(const std::string& fingerprint);

private:
    Published<std::set<std::string>> streamingClientCertificateFingerprints_;
};

}  // namespace zentrabo
