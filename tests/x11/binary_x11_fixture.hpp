#pragma once
// A test of the built binary on the tests' X session (--desktop x11), with
// a phone paired to it.
#include "app/binary_harness.hpp"
#include "support/x11_session.hpp"

namespace zentrabo::testing {

class BinaryX11Test : public BinaryServerTestOn<X11SessionTest> {
protected:
    void SetUp() override {
        serverArguments = {"--desktop", "x11"};
        BinaryServerTestOn<X11SessionTest>::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        pairDevice(phone);
    }

    TestDevice phone;
};

}  // namespace zentrabo::testing
