#include "server/connection/dispatch_table.hpp"

#include <array>
#include <utility>

#include "server/files/remote_file_resource.hpp"

namespace zentrabo {
namespace {

using Scope = HalvardineExtraAuthorizationScope;

constexpr ActionScope noScope{};
constexpr ActionScope scopeFromRequest{ScopeSource::fromRequest};
constexpr ActionScope fixedScope(Scope scope) { return {ScopeSource::fixed, scope}; }

// Adapts a handler that answers before it returns.
template <HalvardineResponse (*respond)(const ActionContext&)>
void atOnce(const ActionContext& context, Answer answer) {
    answer(respond(context));
}

DesktopController& controller(const ActionContext& context) { return context.features.controller; }

// The successful reply with one field set, most often to what the controller
// answered.
template <class Field, class Value>
HalvardineResponse successWith(const ActionContext& context, Field HalvardineResponse::*field, Value&& value) {
    auto response = context.success();
    response.*field = std::forward<Value>(value);
    return response;
}

// The fields rows require.

std::optional<HalvardineResponse> missingScope(const ActionContext& context) {
    if (context.request.extraAuthorizationScope) return std::nullopt;
    return context.features.extraAuthorization.missingScopeRefusal(context.request.id);
}

std::optional<HalvardineResponse> missingPath(const ActionContext& context) {
    if (context.request.path) return std::nullopt;
    return context.failure("No menu path was provided.");
}

std::optional<HalvardineResponse> missingWorkflowSteps(const ActionContext& context) {
    if (context.request.workflowSteps && !context.request.workflowSteps->empty()) return std::nullopt;
    return context.failure("No workflow steps were provided.");
}

std::optional<HalvardineResponse> missingStreamOptions(const ActionContext& context) {
    if (context.request.screenStream) return std::nullopt;
    return context.failure("No screen stream request was provided.");
}

// The handlers, in the order of the table.

HalvardineResponse pair(const ActionContext& context) {
    return context.features.pairing.handlePairRequest(context.request, context.clientCertificateFingerprint,
                                                      context.channel);
}

HalvardineResponse identityOnly(const ActionContext& context) { return context.success(); }

void authorizeExtra(const ActionContext& context, Answer answer) {
    context.features.extraAuthorization.authorizeExtra(
        context.request, context.channel, context.authorizedFingerprint,
        [answer = std::move(answer)](HalvardineResponse response) { answer(std::move(response)); });
}

HalvardineResponse menu(const ActionContext& context) {
    return successWith(context, &HalvardineResponse::snapshot,
                       controller(context).menuSnapshot(context.request.bundleIdentifier));
}

HalvardineResponse applications(const ActionContext& context) {
    return successWith(context, &HalvardineResponse::applications, controller(context).applications());
}

HalvardineResponse applicationIcons(const ActionContext& context) {
    // The list when it is there, even empty; else the one identifier.
    const auto& request = context.request;
    std::vector<std::string> bundleIdentifiers;
    if (request.bundleIdentifiers) {
        bundleIdentifiers = *request.bundleIdentifiers;
    } else if (request.bundleIdentifier) {
        bundleIdentifiers.push_back(*request.bundleIdentifier);
    }
    return successWith(context, &HalvardineResponse::applicationIcons,
                       controller(context).applicationIcons(bundleIdentifiers));
}

HalvardineResponse applicationWindows(const ActionContext& context) {
    return successWith(context, &HalvardineResponse::applicationWindows,
                       controller(context).applicationWindows(context.request.bundleIdentifier));
}

HalvardineResponse screenshotDisplays(const ActionContext& context) {
    return successWith(context, &HalvardineResponse::displays, controller(context).displays());
}

HalvardineResponse displayWallpaper(const ActionContext& context) {
    auto response = context.success();
    // Absent when no wallpaper could be made.
    if (auto wallpaper = controller(context).displayWallpapers(context.request.displayID)) {
        response.displayWallpapers = std::vector<RemoteDisplayWallpaper>{std::move(*wallpaper)};
    }
    return response;
}

HalvardineResponse screenStreamPreviewScreenshot(const ActionContext& context) {
    return successWith(context, &HalvardineResponse::screenshots,
                       std::vector<RemoteScreenshot>{
                           controller(context).screenStreamPreviewScreenshot(*context.request.screenStream)});
}

void fileResource(const ActionContext& context, Answer answer) {
    // The listing runs off the main loop; the answer follows when it or its
    // timeout finishes. The receive folder drops it once it is gone itself,
    // before the reply builder goes.
    RemoteFileResourceQuery query = fileResourceQuery(context.request);
    query.browsableDataFolder = controller(context).desktop().browsableDataFolder();
    context.features.receiveFolder.remoteFileResource(
        std::move(query), [&replies = context.features.replies, id = context.request.id,
                           answer = std::move(answer)](RemoteFileResourceResult result) {
            if (auto* resource = std::get_if<RemoteFileResource>(&result)) {
                HalvardineResponse response = replies.identityResponse(id, true);
                response.fileResource = std::move(*resource);
                answer(std::move(response));
                return;
            }
            try {
                std::rethrow_exception(std::get<std::exception_ptr>(result));
            } catch (const std::exception& error) {
                answer(replies.errorResponse(id, error));
            }
        });
}

HalvardineResponse openFile(const ActionContext& context) {
    controller(context).openFolder(context.request.filePath);
    return context.success();
}

HalvardineResponse activate(const ActionContext& context) {
    auto response = context.success();
    auto& mac = controller(context);
    const auto application = mac.activateApplication(context.request.bundleIdentifier);
    mac.raiseApplication(*application, true);
    if (context.request.displayID) {
        mac.moveApplication(*application, *context.request.displayID);
        mac.raiseApplication(*application, true);
    }
    return response;
}

HalvardineResponse quit(const ActionContext& context) {
    controller(context).quitApplication(context.request.bundleIdentifier);
    return context.success();
}

HalvardineResponse restartApplication(const ActionContext& context) {
    controller(context).restartApplication(context.request.bundleIdentifier);
    return context.success();
}

HalvardineResponse openURL(const ActionContext& context) {
    controller(context).openURL(context.request.urlString);
    return context.success();
}

HalvardineResponse run(const ActionContext& context) {
    // Requests press by exact titles; match modes are for workflows.
    controller(context).pressMenuItem(context.request.bundleIdentifier, *context.request.path, std::nullopt,
                                      std::nullopt);
    return context.success();
}

HalvardineResponse workflow(const ActionContext& context) {
    // The receive folder is read for each run, so a folder chosen since the
    // last one counts. The run holds the main loop until it ends.
    auto result = controller(context).runWorkflow(*context.request.workflowSteps,
                                                  context.features.receiveFolder.fileReceiveFolderURL());
    auto response = context.success();
    if (!result.screenshots.empty()) response.screenshots = std::move(result.screenshots);
    if (!result.transferredFiles.empty()) response.transferredFiles = std::move(result.transferredFiles);
    return response;
}

HalvardineResponse modalInfo(const ActionContext& context) {
    return successWith(context, &HalvardineResponse::modalInfo,
                       controller(context).modalInfo(context.request.bundleIdentifier));
}

HalvardineResponse dismissModal(const ActionContext& context) {
    // The reply says only that the button was pressed.
    controller(context).dismissModal(context.request.bundleIdentifier, context.request.modalButtonTitle,
                                     context.request.modalExpectedTitle);
    return context.success();
}

void screenStream(const ActionContext& context, Answer answer) {
    answer(StreamHandOver{context.features.streams.screenStreamServer(), *context.request.screenStream,
                          context.authorizedFingerprint});
}

constexpr bool authorized = true;
constexpr auto replyLine = RowKind::replyLine;

constexpr std::array<DispatchRow, 22> rows = {{
    {"pair", false, noScope, nullptr, replyLine, atOnce<pair>},
    {"ping", authorized, noScope, nullptr, replyLine, atOnce<identityOnly>},
    {"extraAuthorizationStatus", authorized, scopeFromRequest, missingScope, replyLine, atOnce<identityOnly>},
    {"authorizeExtra", authorized, noScope, nullptr, replyLine, authorizeExtra},
    {"menu", authorized, noScope, nullptr, replyLine, atOnce<menu>},
    {"applications", authorized, noScope, nullptr, replyLine, atOnce<applications>},
    {"applicationIcons", authorized, noScope, nullptr, replyLine, atOnce<applicationIcons>},
    {"applicationWindows", authorized, noScope, nullptr, replyLine, atOnce<applicationWindows>},
    {"screenshotDisplays", authorized, noScope, nullptr, replyLine, atOnce<screenshotDisplays>},
    {"displayWallpaper", authorized, noScope, nullptr, replyLine, atOnce<displayWallpaper>},
    {"screenStreamPreviewScreenshot", authorized, fixedScope(Scope::stream), missingStreamOptions, replyLine,
     atOnce<screenStreamPreviewScreenshot>},
    {"fileResource", authorized, fixedScope(Scope::files), nullptr, replyLine, fileResource},
    {"openFile", authorized, fixedScope(Scope::files), nullptr, replyLine, atOnce<openFile>},
    {"activate", authorized, noScope, nullptr, replyLine, atOnce<activate>},
    {"quit", authorized, noScope, nullptr, replyLine, atOnce<quit>},
    {"restartApplication", authorized, noScope, nullptr, replyLine, atOnce<restartApplication>},
    {"openURL", authorized, noScope, nullptr, replyLine, atOnce<openURL>},
    {"run", authorized, noScope, missingPath, replyLine, atOnce<run>},
    {"workflow", authorized, fixedScope(Scope::workflows), missingWorkflowSteps, replyLine, atOnce<workflow>},
    {"modalInfo", authorized, noScope, nullptr, replyLine, atOnce<modalInfo>},
    {"dismissModal", authorized, noScope, nullptr, replyLine, atOnce<dismissModal>},
    {"screenStream", authorized, fixedScope(Scope::stream), missingStreamOptions, RowKind::connectionUpgrade,
     screenStream},
}};

}  // namespace

HalvardineResponse ActionContext::success() const { return features.replies.identityResponse(request.id, true); }

HalvardineResponse ActionContext::failure(std::string message) const {
    HalvardineResponse response = features.replies.identityResponse(request.id, false);
    response.error = std::move(message);
    return response;
}

std::span<const DispatchRow> dispatchTable() { return rows; }

bool answersWithIdentityAlone(const DispatchRow& row) {
    return row.needsAuthorization && row.scope.source == ScopeSource::none && row.missingField == nullptr &&
           row.kind == RowKind::replyLine && row.handle == &atOnce<identityOnly>;
}

const DispatchRow* findDispatchRow(std::string_view action) {
    for (const auto& row : rows) {
        if (row.action == action) return &row;
    }
    return nullptr;
}

}  // namespace zentrabo
