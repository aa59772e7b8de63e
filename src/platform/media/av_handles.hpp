#pragma once
// Owning handles for the FFmpeg objects the media layer keeps, each freed with
// the library's own function. The headers stay free of FFmpeg's.
#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;

namespace zentrabo::platform {

struct AvCodecContextFree {
    void operator()(AVCodecContext* context) const noexcept;
};
struct AvFrameFree {
    void operator()(AVFrame* frame) const noexcept;
};
struct AvPacketFree {
    void operator()(AVPacket* packet) const noexcept;
};
struct SwsContextFree {
    void operator()(SwsContext* context) const noexcept;
};
struct SwrContextFree {
    void operator()(SwrContext* context) const noexcept;
};

using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextFree>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFree>;

}  // namespace zentrabo::platform
