#include "platform/net/socket_bio.hpp"

#include <cerrno>

#include <sys/socket.h>

namespace zentrabo::platform {
namespace {

int descriptorOf(BIO* bio) { return static_cast<asio::ip::tcp::socket*>(BIO_get_data(bio))->native_handle(); }

// A would-block is a retry for OpenSSL. The end of the stream is marked
// for socketBioReachedEnd only: told of it, OpenSSL would take a peer's
// half-close for a fatal error and refuse to write the answer that a peer
// which ended its request by closing its side still gets.
int readSome(BIO* bio, char* data, std::size_t size, std::size_t* count) {
    BIO_clear_retry_flags(bio);
    ssize_t received = 0;
    do {
        received = ::recv(descriptorOf(bio), data, size, MSG_DONTWAIT);
    } while (received < 0 && errno == EINTR);
    if (received > 0) {
        *count = static_cast<std::size_t>(received);
        return 1;
    }
    if (received == 0) {
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        BIO_set_retry_read(bio);
    }
    return 0;
}

int writeSome(BIO* bio, const char* data, std::size_t size, std::size_t* count) {
    BIO_clear_retry_flags(bio);
    ssize_t sent = 0;
    do {
        sent = ::send(descriptorOf(bio), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0) {
        *count = static_cast<std::size_t>(sent);
        return 1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_write(bio);
    return 0;
}

long control(BIO*, int command, long, void*) {
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;  // nothing is held back
    default:
        return 0;
    }
}

int create(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

// Not typed as a descriptor BIO: it answers no request for its descriptor,
// which is the socket's to give.
const BIO_METHOD* socketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket");
        if (made != nullptr) {
            BIO_meth_set_read_ex(made, readSome);
            BIO_meth_set_write_ex(made, writeSome);
            BIO_meth_set_ctrl(made, control);
            BIO_meth_set_create(made, create);
        }
        return made;
    }();
    return method;
}

}  // namespace

BIO* newSocketBio(asio::ip::tcp::socket& socket) {
    const BIO_METHOD* method = socketMethod();
    if (method == nullptr) return nullptr;
    BIO* bio = BIO_new(method);
    if (bio != nullptr) BIO_set_data(bio, &socket);
    return bio;
}

bool socketBioReachedEnd(BIO* bio) { return bio != nullptr && BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0; }

}  // namespace zentrabo::platform
