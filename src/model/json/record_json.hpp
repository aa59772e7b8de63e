#pragma once

// Model records take their JSON form, equality and hashing from their field
// tables (platform/json/record_json.hpp). This adds the JSON forms of the
// leaf types records carry besides the built-in ones, and names the table
// machinery in zentrabo, where the records and their readers live.
#include "model/date.hpp"
#include "model/uuid.hpp"
#include "platform/json/record_json.hpp"

// A Date is a number of seconds, a Uuid its upper-case text (any case is
// read).
template <>
struct zentrabo::platform::JsonValueForm<zentrabo::Date> {
    static void read(JsonValue value, Date& out);
    static void write(JsonWriter& writer, const Date& date);
    static std::size_t hash(const Date& date) noexcept;
};

template <>
struct zentrabo::platform::JsonValueForm<zentrabo::Uuid> {
    static void read(JsonValue value, Uuid& out);
    static void write(JsonWriter& writer, const Uuid& uuid);
    static std::size_t hash(const Uuid& uuid) noexcept;
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
