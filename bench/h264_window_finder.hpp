#pragma once
// Decodes H.264 pictures as a viewer would and finds the moving window of
// moving_x11_window.hpp in each: its left edge, from which the window's log
// tells when that picture's content was drawn.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>

#include "moving_x11_window.hpp"
#include "platform/media/av_handles.hpp"

namespace zentrabo::bench {

// Where the moving window's parent starts in the pictures: the root's corner
// for a grab of the screen, the host's area inside its frame for a window's.
struct PictureOrigin {
    int x = 0, y = 0;
};

class H264WindowFinder {
public:
    explicit H264WindowFinder(PictureOrigin origin = {})
        : origin_(origin), context_(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264))) {
        // One thread and low delay: each access unit gives its picture at once.
        context_->thread_count = 1;
        context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        if (avcodec_open2(context_.get(), context_->codec, nullptr) < 0) std::abort();
    }

    // Decodes one Annex-B access unit (with its parameter sets in front when
    // they changed); the window's left edge in its parent, none when the
    // picture is not decoded or the window not seen.
    std::optional<int> leftEdge(std::span<const std::uint8_t> accessUnit) {
        platform::AvPacketPtr packet(av_packet_alloc());
        // A copy: the decoder reads a little past the end of what it is given.
        if (av_new_packet(packet.get(), static_cast<int>(accessUnit.size())) < 0) return std::nullopt;
        std::memcpy(packet->data, accessUnit.data(), accessUnit.size());
        if (avcodec_send_packet(context_.get(), packet.get()) < 0) return std::nullopt;
        if (avcodec_receive_frame(context_.get(), frame_.get()) < 0) return std::nullopt;
        const AVFrame& picture = *frame_;
        const int row = origin_.y + MovingX11Window::top + MovingX11Window::height / 2;
        if (picture.format != AV_PIX_FMT_YUV420P || row >= picture.height) return std::nullopt;
        const std::uint8_t* luma = picture.data[0] + row * picture.linesize[0];
        const std::uint8_t* blue = picture.data[1] + row / 2 * picture.linesize[1];
        const std::uint8_t* red = picture.data[2] + row / 2 * picture.linesize[2];
        // The window's colour in BT.709 limited range is about Y 157, Cb 65,
        // Cr 161; a run this long of it is the window, not noise at an edge.
        constexpr int run = 16;
        int length = 0;
        for (int x = origin_.x; x < picture.width; ++x) {
            const bool window = luma[x] > 130 && luma[x] < 185 && blue[x / 2] < 100 && red[x / 2] > 140;
            length = window ? length + 1 : 0;
            if (length == run) return x - run + 1 - origin_.x;
        }
        return std::nullopt;
    }

private:
    PictureOrigin origin_;
    platform::AvCodecContextPtr context_;
    platform::AvFramePtr frame_{av_frame_alloc()};
};

}  // namespace zentrabo::bench
