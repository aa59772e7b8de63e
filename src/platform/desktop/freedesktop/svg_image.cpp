#include "platform/desktop/freedesktop/svg_image.hpp"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <memory>

namespace zentrabo::platform {

namespace {

// Larger squares are refused rather than allocated.
constexpr std::uint32_t maximumSize = 4096;

struct ObjectRelease {
    void operator()(void* object) const { g_object_unref(object); }
};
struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextRelease {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

}  // namespace

std::optional<RgbaImage> renderSvg(std::span<const std::uint8_t> data, std::uint32_t size) {
    if (size == 0 || size > maximumSize) return std::nullopt;
    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, ObjectRelease> handle(rsvg_handle_new_from_data(data.data(), data.size(), &error));
    if (!handle) {
        g_clear_error(&error);
        return std::nullopt;
    }
    const int side = static_cast<int>(size);
    std::unique_ptr<cairo_surface_t, SurfaceRelease> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    std::unique_ptr<cairo_t, ContextRelease> context(cairo_create(surface.get()));
    const RsvgRectangle viewport{0, 0, static_cast<double>(size), static_cast<double>(size)};
    if (!rsvg_handle_render_document(handle.get(), context.get(), &viewport, &error)) {
        g_clear_error(&error);
        return std::nullopt;
    }
    cairo_surface_flush(surface.get());

    // Cairo's ARGB32 is premultiplied, one native-endian word a pixel.
    RgbaImage image(size, size);
    const unsigned char* rows = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (std::uint32_t y = 0; y < size; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(rows + static_cast<std::ptrdiff_t>(y) * stride);
        for (std::uint32_t x = 0; x < size; ++x) {
            const std::uint32_t argb = row[x];
            const std::uint32_t alpha = argb >> 24;
            std::uint8_t* pixel = image.pixel(x, y);
            for (int channel = 0; channel < 3; ++channel) {
                const std::uint32_t premultiplied = (argb >> (16 - 8 * channel)) & 0xFF;
                pixel[channel] = alpha == 0 ? 0
                                            : static_cast<std::uint8_t>(std::min<std::uint32_t>(
                                                  255, (premultiplied * 255 + alpha / 2) / alpha));
            }
            pixel[3] = static_cast<std::uint8_t>(alpha);
        }
    }
    return image;
}

}  // namespace zentrabo::platform
