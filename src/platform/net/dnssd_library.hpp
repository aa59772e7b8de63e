#pragma once

namespace zentrabo::platform::detail {

// Silences the DNS-SD compatibility layer's first-use warning on standard
// error. It runs once, during static initialisation (before any thread can
// be reading the environment it writes), and at the latest before the first
// library call; every user of the library calls it first.
void prepareDnsServiceLibrary();

}  // namespace zentrabo::platform::detail
