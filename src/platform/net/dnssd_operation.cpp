#include "platform/net/dnssd_operation.hpp"

#include "platform/net/dnssd_error.hpp"

#include <asio/post.hpp>

#include <avahi-common/error.h>
#include <avahi-common/timeval.h>

namespace zentrabo::platform::detail {
namespace {

// How long a client that lost the system bus waits before it tries again.
constexpr unsigned reconnectDelaySeconds = 5;

}  // namespace

DnsServiceOperation::DnsServiceOperation(asio::any_io_executor executor) : poll_(std::move(executor)) {}

DnsServiceOperation::~DnsServiceOperation() { close(); }

void DnsServiceOperation::run() {
    int error = AVAHI_OK;
    // NO_FAIL: the client waits for a daemon that is not running, and
    // follows one that restarts, instead of failing.
    isConnecting_ = true;
    client_ = avahi_client_new(poll_.api(), AVAHI_CLIENT_NO_FAIL, &onClientState, this, &error);
    isConnecting_ = false;
    if (client_ == nullptr) {
        // No system bus: said once, tried again later.
        daemonLost(makeDnsServiceError(error));
        connectLater();
    }
}

void DnsServiceOperation::cancel() {
    cancelled_ = true;
    close();
}

void DnsServiceOperation::onClientState(AvahiClient* client, AvahiClientState state, void* context) {
    auto* self = static_cast<DnsServiceOperation*>(context);
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        self->daemonReady(client);
        break;
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        self->daemonBusy();
        break;
    case AVAHI_CLIENT_CONNECTING:
        self->daemonLost(makeDnsServiceError(AVAHI_ERR_NO_DAEMON));
        break;
    case AVAHI_CLIENT_FAILURE: {
        if (self->isConnecting_) break;
        // This client is done; a new one follows. After a daemon that went
        // away, at once: the new client waits for its successor. After a
        // lost bus, a while later.
        const int error = avahi_client_errno(client);
        self->daemonLost(makeDnsServiceError(error));
        self->deliver([self, error] {
            self->close();
            if (error == AVAHI_ERR_DISCONNECTED) {
                self->run();
            } else {
                self->connectLater();
            }
        });
        break;
    }
    }
}

void DnsServiceOperation::connectLater() {
    if (reconnect_ != nullptr) return;
    timeval due{};
    avahi_elapse_time(&due, reconnectDelaySeconds * 1000, 0);
    reconnect_ = poll_.api()->timeout_new(
        poll_.api(), &due,
        [](AvahiTimeout* timeout, void* context) {
            auto* self = static_cast<DnsServiceOperation*>(context);
            self->poll_.api()->timeout_free(timeout);
            self->reconnect_ = nullptr;
            self->run();
        },
        this);
}

void DnsServiceOperation::deliver(std::function<void()> report) {
    asio::post(poll_.executor(), [self = shared_from_this(), report = std::move(report)] {
        if (!self->cancelled_) report();
    });
}

void DnsServiceOperation::fail(std::error_code error) {
    deliver([this, error] {
        cancelled_ = true;
        close();
        reportFailure(error);
    });
}

void DnsServiceOperation::failWithClientError(AvahiClient* client) {
    fail(makeDnsServiceError(avahi_client_errno(client)));
}

void DnsServiceOperation::close() {
    if (reconnect_ != nullptr) {
        poll_.api()->timeout_free(reconnect_);
        reconnect_ = nullptr;
    }
    if (client_ == nullptr) return;
    // Frees the entry groups, browsers and resolvers made with it too.
    avahi_client_free(client_);
    client_ = nullptr;
}

}  // namespace zentrabo::platform::detail
