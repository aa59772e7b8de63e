// The menu, applications and run requests, through the dispatcher.
#include <gmock/gmock.h>

#include "support/device_request.hpp"
#include "support/server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

constexpr const char* menuPhone = "ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34ab12cd34";

class MenuRequestsTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        desktopScenario.application("Editor", "com.example.editor")
            .menu("File", {platform::menuItem("Save", "cmd+S"), platform::menuItem("Revert").disabled()});
        server = makeServer();
        server->authorization().completePairing(menuPhone, std::string("Phone"), Channel::local);
    }

    HalvardineResponse send(HalvardineRequest request) {
        std::optional<HalvardineResponse> reply;
        server->handle(request, Channel::local, std::string(menuPhone), [&](DispatchOutcome outcome) {
            reply = std::get<HalvardineResponse>(std::move(outcome.answer));
        });
        EXPECT_TRUE(reply) << "answered at once";
        return reply.value_or(HalvardineResponse{});
    }

    std::shared_ptr<HalvardineServer> server;
};

TEST_F(MenuRequestsTest, MenuAndApplicationsAnswerWithTheirRecords) {
    const auto menu = send(deviceRequest("R-1", "menu"));
    ASSERT_TRUE(menu.ok);
    ASSERT_TRUE(menu.snapshot);
    EXPECT_EQ(menu.snapshot->application.bundleIdentifier, "com.example.editor");
    EXPECT_EQ(menu.snapshot->items.at(0).children.at(0).shortcut, "cmd+S");

    const auto applications = send(deviceRequest("R-1", "applications"));
    ASSERT_TRUE(applications.applications);
    ASSERT_EQ(applications.applications->size(), 1u);
    EXPECT_TRUE(applications.applications->at(0).isRunning);
}

TEST_F(MenuRequestsTest, RunPressesByExactTitlesAndReportsRefusals) {
    auto run = deviceRequest("R-1", "run");
    EXPECT_EQ(send(run).error, "No menu path was provided.");
    EXPECT_FALSE(send(run).errorCode);

    run.path = std::vector<std::string>{"File", "Save"};
    EXPECT_TRUE(send(run).ok);

    run.path = std::vector<std::string>{"File", "Rev"};
    const auto notFound = send(run);
    EXPECT_EQ(notFound.error, "Menu item not found: Rev") << "no prefix matching for requests";
    EXPECT_EQ(notFound.errorCode, HalvardineErrorCode::menuItemNotFound);

    run.path = std::vector<std::string>{"File", "Revert"};
    EXPECT_EQ(send(run).errorCode, HalvardineErrorCode::menuItemDisabled);
}

}  // namespace
}  // namespace zentrabo::testing
