#pragma once
// The order of a folder listing: by name (numbers inside names by value,
// letters before case), by modification date or by size, either way; ties,
// and entries without a date or size among themselves, fall back to the
// names in ascending order whatever the direction.
#include "model/records/file_records.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/text/collation.hpp"

#include <vector>

namespace zentrabo {

class RemoteFileEntryOrder {
public:
    RemoteFileEntryOrder(RemoteFileSortField field, RemoteFileSortDirection direction);

    // -1, 0 or 1 by the field alone: names by the collator; dates and sizes
    // by value, present before absent, two absent ones equal.
    int compare(const RemoteFileEntry& a, const RemoteFileEntry& b) const;
    bool isOrderedBefore(const RemoteFileEntry& a, const RemoteFileEntry& b) const;

    // Sorts stably by isOrderedBefore, building each name's collation key once.
    void sort(std::vector<RemoteFileEntry>& entries) const;

private:
    RemoteFileSortField field_;
    RemoteFileSortDirection direction_;
    platform::Collator names_;
};

}  // namespace zentrabo
