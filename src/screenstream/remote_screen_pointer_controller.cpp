#include "screenstream/remote_screen_pointer_controller.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "model/diagnostic_log.hpp"

namespace zentrabo {

namespace {

using platform::MouseEventType;
using platform::Point;
using platform::Rect;

Rect clampRectangleOf(const Rect& bounds) {
    if (bounds.width > 2 && bounds.height > 2) {
        return {bounds.x + 1, bounds.y + 1, bounds.width - 2, bounds.height - 2};
    }
    return bounds;
}

// Rounded half away from zero and limited to minimum ... maximum, with the
// sign of value.
std::int32_t wheelUnits(double value, double minimum, double maximum) {
    const double magnitude = std::clamp(std::round(std::fabs(value)), minimum, maximum);
    return static_cast<std::int32_t>(std::copysign(magnitude, value));
}

double normalized(double value) {
    if (std::isnan(value) || value <= 0) return 0;
    return value > 1 ? 1 : value;
}

// The shortest text that reads back as the same double.
std::string shortest(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

RemoteScreenPointerController::RemoteScreenPointerController(platform::Desktop& desktop, const Rect& bounds,
                                                             std::optional<Point> location)
    : desktop_(desktop), bounds_(bounds.standardized()), clamp_(clampRectangleOf(bounds_)) {
    location_ = clampedPoint(location.value_or(Point{bounds_.midX(), bounds_.midY()}));
}

Point RemoteScreenPointerController::location() const {
    std::lock_guard guard(locationLock_);
    return location_;
}

void RemoteScreenPointerController::setLocation(Point point) {
    std::lock_guard guard(locationLock_);
    location_ = point;
}

Point RemoteScreenPointerController::clampedPoint(Point point) const {
    return {std::min(clamp_.maxX(), std::max(clamp_.minX(), point.x)),
            std::min(clamp_.maxY(), std::max(clamp_.minY(), point.y))};
}

Point RemoteScreenPointerController::point(double normalizedX, double normalizedY) const {
    return {clamp_.minX() + normalized(normalizedX) * clamp_.width,
            clamp_.minY() + normalized(normalizedY) * clamp_.height};
}

Point RemoteScreenPointerController::movedBy(double deltaX, double deltaY) const {
    // A NaN would pass the clamp and become a position outside the area.
    const double dx = std::isnan(deltaX) ? 0 : deltaX * movementScale;
    const double dy = std::isnan(deltaY) ? 0 : deltaY * movementScale;
    const Point from = clampedPoint(location_);
    return clampedPoint({from.x + dx, from.y + dy});
}

void RemoteScreenPointerController::handle(const RemoteScreenPointerEvent& event) {
    using Kind = RemoteScreenPointerEventKind;
    std::lock_guard holding(desktop_.inputLock());
    if (event.kind != Kind::pinchStart && event.kind != Kind::pinchChange && event.kind != Kind::pinchEnd) endPinch();
    switch (event.kind) {
    case Kind::move:
        moveWith(MouseEventType::mouseMoved, movedBy(event.deltaX, event.deltaY));
        break;
    case Kind::leftClick:
    case Kind::rightClick: {
        const bool left = event.kind == Kind::leftClick;
        const Point p = clampedPoint(location_);
        postMouse(left ? MouseEventType::leftMouseDown : MouseEventType::rightMouseDown, p);
        postMouse(left ? MouseEventType::leftMouseUp : MouseEventType::rightMouseUp, p);
        setLocation(p);
        break;
    }
    case Kind::scroll:
        scroll(event.deltaX, event.deltaY);
        break;
    case Kind::dragStart:
        startDrag();
        break;
    case Kind::dragMove:
        startDrag();
        moveWith(MouseEventType::leftMouseDragged, movedBy(event.deltaX, event.deltaY));
        break;
    case Kind::dragEnd:
        endDrag();
        break;
    case Kind::leftClickAt:
    case Kind::rightClickAt:
    case Kind::moveTo:
    case Kind::leftDoubleClickAt: {
        const Point p = point(event.deltaX, event.deltaY);
        postMouse(MouseEventType::mouseMoved, p);
        if (event.kind == Kind::rightClickAt) {
            postMouse(MouseEventType::rightMouseDown, p, 1);
            postMouse(MouseEventType::rightMouseUp, p, 1);
        } else if (event.kind != Kind::moveTo) {
            const std::int64_t clicks = event.kind == Kind::leftDoubleClickAt ? 2 : 1;
            for (std::int64_t click = 1; click <= clicks; ++click) {
                postMouse(MouseEventType::leftMouseDown, p, click);
                postMouse(MouseEventType::leftMouseUp, p, click);
            }
        }
        setLocation(p);
        break;
    }
    case Kind::pinchStart:
        startPinch(event.deltaX, event.deltaY);
        break;
    case Kind::pinchChange:
        changePinch(event.deltaX);
        break;
    case Kind::pinchEnd:
        endPinch();
        break;
    }
}

void RemoteScreenPointerController::handleHeadPose(const RemoteScreenHeadPoseEvent& event) {
    std::lock_guard holding(desktop_.inputLock());
    endPinch();
    endDrag();
    const double numbers[] = {event.yawDelta, event.pitchDelta, event.sensitivityX, event.sensitivityY};
    if (!std::all_of(std::begin(numbers), std::end(numbers), [](double n) { return std::isfinite(n); })) return;
    if (!(event.sensitivityX > 0) || !(event.sensitivityY > 0)) return;
    const auto limited = [](double product) {
        if (!std::isfinite(product)) return 0.0;
        return std::clamp(product, -headPoseMaximumPixelsPerFrame, headPoseMaximumPixelsPerFrame);
    };
    const double dx = limited(event.yawDelta * event.sensitivityX);
    const double dy = limited(-(event.pitchDelta * event.sensitivityY));
    if (dx == 0 && dy == 0) return;
    const Point from = clampedPoint(location_);
    moveWith(MouseEventType::mouseMoved, clampedPoint({from.x + dx, from.y + dy}));
}

void RemoteScreenPointerController::release() {
    std::lock_guard holding(desktop_.inputLock());
    endPinch();
    endDrag();
}

std::int32_t RemoteScreenPointerController::scrollPixelUnits(double delta) {
    const double value = delta * scrollPixelScale;
    if (value == 0 || !std::isfinite(value)) return 0;
    return wheelUnits(value, 1, 900);
}

std::int32_t RemoteScreenPointerController::scrollLineUnits(double delta) {
    const double value = delta * scrollLineScale;
    if (!std::isfinite(value) || std::fabs(value) < 1) return 0;
    return wheelUnits(value, 1, 8);
}

void RemoteScreenPointerController::scroll(double deltaX, double deltaY) {
    const std::int32_t wheelY = scrollPixelUnits(deltaY);
    const std::int32_t wheelX = scrollPixelUnits(deltaX);
    const std::int32_t lineY = scrollLineUnits(deltaY);
    const std::int32_t lineX = scrollLineUnits(deltaX);
    if (wheelY == 0 && wheelX == 0 && lineY == 0 && lineX == 0) return;
    const Point position = clamp_.contains(location_) ? location_ : Point{bounds_.midX(), bounds_.midY()};
    constexpr std::int64_t began = 1, changed = 2, ended = 4;
    postScroll(platform::ScrollUnit::pixel, 0, 0, position, true, began);
    postScroll(platform::ScrollUnit::pixel, wheelY, wheelX, position, true, changed);
    postScroll(platform::ScrollUnit::pixel, 0, 0, position, true, ended);
    if (lineY != 0 || lineX != 0) postScroll(platform::ScrollUnit::line, lineY, lineX, position, false, 0);
    logScrollDiagnostic(wheelX, wheelY, deltaX, deltaY, position);
}

void RemoteScreenPointerController::logScrollDiagnostic(std::int32_t wheelX, std::int32_t wheelY, double deltaX,
                                                        double deltaY, Point position) {
    const double now = desktop_.clock().monotonicNow();
    if (lastScrollDiagnosticTime_ && now - *lastScrollDiagnosticTime_ < scrollDiagnosticInterval) return;
    lastScrollDiagnosticTime_ = now;
    ZENTRABO_LOG("Screen stream scroll deltaX=" + shortest(deltaX) + " deltaY=" + shortest(deltaY) +
                 " wheelX=" + std::to_string(wheelX) + " wheelY=" + std::to_string(wheelY) + " location=(" +
                 shortest(position.x) + ", " + shortest(position.y) + ")");
}

void RemoteScreenPointerController::startDrag() {
    if (isDragging_) return;
    isDragging_ = true;
    setLocation(clampedPoint(location_));
    postMouse(MouseEventType::leftMouseDown, location_);
}

void RemoteScreenPointerController::startPinch(double normalizedX, double normalizedY) {
    endDrag();
    endPinch();
    const Point anchor = point(normalizedX, normalizedY);
    pinchAnchor_ = anchor;
    pinchOffset_ = 0;
    setLocation(clampedPoint(anchor));
    isPinching_ = true;
    postOptionKey(true);
    postMouse(MouseEventType::mouseMoved, location_, {}, platform::eventflag::option);
    postMouse(MouseEventType::leftMouseDown, location_, {}, platform::eventflag::option);
}

void RemoteScreenPointerController::changePinch(double scale) {
    if (!isPinching_ || !std::isfinite(scale) || !(scale > 0)) return;
    const double distance = std::log(scale) * simulatorPinchMovementScale;
    if (distance == 0 || std::isinf(distance)) return;
    pinchOffset_ = std::clamp(pinchOffset_ + distance, -simulatorPinchMaximumOffset, simulatorPinchMaximumOffset);
    moveWith(MouseEventType::leftMouseDragged, clampedPoint({pinchAnchor_.x, pinchAnchor_.y - pinchOffset_}),
             platform::eventflag::option);
}

void RemoteScreenPointerController::endPinch() {
    if (!isPinching_) return;
    isPinching_ = false;
    setLocation(clampedPoint(location_));
    postMouse(MouseEventType::leftMouseUp, location_, {}, platform::eventflag::option);
    postOptionKey(false);
    pinchOffset_ = 0;
}

void RemoteScreenPointerController::endDrag() {
    if (!isDragging_) return;
    isDragging_ = false;
    setLocation(clampedPoint(location_));
    postMouse(MouseEventType::leftMouseUp, location_);
}

void RemoteScreenPointerController::postMouse(MouseEventType type, Point at, std::optional<std::int64_t> clickState,
                                              platform::EventFlags flags) {
    platform::MouseEvent event;
    event.type = type;
    event.location = at;
    if (clickState) event.clickState = *clickState;
    event.flags = flags;
    event.source = platform::EventSourceState::hidSystem;
    // An event that cannot be made is skipped; the message goes on.
    desktop_.eventPoster().post(event);
}

void RemoteScreenPointerController::moveWith(MouseEventType type, Point to, platform::EventFlags flags) {
    postMouse(type, to, {}, flags);
    // Also when the event could not be made.
    setLocation(to);
}

void RemoteScreenPointerController::postOptionKey(bool down) {
    desktop_.eventPoster().post(platform::KeyboardEvent{
        optionKeyCode, down, down ? platform::eventflag::option : 0, {}, platform::EventSourceState::hidSystem});
}

void RemoteScreenPointerController::postScroll(platform::ScrollUnit unit, std::int32_t wheelY, std::int32_t wheelX,
                                               Point at, bool isContinuous, std::int64_t phase) {
    desktop_.eventPoster().post(platform::ScrollEvent{.unit = unit,
                                                      .deltaY = wheelY,
                                                      .deltaX = wheelX,
                                                      .location = at,
                                                      .scrollPhase = phase,
                                                      .isContinuous = isContinuous,
                                                      .source = platform::EventSourceState::hidSystem});
}

}  // namespace zentrabo
