#pragma once
// The synthetic pointer of one stream session: it turns the device's
// pointer and head-pose messages into mouse, scroll-wheel and Option-key
// events inside the streamed area. Used only from the session's control
// queue; location() alone may be read from any thread.
#include <cstdint>
#include <mutex>
#include <optional>

#include "model/records/stream_input_records.hpp"
#include "platform/desktop/desktop.hpp"

namespace zentrabo {

class RemoteScreenPointerController {
public:
    static constexpr double movementScale = 1.5;
    static constexpr double scrollPixelScale = 1.8;
    static constexpr double scrollLineScale = 0.08;
    static constexpr double headPoseMaximumPixelsPerFrame = 80;
    static constexpr double simulatorPinchMovementScale = 180;
    static constexpr double simulatorPinchMaximumOffset = 260;
    static constexpr platform::KeyCode optionKeyCode = 58;
    // At most one scroll diagnostic line in this many seconds.
    static constexpr double scrollDiagnosticInterval = 0.5;

    // The pointer starts at the location, else at the centre of the bounds,
    // clamped into the clamp rectangle. The desktop must outlive the
    // controller.
    RemoteScreenPointerController(platform::Desktop& desktop, const platform::Rect& bounds,
                                  std::optional<platform::Point> location);
    RemoteScreenPointerController(const RemoteScreenPointerController&) = delete;
    RemoteScreenPointerController& operator=(const RemoteScreenPointerController&) = delete;

    // Each message's events are posted under the desktop's input lock, so
    // they never land inside another caller's key sequence.
    void handle(const RemoteScreenPointerEvent& event);
    void handleHeadPose(const RemoteScreenHeadPoseEvent& event);
    // Ends a pinch and a drag in progress (left button up, Option key up),
    // so nothing stays pressed when the controller goes.
    void release();

    // Where the controller believes the pointer is; from any thread.
    platform::Point location() const;

private:
    // The pixel and line wheel units of a scroll delta: at least 1 pixel for
    // any non-zero finite delta and at most 900; lines from a delta of 12.5
    // on, at most 8.
    static std::int32_t scrollPixelUnits(double delta);
    static std::int32_t scrollLineUnits(double delta);
    platform::Point clampedPoint(platform::Point point) const;
    // A normalized point of the clamp rectangle; each coordinate limited to
    // 0 ... 1, a NaN taken as 0.
    platform::Point point(double normalizedX, double normalizedY) const;
    // The location moved by a relative delta (a NaN moves nothing), clamped.
    platform::Point movedBy(double deltaX, double deltaY) const;
    void scroll(double deltaX, double deltaY);
    void startDrag();
    void startPinch(double normalizedX, double normalizedY);
    void changePinch(double scale);
    void endPinch();
    void endDrag();
    void logScrollDiagnostic(std::int32_t wheelX, std::int32_t wheelY, double deltaX, double deltaY,
                             platform::Point position);

    void postMouse(platform::MouseEventType type, platform::Point at, std::optional<std::int64_t> clickState = {},
                   platform::EventFlags flags = 0);
    // Posts the event at the point and moves the location there.
    void moveWith(platform::MouseEventType type, platform::Point to, platform::EventFlags flags = 0);
    void postOptionKey(bool down);
    void postScroll(platform::ScrollUnit unit, std::int32_t wheelY, std::int32_t wheelX, platform::Point at,
                    bool isContinuous, std::int64_t phase);
    void setLocation(platform::Point point);

    platform::Desktop& desktop_;
    const platform::Rect bounds_;
    // The bounds inset by 1 point on every side, unless they are 2 points
    // wide or high or less. Every position posted lies in it.
    const platform::Rect clamp_;
    bool isDragging_ = false;
    bool isPinching_ = false;
    platform::Point pinchAnchor_;
    double pinchOffset_ = 0;
    // On the clock's monotonic scale; none until the first diagnostic.
    std::optional<double> lastScrollDiagnosticTime_;

    mutable std::mutex locationLock_;
    // Written on the control queue only, under locationLock_.
    platform::Point location_;
};

}  // namespace zentrabo
