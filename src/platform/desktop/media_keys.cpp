#include "platform/desktop/media_keys.hpp"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <iterator>

namespace zentrabo::platform {

namespace {

constexpr std::int64_t auxiliaryControlButtons = 8;
constexpr std::int64_t mediaKeyDown = 0x0A, mediaKeyUp = 0x0B;

struct MediaKey {
    std::int64_t type;
    xkb_keysym_t keysym;
    std::uint32_t evdevCode;
};

constexpr MediaKey mediaKeys[] = {
    {0, XKB_KEY_XF86AudioRaiseVolume, KEY_VOLUMEUP},
    {1, XKB_KEY_XF86AudioLowerVolume, KEY_VOLUMEDOWN},
    {2, XKB_KEY_XF86MonBrightnessUp, KEY_BRIGHTNESSUP},
    {3, XKB_KEY_XF86MonBrightnessDown, KEY_BRIGHTNESSDOWN},
    {7, XKB_KEY_XF86AudioMute, KEY_MUTE},
    {16, XKB_KEY_XF86AudioPlay, KEY_PLAYPAUSE},
    {17, XKB_KEY_XF86AudioNext, KEY_NEXTSONG},
    {18, XKB_KEY_XF86AudioPrev, KEY_PREVIOUSSONG},
    {21, XKB_KEY_XF86KbdBrightnessUp, KEY_KBDILLUMUP},
    {22, XKB_KEY_XF86KbdBrightnessDown, KEY_KBDILLUMDOWN},
};

}  // namespace

std::optional<MediaKeyStroke> mediaKeyStroke(const SystemDefinedEvent& event) {
    if (event.subtype != auxiliaryControlButtons) return std::nullopt;
    const std::int64_t type = (event.data1 >> 16) & 0xFFFF, phase = (event.data1 >> 8) & 0xFF;
    if (phase != mediaKeyDown && phase != mediaKeyUp) return std::nullopt;
    const auto key = std::find_if(std::begin(mediaKeys), std::end(mediaKeys),
                                  [&](const MediaKey& entry) { return entry.type == type; });
    if (key == std::end(mediaKeys)) return std::nullopt;
    return MediaKeyStroke{key->keysym, key->evdevCode, phase == mediaKeyDown};
}

}  // namespace zentrabo::platform
