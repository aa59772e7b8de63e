#pragma once
// Hands the platform layer the identity that main hands it, for tests that
// use the program's folders, its autostart entry or its built-in desktop.
#include "app/server_identity.hpp"

namespace zentrabo::testing {

inline void useServerIdentity() { platform::setProductIdentity(serverIdentity()); }

}  // namespace zentrabo::testing
