#include "platform/net/dnssd_library.hpp"

#include <cstdlib>

namespace zentrabo::platform::detail {

void prepareDnsServiceLibrary() {
    static const bool prepared = [] {
        setenv("AVAHI_COMPAT_NOWARN", "1", 0);
        return true;
    }();
    static_cast<void>(prepared);
}

namespace {

const bool preparedAtLoad = (prepareDnsServiceLibrary(), true);

}  // namespace
}  // namespace zentrabo::platform::detail
