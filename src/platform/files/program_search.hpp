#pragma once
// Finding a program the way a session starts one: a bare name is looked up
// in $PATH.
#include <filesystem>
#include <optional>
#include <string>

namespace zentrabo::platform {

// A regular file this process may execute.
bool isExecutableFile(const std::filesystem::path& path);

// An absolute path as it is, else the first executable file of that name in
// $PATH; none when there is no such executable file (a relative path with a
// folder in it included).
std::optional<std::filesystem::path> findProgram(const std::string& program);

}  // namespace zentrabo::platform
