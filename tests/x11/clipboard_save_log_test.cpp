// A paste saves another owner's clipboard types and puts them back; a type
// too large to save is named in the diagnostic log, once per paste.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "maccontrol/desktop_controller.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/x11/x11_pasteboard.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "support/temporary_home.hpp"
#include "support/x11_session.hpp"
#include "x11/session_services_desktop.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using platform::PasteboardItem;
using platform::X11Pasteboard;

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class ClipboardSaveLogTest : public X11SessionTest {};

TEST_F(ClipboardSaveLogTest, ATypeTooLargeToSaveIsLoggedOncePerPaste) {
    TemporaryHome home;
    std::filesystem::create_directories(std::filesystem::path(diagnosticLogPath()).parent_path());
    platform::ManualClock clock;
    X11Pasteboard pasteboard(std::getenv("DISPLAY"));
    auto model = platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock);
    SessionServicesDesktop desktop(*model, {.pasteboard = &pasteboard});
    DesktopController controller(desktop);

    // Another owner: text, and a picture one byte over the limit under a
    // target whose name would break the log line. It takes the clipboard
    // again before each paste, since a paste puts back only what it saved.
    X11Pasteboard other(std::getenv("DISPLAY"));
    const std::string kept = "kept";
    const PasteboardItem offered{
        {{"image/x\nforged", std::vector<std::uint8_t>(X11Pasteboard::maximumTargetSize + 1, 0x5A)},
         {platform::pasteboardtype::string, std::vector<std::uint8_t>(kept.begin(), kept.end())}}};
    for (int paste = 1; paste <= 2; ++paste) {
        const std::int64_t before = pasteboard.changeCount();
        ASSERT_TRUE(other.writeItems({offered}));
        ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() != before; }));
        controller.pasteText("pasted");
        EXPECT_EQ(pasteboard.string(), kept);
        std::ostringstream log;
        log << std::ifstream(diagnosticLogPath()).rdbuf();
        EXPECT_EQ(occurrences(log.str(), "Clipboard type image/x\\nforged not saved for the paste: larger than 16 MiB"),
                  static_cast<std::size_t>(paste))
            << log.str();
    }
}

}  // namespace
}  // namespace zentrabo::testing
