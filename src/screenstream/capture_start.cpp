#include "screenstream/capture_start.hpp"

#include <optional>

#include "screenstream/content_selection.hpp"
#include "screenstream/pipeline/stream_stages.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

namespace {

// How long a display is given after a mode switch before the content is
// selected again.
constexpr double clientNativeModeSettleSeconds = 0.35;

}  // namespace

asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session) {
    auto& desktop = session.desktop();
    const RemoteScreenStreamRequest& request = session.request();

    std::optional<FrontmostWindowCandidate> candidate = frontmostApplicationWindowCandidate(desktop);
    const auto shareableContent = [&desktop] {
        // Refused only without the permission.
        auto content = desktop.screenCapture().shareableContent(false, true);
        if (!content) throw RemoteScreenStreamServerError::screenRecordingMissing();
        return *std::move(content);
    };
    const auto content = shareableContent();
    SelectedContent selected = co_await selectContent(request, content, candidate, desktop, session.clock());
    if (session.applyClientNativeDisplayModeIfNeeded(selected)) {
        // The display settles into its new mode before it is chosen from again.
        co_await session.clock().delay(clientNativeModeSettleSeconds);
        const auto settled = shareableContent();
        if (request.mode == RemoteScreenStreamMode::frontmostWindow) {
            candidate = frontmostApplicationWindowCandidate(desktop);
        }
        selected = co_await selectContent(request, settled, candidate, desktop, session.clock());
    }
    session.applySelection(selected);
    // Named: GCC 12 destroys a temporary of a co_await expression twice.
    auto start = session.pipeline().start(selected, desktopStreamStages(desktop.screenCapture()));
    co_await std::move(start);
}

}  // namespace zentrabo
