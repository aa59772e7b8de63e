#include "maccontrol/local_timestamp.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace zentrabo {

std::string localTimestamp(platform::Date date) {
    // Kept within what time_t holds; a clock never comes near the bounds.
    const double unixSeconds = std::floor(date.unixSeconds());
    const auto seconds =
        static_cast<std::time_t>(std::isfinite(unixSeconds) ? std::clamp(unixSeconds, -1e15, 1e15) : 0);
    std::tm local{};
    char text[32] = "";
    if (localtime_r(&seconds, &local) == nullptr || std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local) == 0) {
        return "00000000-000000";
    }
    return text;
}

}  // namespace zentrabo
