#pragma once
// The keymap a GNOME session types with: its current input source
// (org.gnome.desktop.input-sources: the most recently used source, else the
// first) compiled through libxkbcommon as mutter compiles it. Mutter types a
// keysym only when this keymap has it, so text is checked against it first.
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {

// An XKB layout with its variant ("de", "" or "us", "intl").
struct XkbLayoutName {
    std::string layout = "us";
    std::string variant;
    bool operator==(const XkbLayoutName&) const = default;
};

// The layout of a source id as GNOME writes it ("us+intl").
XkbLayoutName layoutOfInputSource(const std::string& sourceId);

class GnomeKeymap {
public:
    GnomeKeymap();
    ~GnomeKeymap();
    GnomeKeymap(const GnomeKeymap&) = delete;
    GnomeKeymap& operator=(const GnomeKeymap&) = delete;

    // The configured XKB sources in order and the current one (the most
    // recently used, else the first), read anew; none when the session has
    // no input-source settings.
    struct InputSources {
        std::vector<XkbLayoutName> layouts;
        std::optional<std::size_t> current;
    };
    static std::optional<InputSources> inputSources();
    // The current source's layout, read anew; US when GNOME names none.
    static XkbLayoutName currentLayout();
    // The keymap's name for the layout ("German"); empty when it cannot be
    // compiled or names none.
    std::string layoutName(const XkbLayoutName& layout);
    // Whether a key of the current layout types the keysym (at any level).
    bool types(xkb_keysym_t keysym);
    // The evdev code of the key at an XKB place ("AD06"); none for a place
    // the keyboard lacks.
    std::optional<std::uint32_t> evdevCode(const char* keyName);

private:
    // The current layout's keymap, compiled when the layout changed; null
    // when it cannot be.
    xkb_keymap* currentKeymapLocked();
    // The layout's keymap, made anew; null when it cannot be. The caller
    // unrefs it.
    xkb_keymap* compile(const XkbLayoutName& layout) const;

    std::mutex mutex_;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    XkbLayoutName compiled_;
};

}  // namespace zentrabo::platform
