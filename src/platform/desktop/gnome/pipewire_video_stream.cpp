#include "platform/desktop/gnome/pipewire_video_stream.hpp"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/desktop/capture_stream.hpp"

namespace zentrabo::platform {

namespace {

void initialisePipewire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

std::optional<PackedPixelOrder> orderOf(std::uint32_t format) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        return PackedPixelOrder::bgrx;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        return PackedPixelOrder::rgbx;
    case SPA_VIDEO_FORMAT_xRGB:
    case SPA_VIDEO_FORMAT_ARGB:
        return PackedPixelOrder::xrgb;
    case SPA_VIDEO_FORMAT_xBGR:
    case SPA_VIDEO_FORMAT_ABGR:
        return PackedPixelOrder::xbgr;
    default:
        return std::nullopt;
    }
}

// The raw formats taken, the first preferred; the size preferred is what
// the node shows.
const spa_pod* formatChoices(spa_pod_builder& builder, std::uint32_t width, std::uint32_t height) {
    spa_pod_frame object{};
    spa_pod_frame choice{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_prop(&builder, SPA_FORMAT_mediaType, 0);
    spa_pod_builder_id(&builder, SPA_MEDIA_TYPE_video);
    spa_pod_builder_prop(&builder, SPA_FORMAT_mediaSubtype, 0);
    spa_pod_builder_id(&builder, SPA_MEDIA_SUBTYPE_raw);
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(&builder, SPA_VIDEO_FORMAT_BGRx);
    for (const std::uint32_t format :
         {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA,
          SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_xBGR, SPA_VIDEO_FORMAT_ABGR}) {
        spa_pod_builder_id(&builder, format);
    }
    spa_pod_builder_pop(&builder, &choice);
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_size, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_rectangle(&builder, width, height);
    spa_pod_builder_rectangle(&builder, 1, 1);
    spa_pod_builder_rectangle(&builder, PipewireVideoStream::maximumSide, PipewireVideoStream::maximumSide);
    spa_pod_builder_pop(&builder, &choice);
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_framerate, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(&builder, 0, 1);
    spa_pod_builder_fraction(&builder, 0, 1);
    spa_pod_builder_fraction(&builder, 1000, 1);
    spa_pod_builder_pop(&builder, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

// Shared memory only: the buffers are mapped and read by the processor.
const spa_pod* bufferChoices(spa_pod_builder& builder) {
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_builder_prop(&builder, SPA_PARAM_BUFFERS_dataType, 0);
    spa_pod_builder_int(&builder, (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr));
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

// The crop region of each buffer: a window's stream is as large as its
// monitor, with the window in the region the buffer names.
const spa_pod* cropMeta(spa_pod_builder& builder) {
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_type, 0);
    spa_pod_builder_id(&builder, SPA_META_VideoCrop);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_size, 0);
    spa_pod_builder_int(&builder, sizeof(spa_meta_region));
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

}  // namespace

RgbaImage VideoFrame::rgba() const {
    RgbaImage image(width, height);
    std::size_t red = 0, green = 1, blue = 2;
    if (order == PackedPixelOrder::bgrx) red = 2, blue = 0;
    if (order == PackedPixelOrder::xrgb) red = 1, green = 2, blue = 3;
    if (order == PackedPixelOrder::xbgr) red = 3, green = 2, blue = 1;
    std::uint8_t* out = image.pixels.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = bytes.data() + y * stride;
        for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
            out[0] = in[red];
            out[1] = in[green];
            out[2] = in[blue];
            out[3] = 0xFF;
        }
    }
    return image;
}

struct PipewireVideoStream::Listener {
    spa_hook hook{};
    pw_stream_events events{};
};

PipewireVideoStream::PipewireVideoStream(std::uint32_t node, std::uint32_t width, std::uint32_t height,
                                         FrameInsets insets)
    : listener_(std::make_unique<Listener>()), insets_(insets) {
    initialisePipewire();
    loop_ = pw_thread_loop_new("zb-pipewire", nullptr);
    if (!loop_) throw ScreenCaptureError("PipeWire's loop could not be made.");
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0) {
        if (context_) pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
        throw ScreenCaptureError("PipeWire's loop could not be started.");
    }
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_) {
        stream_ = pw_stream_new(core_, "screen capture",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                  PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    }
    if (stream_) {
        listener_->events.version = PW_VERSION_STREAM_EVENTS;
        listener_->events.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
            if (id == SPA_PARAM_Format && param) static_cast<PipewireVideoStream*>(data)->negotiated(param);
        };
        listener_->events.process = [](void* data) { static_cast<PipewireVideoStream*>(data)->frameArrived(); };
        listener_->events.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
            if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
                static_cast<PipewireVideoStream*>(data)->fail();
            }
        };
        pw_stream_add_listener(stream_, &listener_->hook, &listener_->events, this);
        std::uint8_t buffer[1024];
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, buffer, sizeof(buffer));
        const spa_pod* params[] = {formatChoices(builder, std::clamp<std::uint32_t>(width, 1, maximumSide),
                                                 std::clamp<std::uint32_t>(height, 1, maximumSide))};
        if (pw_stream_connect(stream_, PW_DIRECTION_INPUT, node,
                              static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                              params, 1) < 0) {
            failed_ = true;
        }
    }
    const bool usable = stream_ && !failed_;
    pw_thread_loop_unlock(loop_);
    if (!usable) {
        release();
        throw ScreenCaptureError("PipeWire does not answer.");
    }
}

PipewireVideoStream::~PipewireVideoStream() { release(); }

void PipewireVideoStream::release() {
    if (!loop_) return;
    pw_thread_loop_lock(loop_);
    if (stream_) {
        pw_stream_disconnect(stream_);
        pw_stream_destroy(stream_);
        stream_ = nullptr;
    }
    pw_thread_loop_unlock(loop_);
    // Joins the loop's thread.
    pw_thread_loop_stop(loop_);
    if (core_) pw_core_disconnect(core_);
    pw_context_destroy(context_);
    pw_thread_loop_destroy(loop_);
    loop_ = nullptr;
}

void PipewireVideoStream::negotiated(const spa_pod* format) {
    spa_video_info_raw info{};
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    if (spa_format_parse(format, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(format, &info) < 0) {
        return fail();
    }
    const auto order = orderOf(info.format);
    if (!order || info.size.width == 0 || info.size.height == 0 || info.size.width > maximumSide ||
        info.size.height > maximumSide) {
        return fail();
    }
    width_ = info.size.width;
    height_ = info.size.height;
    order_ = *order;
    formatKnown_ = true;
    std::uint8_t buffer[256];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer, sizeof(buffer));
    const spa_pod* params[] = {bufferChoices(builder), cropMeta(builder)};
    pw_stream_update_params(stream_, params, 2);
}

void PipewireVideoStream::frameArrived() {
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream_);
    if (!buffer) return;
    const spa_buffer* held = buffer->buffer;
    const spa_data* data = held->n_datas > 0 ? &held->datas[0] : nullptr;
    std::optional<PictureRegion> crop;
    if (const auto* meta = static_cast<const spa_meta_region*>(
            spa_buffer_find_meta_data(held, SPA_META_VideoCrop, sizeof(spa_meta_region)))) {
        const auto& region = meta->region;
        if (region.position.x >= 0 && region.position.y >= 0) {
            crop = PictureRegion{static_cast<std::uint32_t>(region.position.x),
                                 static_cast<std::uint32_t>(region.position.y), region.size.width, region.size.height};
        }
    }
    const auto [left, top, width, height] = contentRegion(width_, height_, crop, insets_);
    if (formatKnown_ && data && data->data && data->chunk && data->chunk->size > 0) {
        const std::size_t fullRow = std::size_t{width_} * 4;
        const std::size_t rowBytes = std::size_t{width} * 4;
        const std::size_t stride = data->chunk->stride > 0 ? static_cast<std::size_t>(data->chunk->stride) : fullRow;
        const std::size_t offset = data->chunk->offset % (data->maxsize ? data->maxsize : 1);
        // A chunk that does not hold the whole picture is no frame.
        if (stride >= fullRow && offset + stride * (height_ - 1) + fullRow <= data->maxsize) {
            auto frame = std::make_shared<VideoFrame>();
            frame->width = width;
            frame->height = height;
            frame->stride = rowBytes;
            frame->order = order_;
            frame->bytes.resize(rowBytes * height);
            const auto* source = static_cast<const std::uint8_t*>(data->data) + offset + top * stride + left * 4;
            for (std::uint32_t y = 0; y < height; ++y) {
                std::memcpy(frame->bytes.data() + y * rowBytes, source + y * stride, rowBytes);
            }
            std::lock_guard lock(mutex_);
            frame->sequence = ++sequence_;
            newest_ = std::move(frame);
            arrived_.notify_all();
        }
    }
    pw_stream_queue_buffer(stream_, buffer);
}

void PipewireVideoStream::fail() {
    std::lock_guard lock(mutex_);
    failed_ = true;
    arrived_.notify_all();
}

std::shared_ptr<const VideoFrame> PipewireVideoStream::newest() {
    std::lock_guard lock(mutex_);
    return newest_;
}

std::shared_ptr<const VideoFrame> PipewireVideoStream::waitForFrame(std::uint64_t after,
                                                                    std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return failed_ || (newest_ && newest_->sequence > after); });
    if (newest_ && newest_->sequence > after) return newest_;
    return nullptr;
}

bool PipewireVideoStream::failed() {
    std::lock_guard lock(mutex_);
    return failed_;
}

}  // namespace zentrabo::platform
