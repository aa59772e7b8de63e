#pragma once
// Process-wide settings a network server needs before it accepts anything.
#include <cstddef>
#include <string>

namespace zentrabo {

// Raises the soft limit of open files to the hard limit, so that many
// clients at once do not run the process out of descriptors. A refusal is
// logged; the server then runs with the limit it has.
void raiseOpenFileLimit();

// Buffers of a mebibyte or more (stream pictures, the encoders' frames) get
// mappings of their own, which go back to the system when freed. glibc would
// otherwise raise that threshold after the first such buffer is freed and
// keep every later one in a heap it seldom gives back, so the resident set
// grew with each stream that ended. An allocator that refuses the setting
// (a sanitizer's) keeps its own policy.
void keepLargeBuffersOutOfTheHeap();

// A peer that goes away while a reply is being written must cost only its
// own connection: the write reports an error instead of killing the process.
void ignoreBrokenPipes();

// The diagnostic log's bound in bytes from ZENTRABO_DIAGNOSTIC_LOG_LIMIT
// when it holds a positive decimal (tests lower it to see the log rotate);
// otherwise the default stays.
void applyDiagnosticLogLimitFromEnvironment();

// Clears away what writers that died on the way left (a kill -9 during a
// received file's save or a store's rewrite): every temporary file
// (platform::isTemporaryFileName) that no live writer holds, in the receive
// folder and in the server's own folders (data, settings and log, and the
// folders inside them, links not followed). Logs how many it removed and
// answers that count. Called once the instance lock is held.
std::size_t removeLeftoverTemporaryFiles(const std::string& receiveFolder);

}  // namespace zentrabo
