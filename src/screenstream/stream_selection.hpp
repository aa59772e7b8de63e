#pragma once
// What a stream shows, as the control plane sees it: its window, where
// pointer input lands and the window's scale, and the pointer controller for
// those bounds. Thread-safe. The controllers are used on the control strand
// only; one that is replaced, or cleared by the stop, lets go of what it
// holds pressed there, behind any input job still using it.
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/desktop/desktop.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/dispatch/strand_queue.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/remote_screen_pointer_controller.hpp"

namespace zentrabo {

class StreamSelection : public std::enable_shared_from_this<StreamSelection> {
public:
    // The control queue must outlive every job it runs (it keeps its pool's
    // context); the desktop outlives the selection.
    StreamSelection(platform::Desktop& desktop, platform::StrandQueue& controlQueue);
    // Lets go of whatever a controller still holds pressed: no control job
    // runs any more once the selection is gone.
    ~StreamSelection();
    StreamSelection(const StreamSelection&) = delete;
    StreamSelection& operator=(const StreamSelection&) = delete;

    // A new content with a new pointer controller; the pointer keeps its
    // place while the same window (or display) is shown. Nothing after clear().
    void apply(const SelectedContent& selected);
    // The streamed window moved or changed size: pointer input follows it,
    // the pointer kept in place, clamped. Nothing for another window.
    void moveBounds(platform::WindowID windowID, const platform::Rect& bounds);
    std::optional<platform::WindowID> windowID();
    std::optional<platform::Rect> pointerBounds();
    std::optional<double> pointPixelScale();
    std::shared_ptr<RemoteScreenPointerController> pointerController();

    // The stop: nothing is selected from now on.
    void clear();
    // After clear(): returns once the controllers let go have released what
    // they held, on the control queue behind any input job still running
    // there. Waits only as long as that job takes.
    void awaitPointerRelease();

private:
    void replaceController(std::shared_ptr<RemoteScreenPointerController> controller);
    void releasePending();

    platform::Desktop& desktop_;
    platform::StrandQueue& controlQueue_;
    std::mutex lock_;
    // Guarded by lock_.
    std::optional<platform::WindowID> windowID_;
    std::optional<platform::Rect> pointerBounds_;
    std::optional<double> pointPixelScale_;
    std::shared_ptr<RemoteScreenPointerController> pointerController_;
    // Replaced controllers whose release job has not run yet.
    std::vector<std::shared_ptr<RemoteScreenPointerController>> pendingReleases_;
    bool isCleared_ = false;
};

}  // namespace zentrabo
