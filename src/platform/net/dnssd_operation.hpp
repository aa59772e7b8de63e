#pragma once

// Internal to the DNS-SD half of net/: the life of one DNSServiceRef.

#include <asio/any_io_executor.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include <dns_sd.h>

#include <functional>
#include <memory>
#include <system_error>

namespace zentrabo::platform::detail {

// One running DNS-SD operation (a registration, a browse or a resolve). The
// library signals a pending reply by making the operation's socket readable;
// the operation waits for that on its executor and lets the library run the
// reply callback there. Everything the callbacks report reaches the owner
// through deliver(), after the library has returned, so an owner may stop or
// start operations from its handlers. All member functions run on the
// executor, which must not run them concurrently (one thread, or a strand).
class DnsServiceOperation : public std::enable_shared_from_this<DnsServiceOperation> {
public:
    explicit DnsServiceOperation(asio::any_io_executor executor);
    virtual ~DnsServiceOperation();
    DnsServiceOperation(const DnsServiceOperation&) = delete;
    DnsServiceOperation& operator=(const DnsServiceOperation&) = delete;

    // Takes `ref`, created with this object as its callback context, and starts
    // waiting for its replies. A failure is reported through reportFailure().
    void run(DNSServiceRef ref);

    // Ends the operation for good: nothing is reported after it returns.
    void cancel();

protected:
    // Runs `report` on the executor once the current library call has
    // returned, unless the operation has been cancelled by then.
    void deliver(std::function<void()> report);

    // Ends the operation with `error`: releases the ref and then reports.
    // Safe inside a reply callback: the ref is released after it has returned.
    void fail(std::error_code error);

    // Tells the owner that the operation has ended with `error` (delivered).
    virtual void reportFailure(std::error_code error) = 0;

private:
    void wait();
    void close();

    asio::any_io_executor executor_;
    asio::posix::stream_descriptor socket_;
    DNSServiceRef ref_ = nullptr;
    bool cancelled_ = false;
};

}  // namespace zentrabo::platform::detail
