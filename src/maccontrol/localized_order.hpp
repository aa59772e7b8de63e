#pragma once
// The order in which lists of names are shown: the user's language, case
// ignored, diacritics not. Records whose names compare equal keep the order
// they came in, so equal names have one reproducible order.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/collation.hpp"

namespace zentrabo {

template <class Record, class NameOf>
std::vector<Record> sortedByLocalizedName(std::vector<Record> records, NameOf nameOf) {
    const platform::Collator collator(platform::CollationStrength::secondary);
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) keys.emplace_back(collator.sortKey(nameOf(records[i])), i);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Record> sorted;
    sorted.reserve(records.size());
    for (const auto& key : keys) sorted.push_back(std::move(records[key.second]));
    return sorted;
}

}  // namespace zentrabo
