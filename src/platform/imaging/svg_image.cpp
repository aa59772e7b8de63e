#include "platform/imaging/svg_image.hpp"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace zentrabo::platform {

namespace {

// Larger sides are refused rather than allocated.
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

using Handle = std::unique_ptr<RsvgHandle, ObjectRelease>;

Handle parsedDocument(std::span<const std::uint8_t> data) {
    GError* error = nullptr;
    Handle handle(rsvg_handle_new_from_data(data.data(), data.size(), &error));
    g_clear_error(&error);
    return handle;
}

// The document drawn into width x height, its aspect kept and centred.
std::optional<RgbaImage> drawn(RsvgHandle* handle, std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0 || width > maximumSize || height > maximumSize) return std::nullopt;
    std::unique_ptr<cairo_surface_t, SurfaceRelease> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    std::unique_ptr<cairo_t, ContextRelease> context(cairo_create(surface.get()));
    const RsvgRectangle viewport{0, 0, static_cast<double>(width), static_cast<double>(height)};
    GError* error = nullptr;
    if (!rsvg_handle_render_document(handle, context.get(), &viewport, &error)) {
        g_clear_error(&error);
        return std::nullopt;
    }
    cairo_surface_flush(surface.get());

    // Cairo's ARGB32 is premultiplied, one native-endian word a pixel.
    RgbaImage image(width, height);
    const unsigned char* rows = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(rows + static_cast<std::ptrdiff_t>(y) * stride);
        for (std::uint32_t x = 0; x < width; ++x) {
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

}  // namespace

std::optional<RgbaImage> renderSvg(std::span<const std::uint8_t> data, std::uint32_t size) {
    if (size == 0 || size > maximumSize) return std::nullopt;
    const Handle handle = parsedDocument(data);
    if (!handle) return std::nullopt;
    return drawn(handle.get(), size, size);
}

std::optional<RgbaImage> renderSvgWithin(std::span<const std::uint8_t> data, std::uint32_t maximumPixelSize) {
    if (maximumPixelSize == 0 || maximumPixelSize > maximumSize) return std::nullopt;
    const Handle handle = parsedDocument(data);
    if (!handle) return std::nullopt;
    double width = 0;
    double height = 0;
    // A document sized only in relative units (or not at all) has no size
    // of its own: its view box gives the shape.
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width, &height) || !(width > 0) || !(height > 0)) {
        gboolean hasViewBox = FALSE;
        RsvgRectangle viewBox{};
        rsvg_handle_get_intrinsic_dimensions(handle.get(), nullptr, nullptr, nullptr, nullptr, &hasViewBox, &viewBox);
        if (!hasViewBox || !(viewBox.width > 0) || !(viewBox.height > 0)) return std::nullopt;
        const double scale = maximumPixelSize / std::max(viewBox.width, viewBox.height);
        width = viewBox.width * scale;
        height = viewBox.height * scale;
    }
    const double longSide = std::max(width, height);
    const double scale = longSide > maximumPixelSize ? maximumPixelSize / longSide : 1.0;
    const auto side = [scale](double length) {
        return static_cast<std::uint32_t>(std::clamp(std::round(length * scale), 1.0, double(maximumSize)));
    };
    return drawn(handle.get(), side(width), side(height));
}

}  // namespace zentrabo::platform
