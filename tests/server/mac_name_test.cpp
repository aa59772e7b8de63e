#include "server/mac_name.hpp"

#include <gtest/gtest.h>

namespace zentrabo {
namespace {

TEST(MacName, IsNeverEmpty) { EXPECT_FALSE(macName().empty()); }

}  // namespace
}  // namespace zentrabo
