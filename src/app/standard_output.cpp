#include "app/standard_output.hpp"

#include <cstdio>
#include <string>

namespace zentrabo {

void writeStandardOutputLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void writeStandardErrorLine(std::string_view line) {
    const std::string text = std::string(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace zentrabo
