// Leaks on purpose, beside the libx265 leak that the test run suppresses:
// CTest expects this program to fail, which shows that the suppression
// hides the library's leak and never one of ours.
#include <cstdlib>
#include <vector>

#include "platform/media/rgba_to_yuv420_converter.hpp"
#include "platform/media/video_compression_session.hpp"

namespace {

void* volatile lostAllocation = nullptr;

[[gnu::noinline]] void leakOurOwnBlock() {
    lostAllocation = std::malloc(4096);
    lostAllocation = nullptr;
}

}  // namespace

int main() {
    using namespace zentrabo::platform;
    constexpr int width = 64, height = 64;
    auto session = VideoCompressionSession::open({VideoCompressionCodec::hevc, width, height, 24, 500'000});
    RgbaToYuv420Converter converter(width, height);
    session->send(converter.convert(std::vector<std::uint8_t>(width * height * 4, 0x80)), 0, false);
    while (session->receive()) {
    }
    leakOurOwnBlock();
    return 0;
}
