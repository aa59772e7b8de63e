#pragma once
// What callers did to a virtual desktop and what it did in turn, in order, so
// tests can check it.
#include <string>

namespace zentrabo::platform {

struct JournalEntry {
    double time = 0;  // the clock's monotonic seconds
    // "activate", "unhide", "terminate", "forceTerminate", "launch", "reopen",
    // "appear", "exit", "openURL", "openFile", "press", "raise", "setAttribute",
    // "sheetOpened", "sheetDismissed", "windowOpened", "windowClosed",
    // "pasteboard", "post", "displayMode", "requestAccessibility",
    // "requestScreenRecording".
    std::string action;
    // The application's bundle identifier (its name when it has none), or the
    // display, URL or path acted on.
    std::string subject;
    // The element (its path of titles joined with " > "), the attribute and
    // value, or the event, as text.
    std::string detail;

    // "action subject: detail" (": detail" left out when empty), for tests.
    std::string text() const { return action + " " + subject + (detail.empty() ? "" : ": " + detail); }
};

}  // namespace zentrabo::platform
