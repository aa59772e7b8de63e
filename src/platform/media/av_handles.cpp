#include "platform/media/av_handles.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zentrabo::platform {

void AvCodecContextFree::operator()(AVCodecContext* context) const noexcept { avcodec_free_context(&context); }

void AvFrameFree::operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }

void AvPacketFree::operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }

void SwsContextFree::operator()(SwsContext* context) const noexcept { sws_freeContext(context); }

void SwrContextFree::operator()(SwrContext* context) const noexcept { swr_free(&context); }

}  // namespace zentrabo::platform
