#include "app/standard_output.hpp"

#include <cstdio>

namespace zentrabo {

void writeStandardOutputLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace zentrabo
