// The wire records with a 25 MiB file: reading a request whose workflow step
// carries the file, and writing a reply that carries it, beside a bare
// Base64 encode (and decode) of the same bytes. Throughput is counted in
// file bytes for all four, so the figures compare directly.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "platform/text/base64.hpp"

namespace {

using namespace zentrabo;

constexpr std::size_t kFileBytes = 25 * 1024 * 1024;

const Data& fileBytes() {
    static const Data bytes = [] {
        Data data(kFileBytes);
        std::mt19937_64 random(7);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        return data;
    }();
    return bytes;
}

void countFileBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void BM_Base64EncodeBare(benchmark::State& state) {
    const Data& bytes = fileBytes();
    std::string out(platform::base64EncodedLength(bytes.size()), '\0');
    for (auto _ : state) {
        platform::base64EncodeInto(bytes, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    countFileBytes(state);
}

void BM_Base64DecodeBare(benchmark::State& state) {
    const std::string text = platform::base64Encode(fileBytes());
    Data out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::base64Decode(text, out));
    }
    countFileBytes(state);
}

void BM_DecodeRequestWithFile(benchmark::State& state) {
    HalvardineRequest request;
    request.id = "9B2F6A9E-1C57-4C11-9E3A-5D0B8E7F4A21";
    request.action = "workflow";
    request.clientProtocolVersion = 22;
    MenuWorkflowStep step;
    step.id = "send";
    step.kind = "sendFile";
    step.title = "Send";
    step.applicationName = "";
    step.fileTransferFilename = "archive.bin";
    step.fileTransferContentType = "application/octet-stream";
    step.fileTransferData = fileBytes();
    request.workflowSteps = std::vector<MenuWorkflowStep>{step};
    // The line as the server holds it after reading: parsed where it is.
    platform::JsonInputBuffer line;
    line.append(encodeRecord(request));
    for (auto _ : state) {
        const HalvardineRequest decoded = decodeRecordFromNetworkInPlace<HalvardineRequest>(line);
        benchmark::DoNotOptimize(decoded.workflowSteps->front().fileTransferData->data());
    }
    countFileBytes(state);
}

void BM_EncodeResponseWithFile(benchmark::State& state) {
    HalvardineResponse response;
    response.id = "9B2F6A9E-1C57-4C11-9E3A-5D0B8E7F4A21";
    response.ok = true;
    response.serverProtocolVersion = 22;
    response.minimumSupportedClientProtocolVersion = 1;
    response.macName = "Studio";
    RemoteFileResource file;
    file.kind = RemoteFileResourceKind::file;
    file.name = "archive.bin";
    file.path = "/home/user/archive.bin";
    file.parentPath = "/home/user";
    file.size = static_cast<std::int64_t>(kFileBytes);
    file.modificationDate = platform::Date{786297600.5};
    file.data = fileBytes();
    response.fileResource = std::move(file);
    for (auto _ : state) {
        // A fresh buffer per reply, as each connection gets one.
        std::string line = encodeRecord(response);
        line.push_back('\n');
        benchmark::DoNotOptimize(line.data());
    }
    countFileBytes(state);
}

BENCHMARK(BM_Base64EncodeBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeResponseWithFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64DecodeBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRequestWithFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
