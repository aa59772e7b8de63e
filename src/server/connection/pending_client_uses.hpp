#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <asio/ip/tcp.hpp>

namespace zentrabo {

// The requests answered on the network threads whose uses the main loop has
// yet to record: per settled client the endpoint of its latest request,
// whose channel the record shows. Only paired devices' requests are answered
// so, which bounds the entries.
//
// The first use after a quiet spell asks for a visit of the main loop at
// once; each visit that found uses is followed by another a moment later,
// which the uses that come meanwhile wait for. A busy client thus costs the
// main loop a few visits a second instead of one per request.
class PendingClientUses {
public:
    using Endpoint = std::optional<asio::ip::tcp::endpoint>;
    using Uses = std::map<std::string, Endpoint>;

    // From any thread. True when the caller posts a visit.
    bool add(std::string fingerprint, Endpoint endpoint) {
        std::lock_guard guard(mutex_);
        uses_.insert_or_assign(std::move(fingerprint), std::move(endpoint));
        return !std::exchange(visitDue_, true);
    }
    // In a visit of the main loop: the uses since the last one. When there
    // were none the spell is quiet again, and no further visit is due.
    Uses take() {
        std::lock_guard guard(mutex_);
        visitDue_ = !uses_.empty();
        return std::exchange(uses_, {});
    }

private:
    std::mutex mutex_;
    Uses uses_;
    bool visitDue_ = false;
};

}  // namespace zentrabo
