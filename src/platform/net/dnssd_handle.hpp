#pragma once

#include <asio/any_io_executor.hpp>

#include <memory>

namespace zentrabo::platform {

namespace detail {
class DnsServiceOperation;
}

// What the DNS-SD advertiser, browser and resolver share: at most one running
// operation on one executor, ended by stop() or destruction, after which its
// handler is never called again.
class DnsServiceHandle {
public:
    explicit DnsServiceHandle(asio::any_io_executor executor);
    DnsServiceHandle(const DnsServiceHandle&) = delete;
    DnsServiceHandle& operator=(const DnsServiceHandle&) = delete;

    void stop();

protected:
    ~DnsServiceHandle();

    const asio::any_io_executor& executor() const { return executor_; }

    // Stops the running operation, if any, and keeps `operation` instead.
    void replace(std::shared_ptr<detail::DnsServiceOperation> operation);

private:
    asio::any_io_executor executor_;
    std::shared_ptr<detail::DnsServiceOperation> operation_;
};

}  // namespace zentrabo::platform
