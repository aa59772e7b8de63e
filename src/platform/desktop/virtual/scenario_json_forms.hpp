#pragma once
// The forms of the scenario file that are not the field tables' own
// (scenario_json.cpp): colours as "#RRGGBBAA" text, enumerations by name
// with an unknown name quoted in the fault, and "-" for a separator.
#include <cstdint>
#include <string_view>

#include "platform/json/field_table.hpp"
#include "platform/json/json_writer.hpp"

namespace zentrabo::platform {

// An RGBA colour, written "#RRGGBBAA"; "#RRGGBB" reads as opaque.
struct ColourForm {
    static void read(JsonValue value, std::uint32_t& rgba);
    static void write(JsonWriter& writer, std::uint32_t rgba);
};

// An enumeration by its rawValue name.
struct NameForm {
    template <WireEnum E>
    static void read(JsonValue value, E& out) {
        const std::string_view name = readName(value);
        if (!fromRawValue(name, out)) refuseName(name);
    }
    template <WireEnum E>
    static void write(JsonWriter& writer, E value) {
        writer.string(rawValue(value));
    }

private:
    static std::string_view readName(JsonValue value);
    [[noreturn]] static void refuseName(std::string_view name);
};

struct ScenarioMenuItem;

// A menu item is an object, or "-" for a separator.
template <>
struct JsonValueForm<ScenarioMenuItem> {
    static void read(JsonValue value, ScenarioMenuItem& item);
    static void write(JsonWriter& writer, const ScenarioMenuItem& item);
};

}  // namespace zentrabo::platform
