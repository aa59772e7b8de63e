#pragma once
// The tests' X11 session: Xvfb split into two monitors, openbox and a session
// D-Bus, which scripts/run-tests-in-namespace.sh starts once for the suite.
// Its display is exported as ZENTRABO_TEST_X11_DISPLAY, never as DISPLAY, so
// every other test keeps the virtual desktop; a test that derives its fixture
// from X11SessionTest gets DISPLAY set to the session's display. Where the
// script set ZENTRABO_REQUIRE_X11=1, a missing session fails such a test;
// elsewhere (a test program run by hand) it skips.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "server_identity.hpp"

namespace zentrabo::testing {

inline constexpr const char* kX11SessionDisplayVariable = "ZENTRABO_TEST_X11_DISPLAY";
inline constexpr const char* kRequireX11Variable = "ZENTRABO_REQUIRE_X11";

// Whether a local display (":N" or ":N.S") accepts a connection on its socket.
inline bool x11DisplayAnswers(const std::string& display) {
    if (display.empty() || display[0] != ':') return false;
    const std::string number = display.substr(1, display.find('.') - 1);
    const std::string path = "/tmp/.X11-unix/X" + number;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (number.empty() || path.size() >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) return false;
    const bool answers = connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(descriptor);
    return answers;
}

// The session's display when it is named and answers.
inline std::optional<std::string> x11SessionDisplay() {
    const char* display = std::getenv(kX11SessionDisplayVariable);
    if (display == nullptr || !x11DisplayAnswers(display)) return std::nullopt;
    return std::string(display);
}

// Sets DISPLAY to the session's display; fails or skips the running test
// when the session is missing (its caller checks HasFatalFailure and
// IsSkipped).
inline void joinX11Session() {
    const auto display = x11SessionDisplay();
    if (!display) {
        if (std::getenv(kRequireX11Variable) != nullptr) {
            FAIL() << "the tests' X11 session is missing: " << kX11SessionDisplayVariable
                   << " is unset or its display does not answer (see namespace-logs/xvfb.log)";
        }
        GTEST_SKIP() << "no X11 session (run the suite through scripts/run-tests-in-namespace.sh)";
    }
    // Once per program: the session never changes while the suite runs.
    static std::once_flag displaySet;
    std::call_once(displaySet, [&] {
        setenv("DISPLAY", display->c_str(), 1);
        // The clipboard's reads name their property after the program.
        useServerIdentity();
    });
}

class X11SessionTest : public ::testing::Test {
protected:
    void SetUp() override { joinX11Session(); }
};

}  // namespace zentrabo::testing
