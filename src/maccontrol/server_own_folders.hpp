#pragma once
// The places no device may reach through the file browser: the folders that
// hold the server's key store, settings and diagnostic log, and this
// process's own entries in /proc (its environment, descriptors and memory
// map). Every path a device names is judged here once it is resolved, for
// reading and opening as for writing received files.
#include <string>

namespace zentrabo {

// Whether a resolved path (every symbolic link followed, no "." or "..", as
// platform::resolvedItemPath gives it) is one of the server's own folders or
// lies inside one:
// - the data folder, except its virtual desktop's folder, which holds the
//   desktop's applications and no secret;
// - the settings folder;
// - the folder of the diagnostic log;
// - /proc/self, /proc/thread-self, and /proc/<n> for this process and each
//   of its threads (thread entries are not listed in /proc, but open like
//   the process's own).
bool isInsideServerOwnFolders(const std::string& resolvedPath);

}  // namespace zentrabo
