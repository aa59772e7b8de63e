#pragma once
// The places no device may reach through the file browser: the folders that
// hold the server's key store, settings and diagnostic log, the files in
// them by whatever name they are reached (a hard link elsewhere included),
// and this process's own entries in /proc (its environment, descriptors and
// memory map). Every item a device names is judged here on its open
// descriptor, for reading and opening as for writing received files.
#include <filesystem>
#include <optional>
#include <string>

namespace zentrabo {

// Whether a resolved path (every symbolic link followed, no "." or "..", as
// platform::itemPath reads it back from a descriptor) is one of the server's
// own folders or lies inside one:
// - the data folder, except the desktop's browsable folder in it
//   (platform::Desktop::browsableDataFolder), which holds no secret;
// - the settings folder;
// - the folder of the diagnostic log;
// - /proc/self, /proc/thread-self, and /proc/<n> for this process and each
//   of its threads (thread entries are not listed in /proc, but open like
//   the process's own).
bool isInsideServerOwnFolders(const std::string& resolvedPath,
                              const std::optional<std::filesystem::path>& browsableDataFolder);

// Whether the item of the open descriptor (an O_PATH one will do) is the
// server's own: where it really is, read back from the descriptor, lies in
// the server's own folders (isInsideServerOwnFolders); or it is one of those
// folders or one of the files directly inside them (the key store, the
// settings file, the diagnostic log and its older file, the lock files, the
// pairing picture, ...) under another name, a hard link say, told by device
// and inode taken afresh at each call, since the stores are rewritten by
// rename and so change their inode. An item whose place cannot be told is
// the server's own too.
bool isServerOwnItem(int descriptor, const std::optional<std::filesystem::path>& browsableDataFolder);

}  // namespace zentrabo
