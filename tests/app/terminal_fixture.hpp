#pragma once
// A terminal front on a server built as the server tests build it: a
// temporary HOME, a manual clock and a main loop the test runs.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/terminal_events.hpp"
#include "app/terminal_front.hpp"
#include "support/server_fixture.hpp"

namespace zentrabo::testing {

class TerminalTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = makeServer();
        server->listener().setListenerStatus(true, 50123);
        events = std::make_unique<TerminalEvents>(server->authorization());
        makeFront();
    }

    void makeFront() {
        front = std::make_unique<TerminalFront>(
            *server, *events, "virtual (built-in scenario)",
            [this](std::string_view line) {
                output.emplace_back(line);
                everything.emplace_back(line);
            },
            [this] { ++quitCalls; });
    }

    // The lines one input line printed right away.
    std::vector<std::string> run(std::string_view line) {
        output.clear();
        front->handleLine(line);
        return output;
    }

    // The same, for a command that prints its first line once work off the
    // main loop (key derivation) has finished.
    std::vector<std::string> runUntilPrinted(std::string_view line) {
        run(line);
        while (output.empty() && mainLoop.context().run_one_for(std::chrono::seconds(60)) > 0) {
        }
        return output;
    }

    // The "key: value" lines after the first line of a command.
    static std::map<std::string, std::string> keyValues(const std::vector<std::string>& lines) {
        std::map<std::string, std::string> values;
        for (std::size_t index = 1; index < lines.size(); ++index) {
            const auto colon = lines[index].find(": ");
            if (colon != std::string::npos) values[lines[index].substr(0, colon)] = lines[index].substr(colon + 2);
        }
        return values;
    }

    std::shared_ptr<HalvardineServer> server;
    std::unique_ptr<TerminalEvents> events;
    std::unique_ptr<TerminalFront> front;
    std::vector<std::string> output;
    // Every line printed in the test.
    std::vector<std::string> everything;
    int quitCalls = 0;
};

}  // namespace zentrabo::testing
