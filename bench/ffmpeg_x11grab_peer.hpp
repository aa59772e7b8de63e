#pragma once
// The peer of the X11 stream rows: the ffmpeg command line grabbing the same
// screen with libx264 at the stream encoder's own settings, writing raw
// H.264 to a pipe that the bench reads, noting when each picture's last byte
// came and what ffmpeg had spent by then.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cpu_clock.hpp"
#include "drawn_to_frame.hpp"
#include "platform/media/video_compression_session.hpp"

extern char** environ;

namespace zentrabo::bench {

// The stream encoder's settings for a 1080p30 H.264 stream at 8 Mbit/s: CRF
// 23.94 (quality 0.82), the cap with half a second of buffer, a key frame
// every second, no B-frames, as many sliced threads as the encoder takes
// (one per core the process may use, at most eight), BT.709 in limited
// range. The scaler is ffmpeg's bilinear one, as the capture's when sizes
// match.
// The part of the screen grabbed: all of a 1080p screen, or a window's frame.
struct GrabRegion {
    int x = 0, y = 0;
    int width = 1920, height = 1080;
};

inline std::vector<std::string> ffmpegX11GrabCommand(const std::string& display, const GrabRegion& region = {}) {
    const bool corner = region.x == 0 && region.y == 0;
    return {"ffmpeg",
            "-nostdin",
            "-loglevel",
            "error",
            "-f",
            "x11grab",
            "-framerate",
            "30",
            "-video_size",
            std::to_string(region.width) + "x" + std::to_string(region.height),
            "-i",
            corner ? display : display + "+" + std::to_string(region.x) + "," + std::to_string(region.y),
            "-vf",
            "scale=out_color_matrix=bt709:out_range=tv:flags=bilinear,format=yuv420p",
            "-c:v",
            "libx264",
            "-preset",
            "veryfast",
            "-tune",
            "zerolatency",
            "-profile:v",
            "high",
            "-threads",
            std::to_string(platform::h264ThreadCount()),
            "-thread_type",
            "slice",
            "-crf",
            "23.94",
            "-maxrate",
            "8M",
            "-bufsize",
            "4M",
            "-g",
            "30",
            "-bf",
            "0",
            "-colorspace",
            "bt709",
            "-color_primaries",
            "bt709",
            "-color_trc",
            "bt709",
            "-f",
            "h264",
            "-"};
}

// Splits raw H.264 into access units as their bytes come: a unit ends where
// a parameter set, an SEI or a delimiter follows a slice, or a slice that
// starts a picture (its first macroblock 0) does.
class AnnexBAccessUnits {
public:
    // Appends bytes; returns how many complete units the stream now holds.
    std::size_t append(const std::uint8_t* data, std::size_t size) {
        bytes_.insert(bytes_.end(), data, data + size);
        for (; scanned_ + 4 < bytes_.size(); ++scanned_) {
            if (bytes_[scanned_] != 0 || bytes_[scanned_ + 1] != 0 || bytes_[scanned_ + 2] != 1) continue;
            const std::uint8_t type = bytes_[scanned_ + 3] & 0x1F;
            const bool slice = type == 1 || type == 5;
            const bool firstSlice = slice && (bytes_[scanned_ + 4] & 0x80) != 0;
            // A four-byte start code's leading zero belongs to the new unit.
            const std::size_t start = scanned_ > 0 && bytes_[scanned_ - 1] == 0 ? scanned_ - 1 : scanned_;
            if (sawSlice_ && (firstSlice || type == 6 || type == 7 || type == 8 || type == 9)) {
                ends_.push_back(start);
                sawSlice_ = false;
            }
            sawSlice_ = sawSlice_ || slice;
        }
        return ends_.size();
    }
    // Where the unit's bytes end in the stream.
    std::size_t end(std::size_t index) const { return ends_[index]; }
    std::vector<std::uint8_t> unit(std::size_t index) const {
        const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
        return {bytes_.begin() + static_cast<std::ptrdiff_t>(begin),
                bytes_.begin() + static_cast<std::ptrdiff_t>(ends_[index])};
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t scanned_ = 0;
    bool sawSlice_ = false;
    std::vector<std::size_t> ends_;
};

// Runs the peer until `count` pictures have come whole; empty when ffmpeg
// could not be started or ended early.
inline std::vector<ReceivedPicture> runFfmpegX11Grab(const std::string& display, std::size_t count,
                                                     const GrabRegion& region = {}) {
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    const auto command = ffmpegX11GrabCommand(display, region);
    std::vector<char*> arguments;
    for (const auto& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    std::vector<ReceivedPicture> pictures;
    if (spawned != 0) {
        close(output[0]);
        return pictures;
    }
    AnnexBAccessUnits units;
    std::vector<std::uint8_t> chunk(256 * 1024);
    // A unit is known to be whole only when the next one begins, maybe a
    // read later: it was received with the read that brought its last byte.
    struct Read {
        std::size_t end;
        MovingX11Window::Clock::time_point at;
        std::chrono::nanoseconds cpu;
    };
    std::vector<Read> reads;
    std::size_t total = 0;
    while (pictures.size() < count) {
        const ssize_t read = ::read(output[0], chunk.data(), chunk.size());
        if (read <= 0) break;
        total += static_cast<std::size_t>(read);
        reads.push_back({total, MovingX11Window::Clock::now(), childCpu(pid)});
        const std::size_t complete = units.append(chunk.data(), static_cast<std::size_t>(read));
        while (pictures.size() < complete) {
            const std::size_t end = units.end(pictures.size());
            const Read& last = *std::find_if(reads.begin(), reads.end(), [end](const Read& r) { return r.end >= end; });
            pictures.push_back({last.at, units.unit(pictures.size()), last.cpu});
        }
    }
    kill(pid, SIGKILL);
    close(output[0]);
    waitpid(pid, nullptr, 0);
    if (pictures.size() < count) pictures.clear();
    return pictures;
}

}  // namespace zentrabo::bench
