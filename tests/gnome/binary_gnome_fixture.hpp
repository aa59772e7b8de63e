#pragma once
// The built binary on the tests' GNOME session (--desktop gnome-wayland),
// with one paired device.
#include "app/binary_harness.hpp"
#include "support/gnome_session.hpp"

namespace zentrabo::testing {

class BinaryGnomeTest : public BinaryServerTestOn<GnomeSessionTest> {
protected:
    void SetUp() override {
        serverArguments = {"--desktop", "gnome-wayland"};
        BinaryServerTestOn<GnomeSessionTest>::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        pairDevice(phone);
    }

    TestDevice phone;
};

}  // namespace zentrabo::testing
