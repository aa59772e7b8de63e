#pragma once
// Items used through one descriptor from the moment they are found. A path is
// looked up once, into a descriptor that only says where the item is
// (O_PATH: nothing of the item is opened, no device driver and no FIFO is
// touched); the caller judges that descriptor (where it really is, which
// file it is) and then reads, lists, measures or creates through it alone,
// never by the name again. Whatever is renamed, swapped for a link or
// removed at the path after the look-up, the descriptor still names the
// item that was judged.
#include "platform/files/file_descriptor.hpp"

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace zentrabo::platform {

// The most symbolic links one look-up follows, the kernel's own bound.
inline constexpr int maximumSymbolicLinkCount = 40;

// What tells one file from every other while it exists: its device and
// inode. Two names with one identity are hard links to one file (or one
// folder seen through a bind mount).
struct ItemIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const ItemIdentity&) const = default;
};

inline ItemIdentity itemIdentity(const struct stat& status) { return {status.st_dev, status.st_ino}; }

// Looks the path up (from the current folder when it is relative) into an
// O_PATH descriptor of the item. Symbolic links are followed, at most
// maximumSymbolicLinkCount of them, but never one of the magic links of
// /proc (/proc/<n>/fd/<m>, cwd, root, exe and the like), which lead to an
// object rather than to a path: such a look-up fails with ELOOP. Fails with
// the look-up's error, or invalid_argument for an empty path or one holding
// a NUL character. Uses openat2 with RESOLVE_NO_MAGICLINKS, and
// locateItemByComponents where the kernel has no openat2.
FileDescriptor locateItem(const std::string& path, std::error_code& error);

// The same look-up done by hand: one component at a time, each opened with
// O_PATH | O_NOFOLLOW relative to the folder before it, each link's text
// read and looked up in its turn (a magic link's text is a path like any
// other, or none at all). Counts links as locateItem does.
FileDescriptor locateItemByComponents(const std::string& path, std::error_code& error);

// The status of the descriptor's item (fstat, which an O_PATH descriptor
// allows); none with the error when it fails.
std::optional<struct stat> itemStatus(int descriptor, std::error_code& error);

// Where the descriptor's item really is: /proc/self/fd/<n> read back, an
// absolute path with every link resolved. None when that cannot be told: no
// /proc, an item outside the file system's tree (a pipe, a socket), or one
// removed since the look-up (the kernel then adds " (deleted)").
std::optional<std::string> itemPath(int descriptor);

// The descriptor's item opened again for use, with open's flags (O_RDONLY,
// O_DIRECTORY, O_NONBLOCK, ...; O_CLOEXEC and O_NOCTTY are always added):
// a folder as "." relative to it, anything else through /proc/self/fd/<n>,
// which reaches the very same item, never its name. Fails with ESTALE when
// what opened is not the item of the descriptor.
FileDescriptor reopenItem(int descriptor, int flags, std::error_code& error);

// The nearest existing folder on the way to a path, and the components
// still missing below it.
struct NearestFolder {
    FileDescriptor folder;  // O_PATH
    // Nothing when the path itself exists; "." and ".." among them resolved
    // by text (none of them exists, so no link can stand in their way), so
    // that only leading ".." may remain.
    std::vector<std::string> missing;
};

// Looks the path up as locateItem does and, while a component is missing,
// looks up its parent instead. Fails with the look-up's error for anything
// but a missing item, and with not_a_directory when the nearest existing
// item is no folder.
std::optional<NearestFolder> locateNearestFolder(const std::string& path, std::error_code& error);

// Creates the components one inside the other, starting in the folder of the
// descriptor, with mode less the umask; each is looked up right after it is
// made, relative to the one before, without following a link, so that
// nothing renamed or swapped meanwhile leads elsewhere ("." stays, ".." goes
// up from where the creation stands). A component made meanwhile by someone
// else is taken when it is a folder. Answers the last folder's O_PATH
// descriptor.
FileDescriptor makeFolders(int folder, const std::vector<std::string>& components, mode_t mode, std::error_code& error);

}  // namespace zentrabo::platform
