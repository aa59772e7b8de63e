#pragma once
// "zentrabo-server console": attaches this terminal to the running instance.
// What is typed goes to a terminal front of the console's own on the server,
// and what that front prints comes back. A console that the server refuses
// (another user's, or one too many) prints the server's reason on standard
// error.
namespace zentrabo {

// Relays until the console ends: 0 once it was attached, 1 when it could
// not attach.
int runConsoleClient();

}  // namespace zentrabo
