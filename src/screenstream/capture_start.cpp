#include "screenstream/capture_start.hpp"

#include <optional>

#include "screenstream/client_native_target_size.hpp"

#include "screenstream/content_selection.hpp"
#include "screenstream/pipeline/stream_stages.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "screenstream/shareable_content.hpp"

namespace zentrabo {

namespace {

// How long a display is given after a mode switch before the content is
// selected again.
constexpr double clientNativeModeSettleSeconds = 0.35;

}  // namespace

bool applyClientNativeDisplayModeIfNeeded(RemoteScreenStreamSession& session, const SelectedContent& selected) {
    const auto& stream = session.request();
    if (stream.renderSizingMode != RemoteScreenStreamRenderSizingMode::clientNative || !selected.displayID ||
        !stream.clientRenderPixelWidth || !stream.clientRenderPixelHeight) {
        return false;
    }
    const auto target = zentrabo::clientNativeTargetSize(static_cast<double>(*stream.clientRenderPixelWidth),
                                                         static_cast<double>(*stream.clientRenderPixelHeight));
    if (!target) return false;
    return session.applyClientNativeDisplayMode(*selected.displayID, "stream start", static_cast<double>(target->width),
                                                static_cast<double>(target->height));
}

asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session) {
    auto& desktop = session.desktop();
    const RemoteScreenStreamRequest& request = session.request();

    std::optional<FrontmostWindowCandidate> candidate = frontmostApplicationWindowCandidate(desktop);
    const auto content = currentShareableContent(desktop.screenCapture());
    SelectedContent selected =
        co_await selectContent(request, content, candidate, desktop, session.environment().clock);
    if (applyClientNativeDisplayModeIfNeeded(session, selected)) {
        // The display settles into its new mode before it is chosen from again.
        co_await session.environment().clock.delay(clientNativeModeSettleSeconds);
        const auto settled = currentShareableContent(desktop.screenCapture());
        if (request.mode == RemoteScreenStreamMode::frontmostWindow) {
            candidate = frontmostApplicationWindowCandidate(desktop);
        }
        selected = co_await selectContent(request, settled, candidate, desktop, session.environment().clock);
    }
    session.selection().apply(selected);
    // Named: GCC 12 destroys a temporary of a co_await expression twice.
    auto start = session.pipeline().start(selected, desktopStreamStages(desktop.screenCapture()));
    co_await std::move(start);
}

}  // namespace zentrabo
