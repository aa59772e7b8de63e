#pragma once
// Uniform type identifiers ("public.folder", "public.jpeg", ...) of files and
// folders, from our own table of name extensions: the one place that knows
// them.
#include <string>
#include <string_view>

namespace zentrabo::platform {

// The type of JPEG images.
inline constexpr std::string_view jpegContentType = "public.jpeg";

enum class FileItemKind { regularFile, directory, other };

// The type of an item by its kind and name: folders are "public.folder"
// unless their extension makes them a package ("com.apple.application-bundle"
// for ".app"); regular files by extension, an extension-less executable is
// "public.unix-executable", any other file "public.data"; FIFOs, sockets and
// devices are "public.item".
std::string_view contentTypeIdentifier(FileItemKind kind, std::string_view name, bool isExecutable);

// The preferred file name extension of a MIME type ("application/pdf" gives
// "pdf"), compared without regard to ASCII case; "" for a type the table
// does not know.
std::string_view preferredExtensionForMIMEType(std::string_view mimeType);

// Whether a folder with this name is a package (a bundle shown as one item).
bool isPackageFolderName(std::string_view name);

}  // namespace zentrabo::platform
