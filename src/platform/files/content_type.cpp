#include "platform/files/content_type.hpp"

#include "platform/files/file_path.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace zentrabo::platform {

namespace {

using TypeByExtension = std::pair<std::string_view, std::string_view>;

// Sorted by extension, lower case.
constexpr std::array fileTypes = {
    TypeByExtension{"7z", "org.7-zip.7-zip-archive"},
    TypeByExtension{"aif", "public.aiff-audio"},
    TypeByExtension{"aiff", "public.aiff-audio"},
    TypeByExtension{"avi", "public.avi"},
    TypeByExtension{"bmp", "com.microsoft.bmp"},
    TypeByExtension{"bz2", "public.bzip2-archive"},
    TypeByExtension{"c", "public.c-source"},
    TypeByExtension{"cc", "public.c-plus-plus-source"},
    TypeByExtension{"cpp", "public.c-plus-plus-source"},
    TypeByExtension{"css", "public.css"},
    TypeByExtension{"csv", "public.comma-separated-values-text"},
    TypeByExtension{"cxx", "public.c-plus-plus-source"},
    TypeByExtension{"dmg", "com.apple.disk-image-udif"},
    TypeByExtension{"doc", "com.microsoft.word.doc"},
    TypeByExtension{"docx", "org.openxmlformats.wordprocessingml.document"},
    TypeByExtension{"epub", "org.idpf.epub-container"},
    TypeByExtension{"flac", "org.xiph.flac"},
    TypeByExtension{"gif", "com.compuserve.gif"},
    TypeByExtension{"gz", "org.gnu.gnu-zip-archive"},
    TypeByExtension{"h", "public.c-header"},
    TypeByExtension{"heic", "public.heic"},
    TypeByExtension{"heif", "public.heif"},
    TypeByExtension{"hpp", "public.c-plus-plus-header"},
    TypeByExtension{"htm", "public.html"},
    TypeByExtension{"html", "public.html"},
    TypeByExtension{"icns", "com.apple.icns"},
    TypeByExtension{"ico", "com.microsoft.ico"},
    TypeByExtension{"ics", "com.apple.ical.ics"},
    TypeByExtension{"iso", "public.iso-image"},
    TypeByExtension{"java", "com.sun.java-source"},
    TypeByExtension{"jpeg", jpegContentType},
    TypeByExtension{"jpg", jpegContentType},
    TypeByExtension{"js", "com.netscape.javascript-source"},
    TypeByExtension{"json", "public.json"},
    TypeByExtension{"log", "com.apple.log"},
    TypeByExtension{"m", "public.objective-c-source"},
    TypeByExtension{"m4a", "com.apple.m4a-audio"},
    TypeByExtension{"m4v", "com.apple.m4v-video"},
    TypeByExtension{"md", "net.daringfireball.markdown"},
    TypeByExtension{"mkv", "org.matroska.mkv"},
    TypeByExtension{"mov", "com.apple.quicktime-movie"},
    TypeByExtension{"mp3", "public.mp3"},
    TypeByExtension{"mp4", "public.mpeg-4"},
    TypeByExtension{"pdf", "com.adobe.pdf"},
    TypeByExtension{"php", "public.php-script"},
    TypeByExtension{"pl", "public.perl-script"},
    TypeByExtension{"plist", "com.apple.property-list"},
    TypeByExtension{"png", "public.png"},
    TypeByExtension{"ppt", "com.microsoft.powerpoint.ppt"},
    TypeByExtension{"pptx", "org.openxmlformats.presentationml.presentation"},
    TypeByExtension{"py", "public.python-script"},
    TypeByExtension{"rb", "public.ruby-script"},
    TypeByExtension{"rtf", "public.rtf"},
    TypeByExtension{"sh", "public.shell-script"},
    TypeByExtension{"svg", "public.svg-image"},
    TypeByExtension{"swift", "public.swift-source"},
    TypeByExtension{"tar", "public.tar-archive"},
    TypeByExtension{"text", "public.plain-text"},
    TypeByExtension{"tgz", "org.gnu.gnu-zip-tar-archive"},
    TypeByExtension{"tif", "public.tiff"},
    TypeByExtension{"tiff", "public.tiff"},
    TypeByExtension{"tsv", "public.tab-separated-values-text"},
    TypeByExtension{"txt", "public.plain-text"},
    TypeByExtension{"vcf", "public.vcard"},
    TypeByExtension{"wav", "com.microsoft.waveform-audio"},
    TypeByExtension{"webp", "org.webmproject.webp"},
    TypeByExtension{"xls", "com.microsoft.excel.xls"},
    TypeByExtension{"xlsx", "org.openxmlformats.spreadsheetml.sheet"},
    TypeByExtension{"xml", "public.xml"},
    TypeByExtension{"yaml", "public.yaml"},
    TypeByExtension{"yml", "public.yaml"},
    TypeByExtension{"zip", "public.zip-archive"},
};

// Folders shown and typed as one item. Sorted by extension.
constexpr std::array packageTypes = {
    TypeByExtension{"app", "com.apple.application-bundle"},
    TypeByExtension{"appex", "com.apple.application-and-system-extension"},
    TypeByExtension{"bundle", "com.apple.bundle"},
    TypeByExtension{"framework", "com.apple.framework"},
    TypeByExtension{"kext", "com.apple.kernel-extension"},
    TypeByExtension{"plugin", "com.apple.plugin"},
    TypeByExtension{"rtfd", "com.apple.rtfd"},
};

// MIME types and the extension a file of that type is given, sorted by MIME
// type, lower case. Every extension is one of fileTypes.
constexpr std::array mimeTypes = {
    TypeByExtension{"application/epub+zip", "epub"},
    TypeByExtension{"application/gzip", "gz"},
    TypeByExtension{"application/json", "json"},
    TypeByExtension{"application/msword", "doc"},
    TypeByExtension{"application/pdf", "pdf"},
    TypeByExtension{"application/rtf", "rtf"},
    TypeByExtension{"application/vnd.ms-excel", "xls"},
    TypeByExtension{"application/vnd.ms-powerpoint", "ppt"},
    TypeByExtension{"application/vnd.openxmlformats-officedocument.presentationml.presentation", "pptx"},
    TypeByExtension{"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "xlsx"},
    TypeByExtension{"application/vnd.openxmlformats-officedocument.wordprocessingml.document", "docx"},
    TypeByExtension{"application/x-7z-compressed", "7z"},
    TypeByExtension{"application/x-tar", "tar"},
    TypeByExtension{"application/xml", "xml"},
    TypeByExtension{"application/zip", "zip"},
    TypeByExtension{"audio/aiff", "aiff"},
    TypeByExtension{"audio/flac", "flac"},
    TypeByExtension{"audio/mp4", "m4a"},
    TypeByExtension{"audio/mpeg", "mp3"},
    TypeByExtension{"audio/wav", "wav"},
    TypeByExtension{"image/bmp", "bmp"},
    TypeByExtension{"image/gif", "gif"},
    TypeByExtension{"image/heic", "heic"},
    TypeByExtension{"image/heif", "heif"},
    TypeByExtension{"image/jpeg", "jpeg"},
    TypeByExtension{"image/png", "png"},
    TypeByExtension{"image/svg+xml", "svg"},
    TypeByExtension{"image/tiff", "tiff"},
    TypeByExtension{"image/webp", "webp"},
    TypeByExtension{"text/calendar", "ics"},
    TypeByExtension{"text/css", "css"},
    TypeByExtension{"text/csv", "csv"},
    TypeByExtension{"text/html", "html"},
    TypeByExtension{"text/markdown", "md"},
    TypeByExtension{"text/plain", "txt"},
    TypeByExtension{"text/vcard", "vcf"},
    TypeByExtension{"video/mp4", "mp4"},
    TypeByExtension{"video/quicktime", "mov"},
    TypeByExtension{"video/x-matroska", "mkv"},
};

constexpr bool byExtension(const TypeByExtension& a, const TypeByExtension& b) { return a.first < b.first; }
static_assert(std::is_sorted(fileTypes.begin(), fileTypes.end(), byExtension));
static_assert(std::is_sorted(packageTypes.begin(), packageTypes.end(), byExtension));
static_assert(std::is_sorted(mimeTypes.begin(), mimeTypes.end(), byExtension));

template <std::size_t N>
std::string_view find(const std::array<TypeByExtension, N>& table, std::string_view extension) {
    if (extension.empty()) return {};
    const auto found = std::lower_bound(table.begin(), table.end(), TypeByExtension{extension, {}}, byExtension);
    return found != table.end() && found->first == extension ? found->second : std::string_view();
}

constexpr bool hasFileType(std::string_view extension) {
    return std::any_of(fileTypes.begin(), fileTypes.end(), [&](const auto& type) { return type.first == extension; });
}
static_assert(std::all_of(mimeTypes.begin(), mimeTypes.end(),
                          [](const auto& type) { return hasFileType(type.second); }));

}  // namespace

std::string_view preferredExtensionForMIMEType(std::string_view mimeType) {
    std::string lower(mimeType);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return find(mimeTypes, lower);
}

bool isPackageFolderName(std::string_view name) { return !find(packageTypes, lowercasePathExtension(name)).empty(); }

std::string_view contentTypeIdentifier(FileItemKind kind, std::string_view name, bool isExecutable) {
    const std::string extension = lowercasePathExtension(name);
    switch (kind) {
    case FileItemKind::directory: {
        const std::string_view package = find(packageTypes, extension);
        return package.empty() ? "public.folder" : package;
    }
    case FileItemKind::regularFile: {
        const std::string_view type = find(fileTypes, extension);
        if (!type.empty()) return type;
        return extension.empty() && isExecutable ? "public.unix-executable" : "public.data";
    }
    case FileItemKind::other:
        break;
    }
    return "public.item";
}

}  // namespace zentrabo::platform
