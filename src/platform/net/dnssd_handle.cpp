#include "platform/net/dnssd_handle.hpp"

#include "platform/net/dnssd_operation.hpp"

#include <utility>

namespace zentrabo::platform {

DnsServiceHandle::DnsServiceHandle(asio::any_io_executor executor) : executor_(std::move(executor)) {}

DnsServiceHandle::~DnsServiceHandle() { stop(); }

void DnsServiceHandle::stop() {
    if (operation_) {
        operation_->cancel();
        operation_.reset();
    }
}

void DnsServiceHandle::replace(std::shared_ptr<detail::DnsServiceOperation> operation) {
    stop();
    operation_ = std::move(operation);
}

}  // namespace zentrabo::platform
