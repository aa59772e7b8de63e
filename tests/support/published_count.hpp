#pragma once
// Counts how often a published property is assigned, changed or not.
#include <memory>

#include "server/published.hpp"

namespace zentrabo::testing {

template <typename T>
std::shared_ptr<int> countAssignments(const Published<T>& property) {
    auto count = std::make_shared<int>(0);
    property.observe([count](const T&) { ++*count; });
    return count;
}

}  // namespace zentrabo::testing
