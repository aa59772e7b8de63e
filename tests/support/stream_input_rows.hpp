#pragma once
// What a display stream's input sends to the tests' application, and what
// the application reports for each, for every session the binary controls:
// keys, text, pastes and pointer events arrive where they were sent.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/records/stream_input_wire.hpp"
#include "support/input_report_summary.hpp"
#include "support/stream_client.hpp"
#include "support/test_application.hpp"

namespace zentrabo::testing {

// A pointer event's frame at a place of the window's client area, in its
// pixels; the session says where that lies in the stream.
using ClientAreaPointer = std::function<std::string(RemoteScreenPointerEventKind, int x, int y)>;

inline std::string streamKeyFrame(const std::string& key, std::vector<std::string> modifiers,
                                  std::optional<std::string> characters, std::optional<bool> prefersTextInsertion) {
    const auto payload =
        RemoteScreenKeyboardEventWire::encode({key, std::move(modifiers), std::move(characters), prefersTextInsertion});
    return frameBytes(RemoteScreenStreamFrameKind::keyboardEvent, std::string(payload.begin(), payload.end()));
}

// How a session delivers text with characters its keyboard layout lacks:
// typed, or pasted where no client may post such characters (Wayland).
enum class TextOutsideTheLayout { typed, pasted };

// Sends each row through the stream and expects the window's report of it.
inline void expectStreamInputArrives(StreamClient& stream, TestApplication& application, const std::string& window,
                                     const ClientAreaPointer& at, TextOutsideTheLayout text) {
    using Pointer = RemoteScreenPointerEventKind;
    struct Row {
        const char* what;
        std::string frames;
        const char* event;
        std::string expected;
    };
    const auto scroll = [] {
        const auto payload = RemoteScreenPointerEventWire::encode({Pointer::scroll, 0, 40});
        return frameBytes(RemoteScreenStreamFrameKind::pointerEvent, std::string(payload.begin(), payload.end()));
    };
    // Text first: the keys after it commit text of their own.
    const Row rows[] = {
        text == TextOutsideTheLayout::typed ? Row{"text", streamKeyFrame("e", {}, "é€", true), "text", "text é€"}
                                            : Row{"text", streamKeyFrame("e", {}, "é€", true), "paste", "paste é€"},
        {"a key", streamKeyFrame("a", {}, "a", false), "key", "press a"},
        {"command on a key", streamKeyFrame("a", {"cmd"}, "a", true), "key", "press a+control"},
        {"a named key", streamKeyFrame("return", {}, std::nullopt, std::nullopt), "key", "press Return"},
        {"a click", at(Pointer::leftClickAt, 60, 50), "click", "press 1@60,50#1"},
        {"a right click", at(Pointer::rightClickAt, 300, 220), "click", "press 3@300,220#1"},
        {"a double click", at(Pointer::leftDoubleClickAt, 120, 90), "click", "press 1@120,90#2"},
        {"a scroll where the pointer is", scroll(), "scroll", "scroll up@120,90"},
        {"a paste", frameBytes(RemoteScreenStreamFrameKind::pasteText, "Grüße"), "paste", "paste Grüße"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        stream.write(row.frames);
        // Text comes a commit (a character) at a time.
        const bool joined = std::string(row.event) == "text";
        std::vector<std::string> seen;
        for (;;) {
            const auto report = application.reports().waitFor(row.event, window);
            if (!report) break;
            seen.push_back(joined && !seen.empty() ? seen.back() + report->text("text").value_or("")
                                                   : inputReportSummary(*report));
            if (seen.back() == row.expected) break;
        }
        ASSERT_FALSE(seen.empty()) << "nothing arrived";
        EXPECT_EQ(seen.back(), row.expected);
    }
    EXPECT_FALSE(stream.isClosed());
}

}  // namespace zentrabo::testing
