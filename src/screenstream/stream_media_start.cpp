#include "screenstream/stream_media_start.hpp"

#include <stdexcept>

namespace zentrabo {

asio::awaitable<void> startMediaUnavailable(RemoteScreenStreamSession&) {
    throw std::runtime_error("Screen streaming is not available on this server.");
    co_return;
}

}  // namespace zentrabo
