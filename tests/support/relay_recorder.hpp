#pragma once
// A relay connector that records what it is handed, in place of the real one.
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "server/relay_settings/relay_connector_handle.hpp"

namespace zentrabo::testing {

// What the server handed the relay connector, and the handler it gave it.
struct RelayRecord {
    std::vector<std::optional<HalvardineRelayConfiguration>> configurations;
    RelayConnectorHandle::StateHandler stateHandler;
    int connectorsMade = 0;
    // Makes the factory throw, as when the connector's TLS settings are refused.
    bool refuseToMake = false;
};

class RelayRecorder final : public RelayConnectorHandle {
public:
    explicit RelayRecorder(std::shared_ptr<RelayRecord> record) : record_(std::move(record)) {}
    void configure(std::optional<HalvardineRelayConfiguration> configuration) override {
        record_->configurations.push_back(std::move(configuration));
    }

private:
    std::shared_ptr<RelayRecord> record_;
};

// Makes recorders that write into the record.
inline RelayConnectorFactory recordingRelayFactory(std::shared_ptr<RelayRecord> record) {
    return [record = std::move(record)](
               RelayConnectorHandle::StateHandler handler) -> std::unique_ptr<RelayConnectorHandle> {
        if (record->refuseToMake) throw std::runtime_error("TLS settings refused");
        record->stateHandler = std::move(handler);
        ++record->connectorsMade;
        return std::make_unique<RelayRecorder>(record);
    };
}

}  // namespace zentrabo::testing
