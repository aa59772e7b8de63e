#pragma once
// A few yuv420p pictures of one size, tagged BT.709 limited range, lent out
// and taken back when their last holder lets go, so a stream draws every
// frame into memory it already has instead of allocating (and the allocator
// keeping) a picture a frame. Pictures still lent out when the pool goes are
// freed by their last holder.
#include <cstddef>
#include <memory>
#include <optional>

struct AVFrame;

namespace zentrabo::platform {

class Yuv420PicturePool {
public:
    // At most capacity pictures of width x height exist at once.
    Yuv420PicturePool(int width, int height, std::size_t capacity);

    int width() const;
    int height() const;
    // A picture no one holds, made when fewer than capacity exist; none
    // while all of them are held. Its contents are the last frame drawn
    // into it. Throws MediaError when memory cannot be had.
    std::shared_ptr<AVFrame> take();

private:
    struct Shelf;
    std::shared_ptr<Shelf> shelf_;
};

// A capture stream's pictures for its encoder: an encoder copies a picture
// into frames of its own as it takes it, so two keep it busy, one it
// encodes and the next, drawn meanwhile and waiting for it. More would only
// wait, each a frame older, when the encoder is behind (a busy machine
// running several streams), and every one is megabytes.
inline constexpr std::size_t encoderPicturesInUse = 2;

// The stream's pool, made anew when the frame size changed.
inline Yuv420PicturePool& encoderPicturePool(std::optional<Yuv420PicturePool>& pool, int width, int height) {
    if (!pool || pool->width() != width || pool->height() != height) pool.emplace(width, height, encoderPicturesInUse);
    return *pool;
}

}  // namespace zentrabo::platform
