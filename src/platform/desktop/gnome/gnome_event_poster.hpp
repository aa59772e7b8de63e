#pragma once
// Synthesized input on a GNOME Wayland session through the shared remote
// desktop session. Keys go by their physical place (the evdev code of the
// place's XKB name); Command holds the left Control and Control the right
// one, as on X11. Text goes by its keysyms when the current layout has them
// all, since mutter drops a keysym its keymap lacks; other text is pasted:
// the user's clipboard is saved, the text offered, Control+V pressed, and
// the user's clipboard put back. Media and brightness keys press their evdev
// keys.
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop/event_poster.hpp"
#include "platform/desktop/gnome/gnome_keymap.hpp"
#include "platform/desktop/gnome/gnome_pasteboard.hpp"
#include "platform/desktop/gnome/remote_desktop_link.hpp"
#include "platform/desktop/wheel_clicks.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class GnomeEventPoster final : public EventPoster {
public:
    // How long the application has to read pasted text before the user's
    // clipboard is put back.
    static constexpr double pasteReadSeconds = 0.2;

    GnomeEventPoster(std::shared_ptr<RemoteDesktopLink> link, GnomePasteboard& pasteboard, Clock& clock)
        : link_(std::move(link)), pasteboard_(pasteboard), clock_(clock) {}
    ~GnomeEventPoster() override;

    // False when no session opens, mutter refuses the event, a key code
    // names no key here, or text cannot be typed or pasted.
    bool post(const InputEvent& event) override;

private:
    bool postKeyboard(RemoteDesktopSession& session, const KeyboardEvent& event);
    bool postMouse(RemoteDesktopSession& session, const MouseEvent& event);
    bool postScroll(RemoteDesktopSession& session, const ScrollEvent& event);
    bool typeText(RemoteDesktopSession& session, const std::u16string& text);
    bool pasteText(RemoteDesktopSession& session, const std::string& text);
    // The evdev codes of the modifier keys of the flags whose keys are not
    // held; none when one has no key.
    std::optional<std::vector<std::uint32_t>> unheldModifierKeys(EventFlags flags);
    // Runs the event with the keys held around it.
    template <typename Event>
    bool holding(RemoteDesktopSession& session, const std::vector<std::uint32_t>& keys, Event event);

    std::shared_ptr<RemoteDesktopLink> link_;
    GnomePasteboard& pasteboard_;
    Clock& clock_;
    std::mutex mutex_;
    GnomeKeymap keymap_;
    // The session the modifier keys below are held on.
    std::weak_ptr<RemoteDesktopSession> heldOn_;
    std::set<KeyCode> heldModifierKeys_;
    std::set<KeyCode> textKeysDown_;
    WheelClicks wheelClicks_;
};

}  // namespace zentrabo::platform
