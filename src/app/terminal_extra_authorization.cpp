// The extra-authorization settings: the password, the settings unlock, and
// the protected scopes and session duration behind it. Password operations
// finish later on the main loop; their first line is printed then. Passwords
// are never printed.
#include <exception>
#include <string>
#include <utility>

#include "app/terminal_context.hpp"
#include "app/terminal_text.hpp"
#include "platform/store/store_failure.hpp"
#include "server/extra_authorization/extra_authorization.hpp"

namespace zentrabo {
namespace {

// Prints the success line, or the operation's own error text, once the
// operation has finished, and lets the lines typed meanwhile run; nothing
// when the front is gone by then.
ExtraAuthorization::SettingsCompletion reportOutcome(TerminalContext& context, std::string success,
                                                     bool unlocksSettings) {
    context.awaitAnswer();
    return [weak = context.weak_from_this(), success = std::move(success), unlocksSettings](std::exception_ptr error) {
        const auto context = weak.lock();
        if (!context) return;
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (const platform::StoreWriteError& thrown) {
                context->write(notSavedText(thrown.cause()));
            } catch (const std::exception& thrown) {
                context->write(thrown.what());
            }
        } else {
            // A new or removed password needs its own unlock.
            context->settingsUnlocked = unlocksSettings;
            context->write(success);
        }
        context->answered();
    };
}

// The scopes and the duration wait for the unlock while a password is set.
bool settingsAreUnlocked(TerminalContext& context) {
    if (!*context.extraAuthorization.passwordConfigured() || context.settingsUnlocked) return true;
    context.write("Extra authorization settings are locked: \"unlock <current password>\" first.");
    return false;
}

void setPassword(TerminalContext& context, std::string_view password) {
    auto& extra = context.extraAuthorization;
    if (*extra.passwordConfigured()) {
        context.write("A password is already set; \"password change\" changes it.");
        return;
    }
    extra.updatePassword(std::nullopt, std::string(password),
                         reportOutcome(context, "Extra authorization password set.", false));
}

void changePassword(TerminalContext& context) {
    if (!*context.extraAuthorization.passwordConfigured()) {
        context.write("No password is set; \"password set <new>\" sets one.");
        return;
    }
    context.write("Changing the password: type the current password on the next line, then the new one.");
    context.readNextLine = [weak = context.weak_from_this()](std::string current) {
        const auto context = weak.lock();
        if (!context) return;
        context->readNextLine = [weak, current = std::move(current)](std::string next) mutable {
            const auto context = weak.lock();
            if (!context) return;
            context->extraAuthorization.updatePassword(
                std::move(current), std::move(next),
                reportOutcome(*context, "Extra authorization password changed.", false));
        };
    };
}

}  // namespace

void runPassword(TerminalContext& context, std::string_view arguments) {
    const auto [operation, password] = splitFirstWord(arguments);
    if (operation == "set") {
        setPassword(context, password);
    } else if (operation == "change") {
        if (!password.empty()) {
            // Whatever follows may be a password: it is not echoed.
            return context.reportMalformed("password change", "reads the passwords from the next two lines");
        }
        changePassword(context);
    } else if (operation == "remove") {
        context.extraAuthorization.removePassword(
            std::string(password), reportOutcome(context, "Extra authorization password removed.", false));
    } else {
        context.reportMalformed("password", "expected set, change or remove");
    }
}

void runUnlock(TerminalContext& context, std::string_view arguments) {
    context.extraAuthorization.unlockSettings(std::string(arguments),
                                              reportOutcome(context, "Extra authorization settings unlocked.", true));
}

void runScopes(TerminalContext& context, std::string_view arguments) {
    const auto [channelText, list] = splitFirstWord(arguments);
    HalvardineExtraAuthorizationChannel channel{};
    if (!platform::fromRawValue(channelText, channel) || list.empty()) {
        return context.reportMalformed("scopes", "expected local or relay, then scopes or none");
    }
    ExtraAuthorizationScopes wanted;
    if (list != "none") {
        std::string_view rest = list;
        while (true) {
            const auto comma = rest.find(',');
            const auto [name, trailing] = splitFirstWord(rest.substr(0, comma));
            HalvardineExtraAuthorizationScope scope{};
            if (!trailing.empty() || !platform::fromRawValue(name, scope)) {
                return context.reportMalformed("scopes",
                                               "\"" + echoed(list) + "\" is not a list of stream, files and workflows");
            }
            wanted.insert(scope);
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    if (!settingsAreUnlocked(context)) return;
    auto& extra = context.extraAuthorization;
    if (const std::error_code error = extra.setScopes(std::move(wanted), channel)) {
        return context.write(notSavedText(error));
    }
    const auto& scopes =
        channel == HalvardineExtraAuthorizationChannel::relay ? extra.relayScopes() : extra.localScopes();
    context.write("Protected on " + std::string(platform::rawValue(channel)) + " connections: " + scopeList(*scopes));
}

void runDuration(TerminalContext& context, std::string_view arguments) {
    const auto [word, rest] = splitFirstWord(arguments);
    HalvardineExtraAuthorizationSessionDuration duration{};
    if (!rest.empty() || !platform::fromRawValue(word, duration)) {
        return context.reportMalformed("duration", "expected background, short, standard or long");
    }
    if (!settingsAreUnlocked(context)) return;
    auto& extra = context.extraAuthorization;
    if (const std::error_code error = extra.setSessionDuration(duration)) return context.write(notSavedText(error));
    context.write("Session duration: " + std::string(platform::rawValue(*extra.sessionDuration())) + " (" +
                  std::string(summary(*extra.sessionDuration())) + ")");
}

}  // namespace zentrabo
