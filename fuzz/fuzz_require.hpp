#pragma once
// The fuzzers' one check: a broken rule stops the run, naming its line, so
// a finding says which rule it broke.
#include <cstdio>
#include <cstdlib>

namespace zentrabo::fuzzing {

inline void require(bool condition, int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "check on line %d failed\n", line);
    std::abort();
}

}  // namespace zentrabo::fuzzing
