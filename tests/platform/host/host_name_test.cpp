#include "platform/host/host_name.hpp"

#include <gtest/gtest.h>

#include <array>

namespace zentrabo::platform {
namespace {

TEST(ComputerName, FirstNonBlankSourceWinsTrimmedAndNoneWhenAllAreBlank) {
    EXPECT_EQ(chooseComputerName(std::array<std::string, 3>{"  Anna’s Laptop \n", "anna-laptop", "vm"}),
              "Anna’s Laptop");
    EXPECT_EQ(chooseComputerName(std::array<std::string, 3>{"   ", "\tanna-laptop\n", "vm"}), "anna-laptop");
    EXPECT_EQ(chooseComputerName(std::array<std::string, 3>{"", "\u00A0\n", " vm "}), "vm");
    EXPECT_EQ(chooseComputerName(std::array<std::string, 3>{" ", "\r\n", ""}), std::nullopt);
}

TEST(ComputerName, PrettyHostNameIsReadWithShellQuoting) {
    EXPECT_EQ(prettyHostNameFromMachineInfo("CHASSIS=laptop\nPRETTY_HOSTNAME=\"Anna's \\\"Studio\\\"\"\n"),
              "Anna's \"Studio\"");
    EXPECT_EQ(prettyHostNameFromMachineInfo("PRETTY_HOSTNAME='Back\\slash'"), "Back\\slash");
    EXPECT_EQ(prettyHostNameFromMachineInfo("PRETTY_HOSTNAME=Studio\\ One # note"), "Studio One");
    EXPECT_EQ(prettyHostNameFromMachineInfo("PRETTY_HOSTNAME=first\nPRETTY_HOSTNAME=second"), "second");
    EXPECT_EQ(prettyHostNameFromMachineInfo("# PRETTY_HOSTNAME=commented\nICON_NAME=computer"), "");
    EXPECT_EQ(prettyHostNameFromMachineInfo("PRETTY_HOSTNAME=\"unterminated"), "unterminated");
}

TEST(ComputerName, HostnameFileSkipsCommentsAndBlankLines) {
    EXPECT_EQ(hostNameFromHostnameFile("# set by the installer\n\n  studio-7 \nother\n"), "studio-7");
    EXPECT_EQ(hostNameFromHostnameFile("# only a comment\n"), "");
    EXPECT_EQ(hostNameFromHostnameFile(""), "");
}

}  // namespace
}  // namespace zentrabo::platform
