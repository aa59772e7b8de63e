// The all-displays screenshot of two 5K displays (5120 x 2880 pixels each,
// side by side): from their captured images to the JPEG bytes through our
// path (the composite drawn a row at a time into the encoder, and the
// record), beside the bare encode of the finished canvas with the same
// settings (tjCompress2, RGBA, 4:2:0, quality 90, accurate DCT). The encode
// is nearly all of the cost, so the speed ratio printed at the end should be
// 0.8 or more.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/server_identity.hpp"
#include "maccontrol/display_composite.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "ratio_reporter.hpp"

namespace {

using zentrabo::DesktopController;
using zentrabo::platform::RgbaImage;

// A picture with gradients and fine detail, as a desktop has, so the
// encoder works as hard as on a real screen.
RgbaImage capturedDisplay(std::uint8_t tint) {
    RgbaImage image(5120, 2880);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 255 / image.width);
            pixel[1] = static_cast<std::uint8_t>(y * 255 / image.height);
            pixel[2] = static_cast<std::uint8_t>(((x / 8 + y / 8) % 2) * 64 + tint);
            pixel[3] = 255;
        }
    }
    return image;
}

const std::vector<DesktopController::DisplayScreenshotSource>& sources() {
    static const std::vector<DesktopController::DisplayScreenshotSource> displays = {
        {{0, 0, 2560, 1440}, capturedDisplay(40), 2},
        {{2560, 0, 2560, 1440}, capturedDisplay(120), 2},
    };
    return displays;
}

// The controller's desktop lives in a temporary home for the run.
struct Desktop {
    Desktop() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrabo-bench-XXXXXX").string();
        home = mkdtemp(pattern.data());
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        zentrabo::platform::setProductIdentity(zentrabo::serverIdentity());
        zentrabo::platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 2560, 1440}, 2).display(2, {2560, 0, 2560, 1440}, 2);
        desktop = zentrabo::platform::VirtualDesktop::create(builder.build(), clock);
        controller.emplace(*desktop);
    }
    ~Desktop() {
        controller.reset();
        desktop.reset();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    std::filesystem::path home;
    zentrabo::platform::ManualClock clock;
    std::shared_ptr<zentrabo::platform::VirtualDesktop> desktop;
    std::optional<DesktopController> controller;
};

void BM_AllDisplaysScreenshot(benchmark::State& state) {
    Desktop desktop;
    for (auto _ : state) {
        zentrabo::DisplayComposite composite(sources());
        auto screenshot =
            desktop.controller->encodeScreenshot(composite.rows(), "All Monitors", "monitors-All Monitors");
        benchmark::DoNotOptimize(screenshot.data.data());
    }
}

// The same picture whole, as one block of memory.
RgbaImage finishedCanvas() {
    zentrabo::DisplayComposite composite(sources());
    const auto rows = composite.rows();
    RgbaImage canvas(rows.width, rows.height);
    for (std::uint32_t y = 0; y < rows.height; ++y) {
        std::copy_n(rows.rowAt(y), canvas.rowBytes(), canvas.pixel(0, y));
    }
    return canvas;
}

void BM_BareEncodeOfTheCanvas(benchmark::State& state) {
    const RgbaImage canvas = finishedCanvas();
    tjhandle compressor = tjInitCompress();
    for (auto _ : state) {
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        if (tjCompress2(compressor, canvas.pixels.data(), static_cast<int>(canvas.width), 0,
                        static_cast<int>(canvas.height), TJPF_RGBA, &jpeg, &size, TJSAMP_420, 90,
                        TJFLAG_ACCURATEDCT) != 0) {
            state.SkipWithError("tjCompress2 failed");
        }
        benchmark::DoNotOptimize(jpeg);
        tjFree(jpeg);
    }
    tjDestroy(compressor);
}

}  // namespace

BENCHMARK(BM_AllDisplaysScreenshot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEncodeOfTheCanvas)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    sources();  // drawn once, outside the timings
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.seconds("BM_AllDisplaysScreenshot");
    const double bare = reporter.seconds("BM_BareEncodeOfTheCanvas");
    if (ours > 0 && bare > 0)
        std::printf("speed of our path / bare encode: %.2f (at least 0.8 expected)\n", bare / ours);
    benchmark::Shutdown();
    return 0;
}
