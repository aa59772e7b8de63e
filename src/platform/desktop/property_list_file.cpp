#include "platform/desktop/property_list.hpp"

#include "platform/files/atomic_file.hpp"
#include "platform/files/bounded_file_read.hpp"

namespace zentrabo::platform {

namespace {

// Information dictionaries are a few kilobytes; anything this large is not one.
constexpr std::size_t maximumFileSize = 16 * 1024 * 1024;

}  // namespace

std::optional<PropertyListValue> readPropertyListFile(const std::filesystem::path& path) {
    const BoundedFileRead read = readRegularFile(path.string(), maximumFileSize);
    if (read.status != BoundedFileRead::Status::ok) return std::nullopt;
    return decodePropertyList(read.bytes);
}

void writePropertyListFile(const std::filesystem::path& path, const PropertyListValue& value) {
    writeFileAtomically(path, encodePropertyListXml(value), 0644);
}

}  // namespace zentrabo::platform
