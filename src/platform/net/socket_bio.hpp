#pragma once
// OpenSSL's input and output over a connected socket, read and written
// directly by the session: no copy through a buffer pair. Each read and
// write is non-blocking by itself, so the socket needs no mode of its own.
// Unlike OpenSSL's own socket BIO it sends with MSG_NOSIGNAL, so a peer
// that has gone never raises SIGPIPE in a process that did not ignore it.
#include <asio/ip/tcp.hpp>
#include <openssl/bio.h>

namespace zentrabo::platform {

// A new BIO over the socket, which it neither owns nor closes, and which
// must outlive it. It uses the socket's descriptor of the moment: once the
// socket is closed, its reads and writes fail, and never reach a descriptor
// that the number was given to since. Null when OpenSSL has no memory.
BIO* newSocketBio(asio::ip::tcp::socket& socket);

// Whether a read of the BIO has found the end of the peer's stream.
bool socketBioReachedEnd(BIO* bio);

}  // namespace zentrabo::platform
