#include "app/bounded_lines.hpp"

#include <string>
#include <utility>

namespace zentrabo {

BoundedLines::Line BoundedLines::take() {
    Line result;
    if (!isTooLong_) result = std::move(line_);
    line_.clear();
    isTooLong_ = false;
    return result;
}

std::string ignoredLineText(std::size_t maximumLength) {
    return "Line ignored: longer than " + std::to_string(maximumLength) + " bytes.";
}

}  // namespace zentrabo
