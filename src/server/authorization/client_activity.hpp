#pragma once
// Which clients made an authorized request lately, for the user interface
// (menu-bar icon, pairing window): a client stays marked for 20 s after its
// latest authorized request or the end of its screen stream.
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include <asio/any_io_executor.hpp>

#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo {

class ClientActivityTracker {
public:
    static constexpr double holdTime = 20.0;

    // `changed` runs after every change of the marks, on the executor's
    // thread for expiries; the tracker is used on that thread only.
    ClientActivityTracker(platform::Clock& clock, asio::any_io_executor executor, std::function<void()> changed);
    ClientActivityTracker(const ClientActivityTracker&) = delete;
    ClientActivityTracker& operator=(const ClientActivityTracker&) = delete;

    // Marks the fingerprint active for another hold time; a channel, when
    // given, replaces the one recorded for it.
    void mark(const std::string& fingerprint, std::optional<HalvardineExtraAuthorizationChannel> channel);
    // Removes the mark and its pending expiry.
    void clear(const std::string& fingerprint);

    const std::set<std::string>& activeFingerprints() const { return fingerprints_; }
    const std::map<std::string, HalvardineExtraAuthorizationChannel>& channels() const { return channels_; }

private:
    platform::Clock& clock_;
    asio::any_io_executor executor_;
    std::function<void()> changed_;
    std::set<std::string> fingerprints_;
    std::map<std::string, HalvardineExtraAuthorizationChannel> channels_;
    // Destroying the tracker cancels them, so no expiry runs after it.
    std::unordered_map<std::string, platform::Timer> expiries_;
};

}  // namespace zentrabo
