// The scenario file through the scenario's field tables, read strictly:
// wrong types, unknown keys and unknown names are faults named with their
// place, in the words docs/VIRTUAL_DESKTOP.md shows.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/json/record_json.hpp"

namespace zentrabo::platform {

namespace {

[[noreturn]] void refuse(std::string reason) { throw RecordDecodeError(RecordFault::invalidValue, std::move(reason)); }

std::string_view readText(JsonValue value) {
    const auto text = value.asString();
    if (!text) throw RecordDecodeError(RecordFault::notString, "expected a string.");
    return *text;
}

std::string describe(const RecordDecodeError& error) {
    switch (error.fault()) {
    case RecordFault::notObject:
        return "must be an object";
    case RecordFault::notArray:
        return "must be an array";
    case RecordFault::notString:
        return "must be a string";
    case RecordFault::notBoolean:
        return "must be true or false";
    case RecordFault::notNumber:
        return "must be a number";
    case RecordFault::notInteger:
    case RecordFault::notWholeNumber:
    case RecordFault::outOfRange:
        return "must be a whole number in range";
    case RecordFault::missing:
        return "is missing";
    case RecordFault::unknownKey:
        return "unknown key";
    default:
        // The scenario's own forms say it in the file's words.
        return error.reason();
    }
}

}  // namespace

void ColourForm::read(JsonValue value, std::uint32_t& rgba) {
    const std::string_view text = readText(value);
    const bool sized = text.size() == 7 || text.size() == 9;
    if (!sized || text[0] != '#' || !std::all_of(text.begin() + 1, text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        })) {
        refuse("must be a colour #RRGGBB or #RRGGBBAA");
    }
    const auto digits = static_cast<std::uint32_t>(std::stoul(std::string(text.substr(1)), nullptr, 16));
    rgba = text.size() == 7 ? (digits << 8) | 0xFF : digits;
}

void ColourForm::write(JsonWriter& writer, std::uint32_t rgba) {
    char text[12];
    std::snprintf(text, sizeof text, "#%08X", rgba);
    writer.string(text);
}

std::string_view NameForm::readName(JsonValue value) { return readText(value); }

void NameForm::refuseName(std::string_view name) { refuse("unknown value \"" + std::string(name) + "\""); }

void JsonValueForm<ScenarioMenuItem>::read(JsonValue value, ScenarioMenuItem& item) {
    if (const auto text = value.asString()) {
        if (*text != "-") refuse("must be an object or \"-\"");
        item = separator();
        return;
    }
    item = decodeRecord<ScenarioMenuItem>(value, RecordReading::strict);
}

void JsonValueForm<ScenarioMenuItem>::write(JsonWriter& writer, const ScenarioMenuItem& item) {
    if (item == separator()) {
        writer.string("-");
    } else {
        encodeRecord(item, writer);
    }
}

DesktopScenario parseDesktopScenario(std::string_view json) {
    std::optional<JsonDocument> document;
    try {
        document = JsonDocument::parse(json);
    } catch (const JsonParseError& error) {
        throw ScenarioError(std::string("scenario: not valid JSON (") + error.what() + ")");
    }
    DesktopScenario scenario;
    try {
        scenario = decodeRecord<DesktopScenario>(document->root(), RecordReading::strict);
    } catch (const RecordDecodeError& error) {
        throw ScenarioError((error.path().empty() ? "scenario" : error.path()) + ": " + describe(error));
    }
    validateScenario(scenario);
    return scenario;
}

std::string writeDesktopScenario(const DesktopScenario& scenario) { return encodeRecord(scenario); }

}  // namespace zentrabo::platform
