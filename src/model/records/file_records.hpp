#pragma once
// A folder listing or one file, as the file browser returns them.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/data.hpp"
#include "platform/dispatch/date.hpp"
#include "model/json/model_record_json.hpp"
#include "model/shared_enumerations.hpp"

namespace zentrabo {

// One item of a folder listing; identified by its path.
struct RemoteFileEntry {
    std::string name;
    std::string path;
    bool isDirectory = false;
    bool isPackage = false;
    std::optional<std::string> contentType;
    std::optional<std::int64_t> size;
    std::optional<platform::Date> modificationDate;

    const std::string& id() const { return path; }

    static constexpr auto jsonFields() {
        using R = RemoteFileEntry;
        return std::tuple{field("name", &R::name),
                          field("path", &R::path),
                          field("isDirectory", &R::isDirectory),
                          field("isPackage", &R::isPackage),
                          field("contentType", &R::contentType),
                          field("size", &R::size),
                          field("modificationDate", &R::modificationDate)};
    }
};

// A folder with its listing, or one file (with its bytes when asked for);
// identified by its path.
struct RemoteFileResource {
    RemoteFileResourceKind kind = RemoteFileResourceKind::file;
    std::string name;
    std::string path;
    std::optional<std::string> parentPath;
    std::optional<std::string> contentType;
    std::optional<std::int64_t> size;
    std::optional<platform::Date> modificationDate;
    std::optional<std::vector<RemoteFileEntry>> entries;
    std::optional<Data> data;

    const std::string& id() const { return path; }

    static constexpr auto jsonFields() {
        using R = RemoteFileResource;
        return std::tuple{field("kind", &R::kind),
                          field("name", &R::name),
                          field("path", &R::path),
                          field("parentPath", &R::parentPath),
                          field("contentType", &R::contentType),
                          field("size", &R::size),
                          field("modificationDate", &R::modificationDate),
                          field("entries", &R::entries),
                          field("data", &R::data)};
    }
};

}  // namespace zentrabo
