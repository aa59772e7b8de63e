#pragma once
// The terminal's output: whole lines on standard output, written at once so
// that a reader on a pipe sees each line as soon as it is printed.
#include <string_view>

namespace zentrabo {

// Writes the line and a line feed, then flushes. Called on the main loop.
void writeStandardOutputLine(std::string_view line);

}  // namespace zentrabo
