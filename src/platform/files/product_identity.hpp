#pragma once
// Who the program is, as far as this layer needs to know: where its files go
// and how it presents itself to the desktop session. The layer names no
// product of its own; the program sets its identity once at start, before
// anything here reads it (tests do the same).
#include <cstdint>
#include <string>

namespace zentrabo::platform {

struct ProductIdentity {
    // The program's folder inside the XDG config and data folders.
    std::string folderName;
    // The executable's name; the autostart entry is <programName>.desktop.
    std::string programName;
    // The autostart entry's Name and Comment.
    std::string displayName;
    std::string description;
    // What the built-in desktop scenario's bundle identifiers begin with.
    std::string demoBundleIdentifierPrefix;
    // The window property another program's clipboard data is delivered
    // into (an X11 atom name).
    std::string selectionPropertyName;
    // The GNOME Shell extension that lists a GNOME Wayland session's windows:
    // its UUID, and the D-Bus interface it exports, also its bus name (its
    // object path is the name with "/" for ".").
    std::string shellExtensionUUID;
    std::string shellExtensionInterface;
};

// Replaces the identity; later reads see the new one.
void setProductIdentity(ProductIdentity identity);

// Counts the identities set so far: a path built from the identity is still
// right while this has not changed.
std::uint64_t productIdentityGeneration();

// The identity last set. Throws std::logic_error when none was set, so that
// nothing is ever written straight into the user's XDG folders.
ProductIdentity productIdentity();

}  // namespace zentrabo::platform
