// Feeds arbitrary bytes to the request-line reader as two connections
// sharing one budget of line bytes receive them, a read at a time, and
// decodes each complete line as a request under the network's value cap.
// The input picks the line cap, the budget, the value cap and, before each
// read, which connection reads and how many bytes arrive.
//
// Each read ends as the rules say: refused when its bytes would pass the
// shared budget, the line when it brings the first line feed (the line is
// everything before it, what followed it is kept for the stream), refused
// when the line has passed its own cap, and read on otherwise; a read is
// never offered room past one byte over the cap; every byte goes back to
// the budget with its line. A line that decodes holds no more values than
// the cap allows and no object in it names a key twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_require.hpp"
#include "model/records/halvardine_request.hpp"
#include "platform/json/json_error.hpp"
#include "platform/json/json_reader.hpp"
#include "server/connection/request_line_reader.hpp"

namespace {

using zentrabo::fuzzing::require;

using zentrabo::RequestLineBudget;
using zentrabo::RequestLineReader;
using zentrabo::platform::JsonValue;

// Counts the values of a parsed document (keys not) and tells whether an
// object names a key twice, walked without recursion.
struct DocumentShape {
    std::size_t values = 0;
    bool repeatsKey = false;
};

DocumentShape shapeOf(JsonValue root) {
    DocumentShape shape;
    std::vector<JsonValue> pending{root};
    while (!pending.empty()) {
        const JsonValue value = pending.back();
        pending.pop_back();
        ++shape.values;
        if (const auto object = value.asObject()) {
            std::set<std::string_view> keys;
            for (const auto member : *object) {
                shape.repeatsKey = shape.repeatsKey || !keys.insert(member.key).second;
                pending.push_back(member.value);
            }
        } else if (const auto array = value.asArray()) {
            for (const auto element : *array) pending.push_back(element);
        }
    }
    return shape;
}

void decodeLine(const zentrabo::platform::JsonInputBuffer& line, std::size_t valueCap) {
    std::optional<zentrabo::platform::JsonDocument> document;
    try {
        document = zentrabo::platform::JsonDocument::parseFromNetworkInPlace(line, valueCap);
    } catch (const zentrabo::platform::JsonParseError&) {
        return;
    }
    const DocumentShape shape = shapeOf(document->root());
    require(shape.values <= valueCap);
    require(!shape.repeatsKey);
    try {
        zentrabo::decodeRecordFromNetworkInPlace<zentrabo::HalvardineRequest>(line, valueCap);
    } catch (const zentrabo::RecordDecodeError&) {
    }
}

struct Connection {
    std::unique_ptr<RequestLineReader> reader;
    std::string received;  // every byte its reads gave
    std::size_t held = 0;  // what it holds of the budget
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t lineCap = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
    const std::size_t budgetCap = input.ConsumeIntegralInRange<std::size_t>(0, 8192);
    const std::size_t valueCap = input.ConsumeIntegralInRange<std::size_t>(0, 64);
    const auto budget = std::make_shared<RequestLineBudget>(budgetCap);
    std::size_t budgetHeld = 0;

    std::array<Connection, 2> connections;
    for (auto& connection : connections) connection.reader = std::make_unique<RequestLineReader>(lineCap, budget);

    while (input.remaining_bytes() > 0) {
        Connection& connection = connections[input.ConsumeBool() ? 1 : 0];
        if (!connection.reader) continue;
        const std::size_t chunkSize = input.ConsumeIntegralInRange<std::size_t>(1, 1024);
        const auto room = connection.reader->room(chunkSize);
        require(room.size() <= chunkSize);
        require(connection.received.size() + room.size() <= lineCap + 1);
        const std::string bytes = input.ConsumeBytesAsString(room.size());
        std::copy(bytes.begin(), bytes.end(), room.begin());

        const bool overBudget = budgetHeld + bytes.size() > budgetCap;
        const std::size_t lineEnd = (connection.received + bytes).find('\n', connection.received.size());
        const auto progress = connection.reader->commit(bytes.size());
        if (overBudget) {
            require(progress == RequestLineReader::Progress::tooLarge);
        } else {
            connection.received += bytes;
            connection.held += bytes.size();
            budgetHeld += bytes.size();
            if (lineEnd != std::string::npos) {
                require(progress == RequestLineReader::Progress::complete);
                const auto& line = connection.reader->line();
                require(line.bytes.text() == std::string_view(connection.received).substr(0, lineEnd));
                const std::string_view after = std::string_view(connection.received).substr(lineEnd + 1);
                require(std::string_view(reinterpret_cast<const char*>(line.bytesAfterLine.data()),
                                         line.bytesAfterLine.size()) == after);
                decodeLine(line.bytes, valueCap);
            } else if (connection.received.size() > lineCap) {
                require(progress == RequestLineReader::Progress::tooLarge);
            } else {
                require(progress == RequestLineReader::Progress::reading);
                continue;
            }
        }
        connection.reader.reset();
        budgetHeld -= connection.held;
        connection.held = 0;
    }
    for (auto& connection : connections) connection.reader.reset();
    // Everything went back: the whole budget can be claimed again.
    require(budget->claim(budgetCap));
    return 0;
}
