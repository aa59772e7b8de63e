#pragma once
// Points, sizes and rectangles in global display points: the origin is the
// top-left corner of the main display and y grows downwards.
#include <algorithm>
#include <tuple>

#include "platform/json/field_table.hpp"

namespace zentrabo::platform {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;

    // {"width", "height"}, each 0 when left out.
    static constexpr auto jsonFields() {
        return std::tuple{field("width", &Size::width, recordDefault), field("height", &Size::height, recordDefault)};
    }
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return std::min(x, x + width); }
    double minY() const { return std::min(y, y + height); }
    double maxX() const { return std::max(x, x + width); }
    double maxY() const { return std::max(y, y + height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }

    // The same rectangle with a non-negative width and height.
    Rect standardized() const { return {minX(), minY(), maxX() - minX(), maxY() - minY()}; }
    // The smallest rectangle that holds both.
    Rect united(const Rect& other) const {
        const double left = std::min(minX(), other.minX());
        const double top = std::min(minY(), other.minY());
        return {left, top, std::max(maxX(), other.maxX()) - left, std::max(maxY(), other.maxY()) - top};
    }
    // The area both cover; 0 when they do not overlap.
    double overlapArea(const Rect& other) const {
        const double overlapWidth = std::min(maxX(), other.maxX()) - std::max(minX(), other.minX());
        const double overlapHeight = std::min(maxY(), other.maxY()) - std::max(minY(), other.minY());
        return overlapWidth > 0 && overlapHeight > 0 ? overlapWidth * overlapHeight : 0;
    }
    // Half-open on the far edges, as the platform's rectangle test is.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }

    bool operator==(const Rect&) const = default;

    // {"x", "y", "width", "height"}, each 0 when left out.
    static constexpr auto jsonFields() {
        return std::tuple{field("x", &Rect::x, recordDefault), field("y", &Rect::y, recordDefault),
                          field("width", &Rect::width, recordDefault), field("height", &Rect::height, recordDefault)};
    }
};

}  // namespace zentrabo::platform
