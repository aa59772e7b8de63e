#include "maccontrol/file_entry_order.hpp"

#include <algorithm>
#include <numeric>
#include <string>

namespace zentrabo {

namespace {

template <typename T>
int compareOptionalValues(const std::optional<T>& a, const std::optional<T>& b) {
    if (a && b) return *a < *b ? -1 : (*b < *a ? 1 : 0);
    if (a) return -1;
    if (b) return 1;
    return 0;
}

int sign(std::weak_ordering order) { return order < 0 ? -1 : (order > 0 ? 1 : 0); }

}  // namespace

RemoteFileEntryOrder::RemoteFileEntryOrder(RemoteFileSortField field, RemoteFileSortDirection direction)
    : field_(field), direction_(direction), names_(platform::Collator::localizedStandard()) {}

int RemoteFileEntryOrder::compare(const RemoteFileEntry& a, const RemoteFileEntry& b) const {
    switch (field_) {
    case RemoteFileSortField::name:
        return sign(names_.compare(a.name, b.name));
    case RemoteFileSortField::modificationDate:
        return compareOptionalValues(a.modificationDate, b.modificationDate);
    case RemoteFileSortField::size:
        return compareOptionalValues(a.size, b.size);
    }
    return 0;
}

bool RemoteFileEntryOrder::isOrderedBefore(const RemoteFileEntry& a, const RemoteFileEntry& b) const {
    const int result = compare(a, b);
    if (result == 0) return names_.compare(a.name, b.name) < 0;
    return direction_ == RemoteFileSortDirection::ascending ? result < 0 : result > 0;
}

void RemoteFileEntryOrder::sort(std::vector<RemoteFileEntry>& entries) const {
    std::vector<std::string> keys;
    keys.reserve(entries.size());
    for (const RemoteFileEntry& entry : entries) keys.push_back(names_.sortKey(entry.name));

    // The same rule as isOrderedBefore, with names compared by their keys.
    const auto before = [&](std::size_t a, std::size_t b) {
        const int result =
            field_ == RemoteFileSortField::name ? keys[a].compare(keys[b]) : compare(entries[a], entries[b]);
        if (result == 0) return keys[a] < keys[b];
        return direction_ == RemoteFileSortDirection::ascending ? result < 0 : result > 0;
    };
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), before);

    std::vector<RemoteFileEntry> sorted;
    sorted.reserve(entries.size());
    for (std::size_t index : order) sorted.push_back(std::move(entries[index]));
    entries = std::move(sorted);
}

}  // namespace zentrabo
