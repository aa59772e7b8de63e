// The JSON writer on a document whose one large member is a 25 MiB binary
// field, beside a bare Base64 encode of the same bytes: the writer should
// cost little more than the encoding itself.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "platform/json/json_writer.hpp"
#include "platform/text/base64.hpp"

namespace {

constexpr std::size_t kPayloadBytes = 25 * 1024 * 1024;

const std::vector<std::uint8_t>& payload() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> data(kPayloadBytes);
        std::mt19937_64 random(42);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        return data;
    }();
    return bytes;
}

void BM_Base64EncodeBare(benchmark::State& state) {
    const auto& bytes = payload();
    std::string out(zentrabo::platform::base64EncodedLength(bytes.size()), '\0');
    for (auto _ : state) {
        zentrabo::platform::base64EncodeInto(bytes, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_JsonWriterDocumentWithLargeBinary(benchmark::State& state) {
    const auto& bytes = payload();
    for (auto _ : state) {
        // A fresh buffer each time, as a reply is built: allocation included.
        std::string out;
        zentrabo::platform::JsonWriter writer(out);
        writer.beginObject();
        writer.key("id");
        writer.string("9B2F6A9E-1C57-4C11-9E3A-5D0B8E7F4A21");
        writer.key("ok");
        writer.boolean(true);
        writer.key("fileResource");
        writer.beginObject();
        writer.key("kind");
        writer.string("file");
        writer.key("name");
        writer.string("archive.bin");
        writer.key("size");
        writer.integer(static_cast<std::int64_t>(bytes.size()));
        writer.key("data");
        writer.base64(bytes);
        writer.endObject();
        writer.key("serverProtocolVersion");
        writer.integer(22);
        writer.endObject();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_Base64EncodeBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonWriterDocumentWithLargeBinary)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
