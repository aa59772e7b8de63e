#pragma once
// The content of an "applicationWindow" stream: the named application is
// found or launched, brought forward with its windows restored, asked to
// reopen a window when it shows none, and its window is looked for again
// while its windows appear. Every wait is a timer of the given clock awaited
// by the calling coroutine, so cancelling the coroutine (a stream's stop)
// ends it at once.
#include <memory>
#include <string>

#include <asio/awaitable.hpp>

#include "model/records/stream_records.hpp"
#include "platform/desktop/desktop.hpp"
#include "platform/dispatch/clock.hpp"
#include "screenstream/content_selection.hpp"

namespace zentrabo {

struct ApplicationWindowTiming {
    // How long an application may take to appear after its launch, and how
    // often the wait looks.
    static constexpr double launchTimeout = 5;
    static constexpr double launchPollInterval = 0.08;
    // How many times the windows are looked at, and the wait between looks.
    static constexpr int windowLookCount = 9;
    static constexpr double windowLookInterval = 0.18;
};

// The chosen window of the request's application with the application's
// own sound as its audio filter. Throws
// RemoteScreenStreamServerError::applicationWindowUnavailable (the trimmed
// application name, else the application's own name, else the bundle
// identifier; "The selected app" without any of them), screenRecordingMissing
// when the windows cannot be listed, and the cancellation of a wait.
asio::awaitable<SelectedContent> applicationWindowSelection(const RemoteScreenStreamRequest& request,
                                                            platform::Desktop& desktop, platform::Clock& clock);

// The first running application with the bundle identifier; otherwise the
// installed one is launched and awaited for up to 5 s. Throws
// applicationWindowUnavailable(lookupName) when it is not installed or does
// not run in time.
asio::awaitable<std::shared_ptr<platform::RunningApplication>> requestedRunningApplication(
    const std::string& bundleIdentifier, const std::string& lookupName, platform::Desktop& desktop,
    platform::Clock& clock);

// Asks a running application to come forward and show a window, by opening
// its bundle again; a failure is logged and otherwise ignored.
void requestApplicationReopen(const platform::RunningApplication& application, platform::Workspace& workspace);

}  // namespace zentrabo
