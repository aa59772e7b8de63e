#include "maccontrol/mac_menu_error.hpp"

#include <initializer_list>
#include <utility>

namespace zentrabo {
namespace {

using Carries = MacMenuError::Carries;

constexpr std::string_view placeholder = "{}";

constexpr int placeholderCount(std::string_view message) {
    int count = 0;
    for (auto at = message.find(placeholder); at != std::string_view::npos; at = message.find(placeholder, at + 2)) {
        ++count;
    }
    return count;
}

constexpr int shownValueCount(Carries carries) {
    switch (carries) {
    case Carries::nothing:
    case Carries::size:
        return 0;
    case Carries::text:
    case Carries::modal:
    case Carries::application:
        return 1;
    case Carries::modalAndExpectedTitle:
        return 2;
    }
    return -1;
}

constexpr bool everyMessageShowsWhatItsCaseCarries() {
    for (const auto& row : MacMenuError::rows) {
        if (placeholderCount(row.message) != shownValueCount(row.carries)) return false;
    }
    return true;
}
static_assert(everyMessageShowsWhatItsCaseCarries(), "a message has more or fewer \"{}\" than its case shows values");

// The message with each "{}" replaced by the next value; the values are
// never searched for placeholders themselves.
std::string filledIn(std::string_view message, std::initializer_list<std::string_view> values) {
    std::string filled;
    auto value = values.begin();
    for (auto at = message.find(placeholder); at != std::string_view::npos; at = message.find(placeholder)) {
        filled.append(message.substr(0, at)).append(*value++);
        message.remove_prefix(at + placeholder.size());
    }
    return filled.append(message);
}

}  // namespace

MacMenuError::MacMenuError(Checked, Case errorCase, Payload payload) : case_(errorCase), payload_(std::move(payload)) {
    const std::string_view message = row(case_).message;
    if (const auto* text = std::get_if<std::string>(&payload_)) {
        description_ = filledIn(message, {*text});
    } else if (const auto* modal = std::get_if<RemoteModalInfo>(&payload_)) {
        description_ = filledIn(message, {modal->displayTitle()});
    } else if (const auto* mismatch = std::get_if<ModalMismatch>(&payload_)) {
        description_ = filledIn(message, {mismatch->expectedTitle, mismatch->modal.displayTitle()});
    } else if (const auto* application = std::get_if<UnresponsiveApplication>(&payload_)) {
        description_ = filledIn(message, {application->name});
    } else {
        description_ = message;
    }
}

MacMenuError::MacMenuError(CaseCarrying<Carries::nothing> errorCase)
    : MacMenuError(Checked{}, errorCase.errorCase(), {}) {}

MacMenuError::MacMenuError(CaseCarrying<Carries::text> errorCase, std::string text)
    : MacMenuError(Checked{}, errorCase.errorCase(), std::move(text)) {}

MacMenuError::MacMenuError(CaseCarrying<Carries::size> errorCase, std::int64_t size)
    : MacMenuError(Checked{}, errorCase.errorCase(), size) {}

MacMenuError::MacMenuError(CaseCarrying<Carries::modal> errorCase, RemoteModalInfo modal)
    : MacMenuError(Checked{}, errorCase.errorCase(), std::move(modal)) {}

MacMenuError::MacMenuError(CaseCarrying<Carries::modalAndExpectedTitle> errorCase, RemoteModalInfo modal,
                           std::string expectedTitle)
    : MacMenuError(Checked{}, errorCase.errorCase(), ModalMismatch{std::move(modal), std::move(expectedTitle)}) {}

MacMenuError::MacMenuError(CaseCarrying<Carries::application> errorCase, std::string name,
                           std::optional<std::string> bundleIdentifier)
    : MacMenuError(Checked{}, errorCase.errorCase(),
                   UnresponsiveApplication{std::move(name), std::move(bundleIdentifier)}) {}

const std::string* MacMenuError::text() const noexcept {
    if (const auto* value = std::get_if<std::string>(&payload_)) return value;
    if (const auto* application = std::get_if<UnresponsiveApplication>(&payload_)) {
        return &application->name;
    }
    if (const auto* mismatch = std::get_if<ModalMismatch>(&payload_)) return &mismatch->expectedTitle;
    return nullptr;
}

const RemoteModalInfo* MacMenuError::modal() const noexcept {
    if (const auto* modal = std::get_if<RemoteModalInfo>(&payload_)) return modal;
    if (const auto* mismatch = std::get_if<ModalMismatch>(&payload_)) return &mismatch->modal;
    return nullptr;
}

const MacMenuError::UnresponsiveApplication* MacMenuError::unresponsiveApplication() const noexcept {
    return std::get_if<UnresponsiveApplication>(&payload_);
}

std::optional<std::int64_t> MacMenuError::fileSize() const noexcept {
    if (const auto* size = std::get_if<std::int64_t>(&payload_)) return *size;
    return std::nullopt;
}

}  // namespace zentrabo
