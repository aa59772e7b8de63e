// Input and the clipboard of the GNOME desktop in the tests' GNOME session,
// through mutter's remote desktop session: what the test application
// reports receiving, on Wayland and on XWayland; the keyboard layouts the
// session's input sources name.
#include <gtest/gtest.h>

#include <gio/gio.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/gnome/gnome_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/eventually.hpp"
#include "support/gnome_session.hpp"
#include "support/input_report_summary.hpp"
#include "support/test_application.hpp"

namespace zentrabo::testing {
namespace {

using platform::KeyboardEvent;
using platform::MouseEvent;
using platform::MouseEventType;
namespace eventflag = platform::eventflag;

// Key codes by their place on a US keyboard.
constexpr platform::KeyCode aKey = 0, zKey = 6, vKey = 9, returnKey = 36, rightControlKey = 59;

bool shownByTheShell(const std::string& title) {
    const auto windows = witnessedShellWindows();
    return !windows || std::any_of(windows->begin(), windows->end(),
                                   [&](const auto& window) { return window.second.title == title; });
}

class GnomeInput : public GnomeSessionTest {
protected:
    void SetUp() override {
        GnomeSessionTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        session = *gnomeSession();
        desktop = platform::GnomeDesktop::create(session.waylandDisplay, clock);
    }

    bool post(const platform::InputEvent& event) { return desktop->eventPoster().post(event); }
    bool press(platform::KeyCode key, bool down, platform::EventFlags flags = 0, std::u16string text = {}) {
        return post(KeyboardEvent{.keyCode = key, .keyDown = down, .flags = flags, .unicodeString = std::move(text)});
    }
    bool tap(platform::KeyCode key, platform::EventFlags flags = 0) {
        return press(key, true, flags) && press(key, false, flags);
    }
    bool click(platform::Point at, MouseEventType down, MouseEventType up, int count = 1) {
        bool posted = true;
        for (int index = 1; index <= count; ++index) {
            posted = post(MouseEvent{down, at, index}) && post(MouseEvent{up, at, index}) && posted;
        }
        return posted;
    }

    GnomeSession session;
    platform::SystemClock clock;
    std::unique_ptr<platform::GnomeDesktop> desktop;
};

TEST_F(GnomeInput, KeysTextAndPointerReachWaylandAndXWaylandWindows) {
    for (const bool wayland : {true, false}) {
        const std::string title = wayland ? "Wayland input" : "XWayland input";
        SCOPED_TRACE(title);
        const TestApplicationOptions options{.windows = {TestWindowSpec{title, 500, 400, {}, {}, {}, false}}};
        std::optional<TestApplication> application;
        if (wayland) {
            application.emplace(options);
        } else {
            const auto client = asXWaylandClient(session);
            application.emplace(options);
        }
        ASSERT_TRUE(application->reports().waitFor("mapped", title));
        ASSERT_TRUE(eventually([&] { return shellActivates(title) && witnessedFrame(title).has_value(); }));
        // Where the window's client area starts, from a first click. An
        // XWayland window may still be placed after it maps: a click the
        // window did not get is tried again where the shell now shows it.
        platform::Point middle;
        std::optional<TestApplicationReport> first;
        for (int attempt = 0; attempt < 5 && !first; ++attempt) {
            const auto frame = witnessedFrame(title);
            ASSERT_TRUE(frame);
            middle = {(*frame)[0] + (*frame)[2] / 2.0, (*frame)[1] + (*frame)[3] / 2.0};
            ASSERT_TRUE(click(middle, MouseEventType::leftMouseDown, MouseEventType::leftMouseUp));
            first = application->reports().waitFor("click", title, std::chrono::milliseconds(1000));
        }
        ASSERT_TRUE(first) << "no click arrived";
        const auto near = [&](double dx, double dy) { return platform::Point{middle.x + dx, middle.y + dy}; };
        const auto at = [&](double dx, double dy) {
            const auto place = [&](const char* key, double delta) {
                return std::to_string(reportedWholeNumber(*first, key) + std::lround(delta));
            };
            return "@" + place("x", dx) + "," + place("y", dy);
        };
        // Let a double click below not join the first click.
        clock.sleep(0.6);

        ASSERT_TRUE(desktop->pasteboard().setString("the user's text"));
        struct Row {
            const char* what;
            std::function<bool()> send;
            const char* event;
            std::string expected;
            // An XWayland client here never receives a key pressed with
            // Control held (only the Control key and the releases arrive).
            bool onXWayland = true;
        };
        const Row rows[] = {
            {"a key", [&] { return tap(aKey); }, "key", "press a"},
            {"a key by its place", [&] { return tap(zKey); }, "key", "press z"},
            {"command holds control", [&] { return tap(aKey, eventflag::command); }, "key", "press a+control", false},
            {"control is the right control key",
             [&] {
                 return press(rightControlKey, true) && tap(aKey, eventflag::control) && press(rightControlKey, false);
             },
             "key", "press a+control", false},
            {"a named key", [&] { return tap(returnKey); }, "key", "press Return"},
            {"text the layout types", [&] { return press(aKey, true, 0, u"hi") && press(aKey, false, 0, u"hi"); },
             "key", "press i"},
            {"text outside the layout goes through a paste", [&] { return press(aKey, true, 0, u"é€ß✓"); }, "paste",
             "paste é€ß✓"},
            {"the user's clipboard is back", [&] { return tap(vKey, eventflag::command); }, "paste",
             "paste the user's text"},
            {"a right click",
             [&] { return click(near(40, 30), MouseEventType::rightMouseDown, MouseEventType::rightMouseUp); }, "click",
             "press 3" + at(40, 30) + "#1"},
            {"a double click",
             [&] { return click(near(-50, 20), MouseEventType::leftMouseDown, MouseEventType::leftMouseUp, 2); },
             "click", "press 1" + at(-50, 20) + "#2"},
            {"a wheel click up",
             [&] {
                 return post(platform::ScrollEvent{platform::ScrollUnit::line, 1, 0, near(10, 10)});
             },
             "scroll", "scroll up" + at(10, 10)},
            {"a wheel click right",
             [&] {
                 return post(platform::ScrollEvent{platform::ScrollUnit::line, 0, -1, near(10, 10)});
             },
             "scroll", "scroll right" + at(10, 10)},
        };
        for (const auto& row : rows) {
            if (!wayland && !row.onXWayland) continue;
            SCOPED_TRACE(row.what);
            ASSERT_TRUE(row.send());
            std::vector<std::string> seen;
            while (const auto report = application->reports().waitFor(row.event, title)) {
                seen.push_back(inputReportSummary(*report));
                if (seen.back() == row.expected) break;
            }
            ASSERT_FALSE(seen.empty()) << "nothing arrived";
            EXPECT_EQ(seen.back(), row.expected) << ::testing::PrintToString(seen);
        }
        EXPECT_EQ(desktop->pasteboard().string(), "the user's text");

        // A drag: pressed at one place, released at another.
        clock.sleep(0.6);
        ASSERT_TRUE(post(MouseEvent{MouseEventType::leftMouseDown, near(-100, -60)}));
        ASSERT_TRUE(post(MouseEvent{MouseEventType::leftMouseDragged, near(0, -30)}));
        ASSERT_TRUE(post(MouseEvent{MouseEventType::leftMouseDragged, near(60, 40)}));
        ASSERT_TRUE(post(MouseEvent{MouseEventType::leftMouseUp, near(60, 40)}));
        const auto next = [&](const char* action) {
            auto report = application->reports().waitFor("click", title);
            while (report && report->text("action") != action) report = application->reports().waitFor("click", title);
            return report;
        };
        const auto pressed = next("press");
        const auto released = next("release");
        ASSERT_TRUE(pressed && released);
        EXPECT_EQ(inputReportSummary(*pressed), "press 1" + at(-100, -60) + "#1");
        EXPECT_EQ(reportedWholeNumber(*released, "x"), reportedWholeNumber(*first, "x") + 60);
        EXPECT_EQ(reportedWholeNumber(*released, "y"), reportedWholeNumber(*first, "y") + 40);
        // Gone from the screen before the next test looks at it.
        application.reset();
        EXPECT_TRUE(eventually([&] { return !shownByTheShell(title); }));
    }
}

TEST_F(GnomeInput, TenMebibytesOfTextGoBetweenTwoClipboardClients) {
    // A second desktop is a second client of mutter's clipboard, so the text
    // crosses mutter both ways.
    const auto other = platform::GnomeDesktop::create(session.waylandDisplay, clock);
    std::string text(10 * 1024 * 1024, 'x');
    for (std::size_t at = 0; at < text.size(); at += 4099) text[at] = char('a' + at % 26);
    for (const bool outward : {true, false}) {
        SCOPED_TRACE(outward ? "ours to the other" : "the other's to us");
        auto& writer = (outward ? desktop : other)->pasteboard();
        auto& reader = (outward ? other : desktop)->pasteboard();
        const auto before = reader.changeCount();
        ASSERT_TRUE(writer.setString(text));
        EXPECT_TRUE(eventually([&] { return reader.changeCount() != before; }));
        const auto read = reader.string();
        ASSERT_TRUE(read);
        EXPECT_EQ(read->size(), text.size());
        EXPECT_TRUE(*read == text);
        text[0] = 'y';
    }
}

// GNOME's input sources for the test's length: the xkb sources in order,
// and the most recently used first (the layout mutter types with).
class InputSourcesOverride {
public:
    explicit InputSourcesOverride(const std::vector<std::string>& sources, const std::vector<std::string>& used = {})
        : settings_(g_settings_new("org.gnome.desktop.input-sources")) {
        saved_ = g_settings_get_value(settings_, "sources");
        savedUsed_ = g_settings_get_value(settings_, "mru-sources");
        g_settings_set_value(settings_, "sources", xkbSources(sources));
        g_settings_set_value(settings_, "mru-sources", xkbSources(used.empty() ? sources : used));
        g_settings_sync();
    }
    ~InputSourcesOverride() {
        g_settings_set_value(settings_, "sources", saved_);
        g_settings_set_value(settings_, "mru-sources", savedUsed_);
        g_settings_sync();
        g_variant_unref(saved_);
        g_variant_unref(savedUsed_);
        g_object_unref(settings_);
    }

private:
    static GVariant* xkbSources(const std::vector<std::string>& ids) {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("a(ss)"));
        for (const auto& id : ids) g_variant_builder_add(&builder, "(ss)", "xkb", id.c_str());
        return g_variant_builder_end(&builder);
    }

    GSettings* settings_;
    GVariant* saved_;
    GVariant* savedUsed_;
};

// GSettings reads the session's settings where the session keeps them, as
// the server does in a login of its own.
ScopedEnvironment sessionSettings(const GnomeSession& session) {
    return ScopedEnvironment({{"XDG_CONFIG_HOME", (session.runtime.parent_path() / "home" / ".config").string()}});
}

TEST_F(GnomeInput, AGermanLayoutMovesSymbolsButNotPlaces) {
    const auto settings = sessionSettings(session);
    const InputSourcesOverride german({"de"});
    const std::string title = "German input";
    std::optional<TestApplication> application;
    application.emplace(TestApplicationOptions{.windows = {TestWindowSpec{title, 400, 300, {}, {}, {}, false}}});
    ASSERT_TRUE(application->reports().waitFor("mapped", title));
    ASSERT_TRUE(eventually([&] { return shellActivates(title) && witnessedFrame(title).has_value(); }));
    const auto frame = *witnessedFrame(title);
    ASSERT_TRUE(click({frame[0] + frame[2] / 2.0, frame[1] + frame[3] / 2.0}, MouseEventType::leftMouseDown,
                      MouseEventType::leftMouseUp));
    struct Row {
        const char* what;
        std::function<bool()> send;
        std::string expected;
    };
    const Row rows[] = {
        {"the key right of Left Shift types y there", [&] { return tap(zKey); }, "press y"},
        {"text of the layout is typed, not pasted", [&] { return press(aKey, true, 0, u"ä"); }, "press adiaeresis"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(row.send());
        std::vector<std::string> seen;
        while (const auto report = application->reports().waitFor("key", title, std::chrono::milliseconds(3000))) {
            seen.push_back(inputReportSummary(*report));
            if (seen.back() == row.expected) break;
        }
        ASSERT_FALSE(seen.empty()) << "nothing arrived";
        EXPECT_EQ(seen.back(), row.expected) << ::testing::PrintToString(seen);
    }
    application.reset();
    EXPECT_TRUE(eventually([&] { return !shownByTheShell(title); }));
}

TEST_F(GnomeInput, TheLayoutAnswerListsTheInputSourcesAndTheOneInUse) {
    const auto settings = sessionSettings(session);
    const auto text = [](const platform::PropertyListValue& value, const char* key) {
        const auto* entry = value.find(key);
        return entry && entry->string() ? *entry->string() : std::string("(none)");
    };
    struct Row {
        std::vector<std::string> sources, used;
        // Each source as "<name> <identifier>", then the current identifier.
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {{"us"}, {}, {"English (US) org.freedesktop.xkb.us", "org.freedesktop.xkb.us"}},
        {{"us", "de"},
         {"de", "us"},
         {"English (US) org.freedesktop.xkb.us", "German org.freedesktop.xkb.de", "org.freedesktop.xkb.de"}},
        // A source never used yet: the first is the one in use.
        {{"de+nodeadkeys", "us"},
         {"fr"},
         {"German (no dead keys) org.freedesktop.xkb.de(nodeadkeys)", "English (US) org.freedesktop.xkb.us",
          "org.freedesktop.xkb.de(nodeadkeys)"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.sources));
        const InputSourcesOverride sources(row.sources, row.used);
        const auto suite = desktop->keyboardLayout().textInputPreferences();
        ASSERT_TRUE(suite);
        std::vector<std::string> seen;
        const auto* selected = suite->find("AppleSelectedInputSources");
        ASSERT_TRUE(selected && selected->array());
        for (const auto& source : *selected->array()) {
            seen.push_back(text(source, "KeyboardLayout Name") + " " + text(source, "InputSource ID"));
        }
        seen.push_back(text(*suite, "AppleCurrentKeyboardLayoutInputSourceID"));
        EXPECT_EQ(seen, row.expected);
    }
}

TEST_F(GnomeInput, MediaKeysArriveAsTheirKeysyms) {
    const std::string title = "Media keys";
    TestApplication application({.windows = {TestWindowSpec{title, 400, 300, {}, {}, {}, false}}});
    ASSERT_TRUE(application.reports().waitFor("mapped", title));
    ASSERT_TRUE(eventually([&] { return shellActivates(title) && witnessedFrame(title).has_value(); }));
    const auto frame = *witnessedFrame(title);
    ASSERT_TRUE(click({frame[0] + frame[2] / 2.0, frame[1] + frame[3] / 2.0}, MouseEventType::leftMouseDown,
                      MouseEventType::leftMouseUp));
    constexpr std::int64_t auxiliaryControlButtons = 8, down = 0x0A00, up = 0x0B00;
    // The toolkit names XF86 keysyms without their prefix.
    const std::pair<std::int64_t, const char*> keys[] = {{0, "press AudioRaiseVolume"}, {17, "press AudioNext"}};
    for (const auto& [type, expected] : keys) {
        SCOPED_TRACE(expected);
        for (const std::int64_t phase : {down, up}) {
            ASSERT_TRUE(post(platform::SystemDefinedEvent{auxiliaryControlButtons, (type << 16) | phase, -1, 0}));
        }
        std::vector<std::string> seen;
        while (const auto report = application.reports().waitFor("key", title, std::chrono::milliseconds(3000))) {
            seen.push_back(inputReportSummary(*report));
            if (seen.back() == expected) break;
        }
        ASSERT_FALSE(seen.empty()) << "nothing arrived";
        EXPECT_EQ(seen.back(), expected) << ::testing::PrintToString(seen);
    }
    // A key type without a key is refused.
    EXPECT_FALSE(post(platform::SystemDefinedEvent{auxiliaryControlButtons, (99 << 16) | down, -1, 0}));
}

}  // namespace
}  // namespace zentrabo::testing
