#pragma once
// What the video encoder tests share: the frames an encoder handed out, the
// NAL units of a video payload, and the ffmpeg tools' verdict on the stream
// those frames make.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/stream_control_payloads.hpp"
#include "platform/binary/big_endian.hpp"
#include "platform/imaging/image.hpp"
#include "screenstream/video_encoder.hpp"
#include "support/synthetic_video.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::test {

// A temporary home whose diagnostic log can be written.
struct LoggingHome : testing::TemporaryHome {
    LoggingHome() { std::filesystem::create_directories(logFolder()); }
};

// Every frame an encoder handed out, in order.
struct FrameRecorder {
    std::vector<RemoteScreenStreamFrame> frames;

    EncodedFrameHandler handler() {
        return [this](RemoteScreenStreamFrame frame) { frames.push_back(std::move(frame)); };
    }
    std::vector<const RemoteScreenStreamFrame*> ofKind(RemoteScreenStreamFrameKind kind) const {
        std::vector<const RemoteScreenStreamFrame*> found;
        for (const auto& frame : frames) {
            if (frame.kind == kind) found.push_back(&frame);
        }
        return found;
    }
    std::vector<const RemoteScreenStreamFrame*> videoFrames() const {
        return ofKind(RemoteScreenStreamFrameKind::video);
    }
};

inline CapturedVideoFrame capturedFrame(int width, int height, RgbaPixels pixels, std::chrono::nanoseconds time) {
    CapturedVideoFrame frame;
    frame.image.width = static_cast<std::uint32_t>(width);
    frame.image.height = static_cast<std::uint32_t>(height);
    frame.image.pixels = std::move(pixels);
    frame.presentationTime = time;
    return frame;
}

// The NAL units of a payload of 4-byte lengths; a length that overruns the
// payload fails the test.
inline std::vector<std::vector<std::uint8_t>> lengthPrefixedUnits(const std::vector<std::uint8_t>& payload) {
    std::vector<std::vector<std::uint8_t>> units;
    std::size_t offset = 0;
    while (offset < payload.size()) {
        const std::size_t length = platform::readUInt32(payload, offset);
        EXPECT_LE(offset + 4 + length, payload.size()) << "a NAL length overruns the payload";
        if (offset + 4 + length > payload.size()) break;
        units.emplace_back(payload.begin() + offset + 4, payload.begin() + offset + 4 + length);
        offset += 4 + length;
    }
    return units;
}

inline int h264NalType(const std::vector<std::uint8_t>& unit) { return unit[0] & 0x1F; }
inline int hevcNalType(const std::vector<std::uint8_t>& unit) { return (unit[0] >> 1) & 0x3F; }

// Whether the payload holds an IDR slice of the codec.
inline bool holdsIdrSlice(bool hevc, const std::vector<std::uint8_t>& payload) {
    for (const auto& unit : lengthPrefixedUnits(payload)) {
        if (hevc ? (hevcNalType(unit) == 19 || hevcNalType(unit) == 20) : h264NalType(unit) == 5) return true;
    }
    return false;
}

// Writes the frames back as an Annex-B stream, as a device would feed its
// decoder: each configuration's parameter sets, then each video payload.
inline void writeAnnexB(const std::vector<RemoteScreenStreamFrame>& frames, const std::filesystem::path& path) {
    static constexpr std::array<std::uint8_t, 4> startCode = {0, 0, 0, 1};
    std::ofstream file(path, std::ios::binary);
    auto writeUnit = [&](const std::vector<std::uint8_t>& unit) {
        file.write(reinterpret_cast<const char*>(startCode.data()), startCode.size());
        file.write(reinterpret_cast<const char*>(unit.data()), static_cast<std::streamsize>(unit.size()));
    };
    for (const auto& frame : frames) {
        if (frame.kind == RemoteScreenStreamFrameKind::configuration) {
            const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(
                std::string(frame.payload.begin(), frame.payload.end()));
            if (configuration.vps) writeUnit(*configuration.vps);
            writeUnit(configuration.sps);
            writeUnit(configuration.pps);
        } else if (frame.kind == RemoteScreenStreamFrameKind::video) {
            for (const auto& unit : lengthPrefixedUnits(frame.payload)) writeUnit(unit);
        }
    }
}

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and standard error
};

inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    while (const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        result.output.append(buffer.data(), count);
    }
    result.status = pclose(pipe);
    return result;
}

// ffmpeg decodes the stream without a word, and ffprobe names its codec and size.
inline void expectDecodesCleanly(const std::vector<RemoteScreenStreamFrame>& frames, const std::string& format,
                                 const std::string& expectedCodecAndSize) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zentrabo-video-" + std::to_string(::getpid()) + "." + format);
    writeAnnexB(frames, path);
    const CommandResult decode =
        runCommand("ffmpeg -nostdin -v error -f " + format + " -i '" + path.string() + "' -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
    const CommandResult probe =
        runCommand("ffprobe -v error -f " + format + " -show_entries stream=codec_name,width,height -of csv=p=0 '" +
                   path.string() + "'");
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, expectedCodecAndSize + "\n");
    std::filesystem::remove(path);
}

// The pictures ffmpeg decodes from the frames, one a video frame in order
// (none dropped or repeated), as RGBA images of the stream's size.
inline std::vector<platform::RgbaImage> decodedPictures(const std::vector<RemoteScreenStreamFrame>& frames,
                                                        const std::string& format, std::uint32_t width,
                                                        std::uint32_t height) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zentrabo-pictures-" + std::to_string(::getpid()) + "." + format);
    const std::filesystem::path raw = path.string() + ".rgba";
    writeAnnexB(frames, path);
    const CommandResult decode = runCommand("ffmpeg -nostdin -v error -y -f " + format + " -i '" + path.string() +
                                            "' -fps_mode passthrough -f rawvideo -pix_fmt rgba '" + raw.string() + "'");
    EXPECT_EQ(decode.status, 0) << decode.output;
    std::ifstream file(raw, std::ios::binary);
    std::vector<platform::RgbaImage> pictures;
    for (platform::RgbaImage picture(width, height); file.read(reinterpret_cast<char*>(picture.pixels.data()),
                                                               static_cast<std::streamsize>(picture.pixels.size()));) {
        pictures.push_back(picture);
    }
    std::filesystem::remove(path);
    std::filesystem::remove(raw);
    return pictures;
}

}  // namespace zentrabo::test
