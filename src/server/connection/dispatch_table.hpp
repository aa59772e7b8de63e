#pragma once
// The actions the server answers, one row each, in the order they are
// matched. A new action is one row in dispatch_table.cpp.
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "model/shared_enumerations.hpp"
#include "server/connection/dispatch_outcome.hpp"
#include "server/connection/request_dispatcher_features.hpp"

namespace zentrabo {

// Where the extra-authorization scope that guards a row comes from.
enum class ScopeSource { none, fixed, fromRequest };

struct ActionScope {
    ScopeSource source = ScopeSource::none;
    // Read only when the source is fixed.
    HalvardineExtraAuthorizationScope fixed = HalvardineExtraAuthorizationScope::stream;
};

// How a row answers. A connection upgrade answers its refusals with one
// error frame each (the extra-authorization refusal excepted, which the
// client answers with a password), runs no permission refresh, and its
// handler takes the connection over.
enum class RowKind { replyLine, connectionUpgrade };

// What a handler gets: the request, where it came from and the features.
struct ActionContext {
    const HalvardineRequest& request;
    HalvardineExtraAuthorizationChannel channel;
    // As the connection read it; "pair" works with this one.
    const std::optional<std::string>& clientCertificateFingerprint;
    // The normalised fingerprint of client authorization; empty for a row
    // that needs none.
    const std::string& authorizedFingerprint;
    const RequestDispatcherFeatures& features;

    // A successful reply carrying the server identity fields.
    HalvardineResponse success() const;
    // A failed reply with the message and no code.
    HalvardineResponse failure(std::string message) const;
};

// Hands the row's answer back, at once or later, on the main loop.
using Answer = std::function<void(DispatchAnswer)>;

struct DispatchRow {
    std::string_view action;
    bool needsAuthorization;
    ActionScope scope;
    // The refusal of a request that lacks a field the row needs; null when
    // it needs none. Checked right before the handler, except that a scope
    // taken from the request is checked before its gate, which needs it.
    std::optional<HalvardineResponse> (*missingField)(const ActionContext& context);
    RowKind kind;
    // May answer later (a password check, a file listing); a handler that
    // throws before answering is answered with the error's reply.
    void (*handle)(const ActionContext& context, Answer answer);
};

std::span<const DispatchRow> dispatchTable();
// By exact, case-sensitive name; none for an unknown action.
const DispatchRow* findDispatchRow(std::string_view action);
// Whether the row answers an authorized request with the success reply
// alone: no scope, no field, no handler work.
bool answersWithIdentityAlone(const DispatchRow& row);

}  // namespace zentrabo
