#include "model/shared_enumerations.hpp"

#include "platform/text/case_table.hpp"

namespace zentrabo {
namespace {

using platform::caseTable;
using Scope = HalvardineExtraAuthorizationScope;
using Channel = HalvardineExtraAuthorizationChannel;
using Duration = HalvardineExtraAuthorizationSessionDuration;

struct SessionDurationFacts {
    std::string_view title;
    std::string_view summary;
    double seconds = 0;
};

constexpr auto sessionDurations = caseTable<Duration, SessionDurationFacts>({
    {Duration::background, {"Enter Background", "until the client app enters background", 3600}},
    {Duration::short_, {"5 min", "5 minutes", 300}},
    {Duration::standard, {"15 min", "15 minutes", 900}},
    {Duration::long_, {"60 min", "60 minutes", 3600}},
});

}  // namespace

std::string_view title(Scope scope) {
    static constexpr auto titles = caseTable<Scope, std::string_view>({
        {Scope::stream, "Stream"},
        {Scope::files, "Files"},
        {Scope::workflows, "Workflows"},
    });
    return titles.entryOr(scope, {});
}

std::string_view title(Channel channel) {
    static constexpr auto titles = caseTable<Channel, std::string_view>({
        {Channel::local, "Local"},
        {Channel::relay, "Relay"},
    });
    return titles.entryOr(channel, {});
}

std::string_view title(Duration duration) { return sessionDurations.entryOr(duration, {}).title; }

std::string_view summary(Duration duration) { return sessionDurations.entryOr(duration, {}).summary; }

double timeInterval(Duration duration) { return sessionDurations.entryOr(duration, {}).seconds; }

}  // namespace zentrabo
