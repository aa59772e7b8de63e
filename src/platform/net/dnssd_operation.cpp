#include "platform/net/dnssd_operation.hpp"

#include "platform/net/dnssd_error.hpp"
#include "platform/net/dnssd_library.hpp"

#include <asio/post.hpp>

namespace zentrabo::platform::detail {

DnsServiceOperation::DnsServiceOperation(asio::any_io_executor executor)
    : executor_(std::move(executor)), socket_(executor_) {
    prepareDnsServiceLibrary();
}

DnsServiceOperation::~DnsServiceOperation() { close(); }

void DnsServiceOperation::run(DNSServiceRef ref) {
    ref_ = ref;
    std::error_code error;
    const int descriptor = DNSServiceRefSockFD(ref_);
    if (descriptor < 0) {
        error = makeDnsServiceError(kDNSServiceErr_BadReference);
    } else {
        socket_.assign(descriptor, error);
    }
    if (error) {
        fail(error);
        return;
    }
    wait();
}

void DnsServiceOperation::cancel() {
    cancelled_ = true;
    close();
}

void DnsServiceOperation::deliver(std::function<void()> report) {
    asio::post(executor_, [self = shared_from_this(), report = std::move(report)] {
        if (!self->cancelled_) {
            report();
        }
    });
}

void DnsServiceOperation::fail(std::error_code error) {
    deliver([this, error] {
        close();
        reportFailure(error);
    });
}

void DnsServiceOperation::close() {
    if (ref_ == nullptr) {
        return;
    }
    // The descriptor belongs to the library, which closes it with the ref.
    if (socket_.is_open()) {
        socket_.release();
    }
    DNSServiceRefDeallocate(ref_);
    ref_ = nullptr;
}

void DnsServiceOperation::wait() {
    socket_.async_wait(asio::posix::stream_descriptor::wait_read, [self = shared_from_this()](std::error_code error) {
        if (self->ref_ == nullptr) {
            return;
        }
        if (!error) {
            const DNSServiceErrorType result = DNSServiceProcessResult(self->ref_);
            if (result != kDNSServiceErr_NoError) {
                error = makeDnsServiceError(result);
            }
        }
        if (error) {
            self->fail(error);
            return;
        }
        self->wait();
    });
}

}  // namespace zentrabo::platform::detail
