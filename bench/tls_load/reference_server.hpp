#pragma once
// The bare reference server: TLS 1.3 on OpenSSL over non-blocking sockets
// and epoll, nothing else, run as a process of its own. Each connection is handshaken, its first line read
// and answered with one fixed reply line, then closed, as the server answers
// one request per connection; there is no queue hop, decoding, dispatch or
// logging, so its rate is what the machine's handshakes allow. Its only peer
// is the load client on loopback, which bounds every request itself; a
// connection left open ends with the server.
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zentrabo::bench {

class ReferenceServer {
public:
    // A request line longer than this closes the connection unanswered.
    static constexpr std::size_t maximumRequestSize = 64 * 1024;

    // Listens on 127.0.0.1 with `context` (which must outlive the server)
    // and serves from `threadCount` threads, each with its own epoll set
    // sharing the one listening socket.
    ReferenceServer(SSL_CTX* context, std::string reply, std::size_t threadCount)
        : context_(context), reply_(std::move(reply)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (listener_ < 0 || stop_ < 0) fail("reference server sockets");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, SOMAXCONN) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            fail("reference server listen");
        }
        port_ = ntohs(address.sin_port);
        for (std::size_t index = 0; index < threadCount; ++index) {
            const int poll = ::epoll_create1(EPOLL_CLOEXEC);
            if (poll < 0) fail("reference server epoll");
            polls_.push_back(poll);
            // Exclusive: one waiting thread wakes per new connection.
            watch(poll, EPOLL_CTL_ADD, listener_, EPOLLIN | EPOLLEXCLUSIVE, &listenerToken_);
            watch(poll, EPOLL_CTL_ADD, stop_, EPOLLIN, &stopToken_);
        }
        for (const int poll : polls_) {
            threads_.emplace_back([this, poll] {
                pthread_setname_np(pthread_self(), "reference");
                serve(poll);
            });
        }
    }

    ~ReferenceServer() {
        const std::uint64_t one = 1;
        if (::write(stop_, &one, sizeof one) < 0) {
            // The eventfd cannot be full after one write; nothing to recover.
        }
        for (auto& thread : threads_) thread.join();
        for (const int poll : polls_) ::close(poll);
        ::close(stop_);
        ::close(listener_);
    }

    ReferenceServer(const ReferenceServer&) = delete;
    ReferenceServer& operator=(const ReferenceServer&) = delete;

    std::uint16_t port() const { return port_; }

private:
    struct Connection {
        int socket = -1;
        SSL* ssl = nullptr;
        bool handshaken = false;
        bool lineComplete = false;
        std::string request;
        std::size_t replied = 0;

        ~Connection() {
            if (ssl != nullptr) SSL_free(ssl);
            if (socket >= 0) ::close(socket);
        }
    };
    using Connections = std::unordered_map<Connection*, std::unique_ptr<Connection>>;

    [[noreturn]] static void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

    static void watch(int poll, int operation, int descriptor, std::uint32_t events, void* token) {
        epoll_event event{};
        event.events = events;
        event.data.ptr = token;
        if (::epoll_ctl(poll, operation, descriptor, &event) != 0) fail("reference server epoll_ctl");
    }

    void serve(int poll) {
        Connections connections;
        std::vector<epoll_event> events(64);
        for (;;) {
            const int count = ::epoll_wait(poll, events.data(), static_cast<int>(events.size()), -1);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) return;
            for (int index = 0; index < count; ++index) {
                void* token = events[static_cast<std::size_t>(index)].data.ptr;
                if (token == &stopToken_) return;
                if (token == &listenerToken_) {
                    acceptPending(poll, connections);
                } else {
                    advance(poll, connections, static_cast<Connection*>(token));
                }
            }
        }
    }

    void acceptPending(int poll, Connections& connections) {
        // A few at a time, so that the other threads get their share.
        for (int accepted = 0; accepted < 16; ++accepted) {
            const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (socket < 0) return;
            // As the server does: the reply must not wait behind the
            // unacknowledged ticket for the client's delayed acknowledgement.
            const int one = 1;
            ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            auto connection = std::make_unique<Connection>();
            connection->socket = socket;
            connection->ssl = SSL_new(context_);
            if (connection->ssl == nullptr || SSL_set_fd(connection->ssl, socket) != 1) {
                ERR_clear_error();
                continue;  // the unique_ptr closes what was opened
            }
            SSL_set_accept_state(connection->ssl);
            Connection* key = connection.get();
            watch(poll, EPOLL_CTL_ADD, socket, EPOLLIN, key);
            connections.emplace(key, std::move(connection));
            advance(poll, connections, key);
        }
    }

    // Moves the connection as far as its socket allows, then waits for the
    // readiness the last TLS call asked for, or closes it.
    void advance(int poll, Connections& connections, Connection* connection) {
        int result = 1;
        if (!connection->handshaken) {
            result = SSL_do_handshake(connection->ssl);
            connection->handshaken = result == 1;
        }
        char chunk[4096];
        while (connection->handshaken && !connection->lineComplete) {
            result = SSL_read(connection->ssl, chunk, sizeof chunk);
            if (result <= 0) break;
            const std::size_t searchFrom = connection->request.size();
            connection->request.append(chunk, static_cast<std::size_t>(result));
            connection->lineComplete = connection->request.find('\n', searchFrom) != std::string::npos;
            if (!connection->lineComplete && connection->request.size() > maximumRequestSize) {
                return close(connections, connection);
            }
        }
        while (connection->lineComplete && connection->replied < reply_.size()) {
            result = SSL_write(connection->ssl, reply_.data() + connection->replied,
                               static_cast<int>(reply_.size() - connection->replied));
            if (result <= 0) break;
            connection->replied += static_cast<std::size_t>(result);
        }
        if (connection->replied == reply_.size()) return close(connections, connection);

        switch (SSL_get_error(connection->ssl, result)) {
        case SSL_ERROR_WANT_READ:
            return watch(poll, EPOLL_CTL_MOD, connection->socket, EPOLLIN, connection);
        case SSL_ERROR_WANT_WRITE:
            return watch(poll, EPOLL_CTL_MOD, connection->socket, EPOLLOUT, connection);
        default:
            ERR_clear_error();
            return close(connections, connection);
        }
    }

    static void close(Connections& connections, Connection* connection) {
        // Closing the descriptor also takes it out of the epoll set.
        connections.erase(connection);
    }

    SSL_CTX* context_;
    std::string reply_;
    int listener_ = -1;
    int stop_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> polls_;
    std::vector<std::thread> threads_;
    // Addresses that tell the listener and the stop signal from connections.
    char listenerToken_ = 0;
    char stopToken_ = 0;
};

}  // namespace zentrabo::bench
