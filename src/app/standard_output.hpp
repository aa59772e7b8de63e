#pragma once
// The terminal's output: whole lines on standard output, written at once so
// that a reader on a pipe sees each line as soon as it is printed, and the
// failures a user must notice on standard error.
#include <string_view>

namespace zentrabo {

// Writes the line and a line feed, then flushes. Called on the main loop.
void writeStandardOutputLine(std::string_view line);

// The same on standard error, in one write, from any thread.
void writeStandardErrorLine(std::string_view line);

}  // namespace zentrabo
