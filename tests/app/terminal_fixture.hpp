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

#include "app/terminal_front.hpp"
#include "server/server_fixture.hpp"

namespace zentrabo::testing {

class TerminalTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = makeServer();
        server->setListenerStatus(true, 50123);
        makeFront();
    }

    void makeFront() {
        front = std::make_unique<TerminalFront>(
            *server, [this](std::string_view line) { output.emplace_back(line); }, [this] { ++quitCalls; });
    }

    // The lines one input line printed right away.
    std::vector<std::string> run(std::string_view line) {
        output.clear();
        front->handleLine(line);
        return output;
    }

    // Runs the main loop until the output has grown to the count, while work
    // off the loop (key derivation) finishes; the lines printed since the
    // command.
    std::vector<std::string> runUntilPrinted(std::string_view line, std::size_t lineCount = 1) {
        output.clear();
        front->handleLine(line);
        awaitOutput(lineCount);
        return output;
    }
    void awaitOutput(std::size_t lineCount) {
        while (output.size() < lineCount) {
            if (mainLoop.context().run_one_for(std::chrono::seconds(60)) == 0) break;
        }
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
    std::unique_ptr<TerminalFront> front;
    std::vector<std::string> output;
    int quitCalls = 0;
};

}  // namespace zentrabo::testing
