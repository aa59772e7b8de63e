#include "platform/text/case_table.hpp"

#include <gtest/gtest.h>

#include <string_view>

namespace zentrabo::platform {
namespace {

enum class Signal { stop, wait, go };

constexpr auto meanings = caseTable<Signal, std::string_view>({
    {Signal::stop, "Stop."},
    {Signal::wait, "Wait."},
    {Signal::go, "Go."},
});

TEST(CaseTable, GivesEachCaseItsOwnRowAndAnyOtherValueTheFallback) {
    const std::pair<Signal, std::string_view> expectations[] = {
        {Signal::stop, "Stop."},
        {Signal::wait, "Wait."},
        {Signal::go, "Go."},
        {static_cast<Signal>(3), "Unknown."},
        {static_cast<Signal>(-1), "Unknown."},
    };
    for (const auto& [signal, meaning] : expectations) {
        EXPECT_EQ(meanings.entryOr(signal, "Unknown."), meaning) << static_cast<int>(signal);
    }
}

}  // namespace
}  // namespace zentrabo::platform
