#pragma once
// The Exec key of a desktop entry, both ways: the program quoted as the
// desktop-entry format asks (inside double quotes, backslash before " ` $
// and \), then the string escaping of the value itself (each backslash
// doubled) and field codes neutralised.
#include <string>
#include <vector>

namespace zentrabo::platform {

// The value that starts the program with the arguments (plain words, such
// as "--desktop").
std::string desktopEntryExecValue(const std::string& program, const std::vector<std::string>& arguments);

// The program a value starts; empty when the value names none.
std::string desktopEntryExecProgram(const std::string& value);

}  // namespace zentrabo::platform
