#pragma once
// Process-wide settings a network server needs before it accepts anything.

namespace zentrabo {

// Raises the soft limit of open files to the hard limit, so that many
// clients at once do not run the process out of descriptors. A refusal is
// logged; the server then runs with the limit it has.
void raiseOpenFileLimit();

// A peer that goes away while a reply is being written must cost only its
// own connection: the write reports an error instead of killing the process.
void ignoreBrokenPipes();

// The diagnostic log's bound in bytes from ZENTRABO_DIAGNOSTIC_LOG_LIMIT
// when it holds a positive decimal (tests lower it to see the log rotate);
// otherwise the default stays.
void applyDiagnosticLogLimitFromEnvironment();

}  // namespace zentrabo
