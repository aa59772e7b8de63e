#include "platform/media/yuv420_picture_pool.hpp"

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/media/av_handles.hpp"
#include "platform/media/bt709_tags.hpp"
#include "platform/media/media_error.hpp"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace zentrabo::platform {

struct Yuv420PicturePool::Shelf {
    const int width;
    const int height;
    const std::size_t capacity;
    std::mutex mutex;
    std::vector<AvFramePtr> idle;
    std::size_t made = 0;

    void giveBack(AVFrame* picture) {
        AvFramePtr owned(picture);
        std::lock_guard lock(mutex);
        idle.push_back(std::move(owned));
    }
};

namespace {

AvFramePtr makePicture(int width, int height) {
    AvFramePtr picture(av_frame_alloc());
    if (!picture) throw MediaError(AVERROR(ENOMEM));
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width;
    picture->height = height;
    tagBt709LimitedRange(*picture);
    throwIfMediaError(av_frame_get_buffer(picture.get(), 0));
    return picture;
}

}  // namespace

Yuv420PicturePool::Yuv420PicturePool(int width, int height, std::size_t capacity)
    : shelf_(std::make_shared<Shelf>(width, height, capacity)) {}

int Yuv420PicturePool::width() const { return shelf_->width; }

int Yuv420PicturePool::height() const { return shelf_->height; }

std::shared_ptr<AVFrame> Yuv420PicturePool::take() {
    AvFramePtr picture;
    {
        std::lock_guard lock(shelf_->mutex);
        if (!shelf_->idle.empty()) {
            picture = std::move(shelf_->idle.back());
            shelf_->idle.pop_back();
        } else if (shelf_->made < shelf_->capacity) {
            ++shelf_->made;
        } else {
            return nullptr;
        }
    }
    try {
        if (!picture) {
            picture = makePicture(shelf_->width, shelf_->height);
        } else {
            // An encoder that still references the planes gets to keep them.
            throwIfMediaError(av_frame_make_writable(picture.get()));
        }
    } catch (const MediaError&) {
        std::lock_guard lock(shelf_->mutex);
        if (picture) {
            shelf_->idle.push_back(std::move(picture));
        } else {
            --shelf_->made;
        }
        throw;
    }
    return std::shared_ptr<AVFrame>(picture.release(), [shelf = shelf_](AVFrame* lent) { shelf->giveBack(lent); });
}

}  // namespace zentrabo::platform
