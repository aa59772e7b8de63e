#include "platform/files/file_descriptor.hpp"

#include <unistd.h>

namespace zentrabo::platform {

void FileDescriptor::reset() noexcept {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

}  // namespace zentrabo::platform
