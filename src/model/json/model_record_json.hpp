#pragma once

// Model records take their JSON form, equality and hashing from their field
// tables (platform/json/record_json.hpp). This adds the JSON forms of the
// leaf types records carry besides the built-in ones, and names the table
// machinery in zentrabo, where the records and their readers live.
#include "platform/dispatch/date.hpp"
#include "platform/random/uuid.hpp"
#include "platform/json/record_json.hpp"

// A Date is a number of seconds, a Uuid its upper-case text (any case is
// read).
template <>
struct zentrabo::platform::JsonValueForm<zentrabo::platform::Date> {
    static void read(JsonValue value, platform::Date& out);
    static void write(JsonWriter& writer, const platform::Date& date);
    static std::size_t hash(const platform::Date& date) noexcept;
};

template <>
struct zentrabo::platform::JsonValueForm<zentrabo::platform::Uuid> {
    static void read(JsonValue value, platform::Uuid& out);
    static void write(JsonWriter& writer, const platform::Uuid& uuid);
    static std::size_t hash(const platform::Uuid& uuid) noexcept;
};

namespace zentrabo {

using platform::decodeRecord;
using platform::decodeRecordFromNetwork;
using platform::decodeRecordFromNetworkInPlace;
using platform::encodeRecord;
using platform::field;
using platform::hashValue;
using platform::RecordDecodeError;
// Found by argument-dependent lookup on records of this namespace.
using platform::operator==;

}  // namespace zentrabo
