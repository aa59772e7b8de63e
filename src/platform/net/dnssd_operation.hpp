#pragma once

// Internal to the DNS-SD half of net/: one client of the DNS-SD daemon for
// one operation, followed across the daemon's restarts.

#include <asio/any_io_executor.hpp>

#include <avahi-client/client.h>

#include <functional>
#include <memory>
#include <system_error>

#include "platform/net/dnssd_poll.hpp"

namespace zentrabo::platform::detail {

// One running DNS-SD operation (a registration, a browse or a resolve) with a
// client of its own, pumped by the executor. The client waits for a daemon
// that is not running and follows one that restarts: the operation hears
// daemonReady() each time the daemon is ready to serve it and daemonLost()
// when the objects it made there are gone. Everything it reports reaches the
// owner through deliver(), after the library has returned, so an owner may
// stop or start operations from its handlers. All member functions run on
// the executor, which must not run them concurrently (one thread, or a
// strand).
class DnsServiceOperation : public std::enable_shared_from_this<DnsServiceOperation> {
public:
    explicit DnsServiceOperation(asio::any_io_executor executor);
    virtual ~DnsServiceOperation();
    DnsServiceOperation(const DnsServiceOperation&) = delete;
    DnsServiceOperation& operator=(const DnsServiceOperation&) = delete;

    // Connects to the daemon; without a system bus it tries again later.
    void run();

    // Ends the operation for good: nothing is reported after it returns.
    void cancel();

protected:
    // The daemon serves this client (again): make the library objects.
    virtual void daemonReady(AvahiClient* client) = 0;
    // The daemon renames its host: objects that publish must be withdrawn
    // until it is ready again. Nothing to do for the others.
    virtual void daemonBusy() {}
    // The daemon went away (or never came): the objects made in it are
    // invalid and must be freed; `error` says why. (When the operation ends,
    // the client frees whatever objects are left.)
    virtual void daemonLost(std::error_code error) = 0;

    // Runs `report` on the executor once the current library call has
    // returned, unless the operation has been cancelled by then.
    void deliver(std::function<void()> report);

    // Ends the operation with `error`: releases the client and then reports.
    // Safe inside a library callback: the client goes after it has returned.
    void fail(std::error_code error);
    // fail() with the last error of the client that made the failing object.
    void failWithClientError(AvahiClient* client);

    // Tells the owner that the operation has ended with `error` (delivered).
    virtual void reportFailure(std::error_code error) = 0;

private:
    static void onClientState(AvahiClient* client, AvahiClientState state, void* context);
    void connectLater();
    void close();

    AsioAvahiPoll poll_;
    AvahiClient* client_ = nullptr;
    // Set while avahi_client_new runs: a failure it reports is run()'s to handle.
    bool isConnecting_ = false;
    // Set while a new client is due after one that failed.
    AvahiTimeout* reconnect_ = nullptr;
    bool cancelled_ = false;
};

}  // namespace zentrabo::platform::detail
