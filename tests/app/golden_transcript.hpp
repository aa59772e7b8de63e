#pragma once
// The golden transcript: one scripted session with the built binary, holding
// every line its terminal and a device see, compared line by line with an
// expected file of the desktop it ran on (tests/app/golden/). Values that
// change from run to run or from machine to machine are masked: by their
// form (masksBeforeValues, masksAfterValues) or, where this run chose them,
// by their value (`chosen`). The same session runs on the virtual desktop
// (tests/app) and on the tests' X11 session (tests/x11), so each desktop
// answers every request a device makes of it here.
//
// After a deliberate change of a visible text, rewrite the files and review
// their diff before committing them. The virtual run:
//   ZENTRABO_UPDATE_GOLDEN=1 unshare --net --mount bash -c 'ip link set lo up;
//     build/test/tests/test_app --gtest_filter=GoldenTranscript*'
// The X11 run needs the tests' session, which the namespace script starts
// before it runs the whole suite (only these tests read the variable):
//   ZENTRABO_UPDATE_GOLDEN=1 unshare --net --mount --pid --fork --mount-proc
//     --kill-child scripts/run-tests-in-namespace.sh build/test
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
// GCC 12 warns of uninitialised members inside libstdc++'s regex automaton
// when it inlines it with sanitizers on, a false positive in a header we do not own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/binary_harness.hpp"
#include "platform/binary/big_endian.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "support/file_text.hpp"

namespace zentrabo::testing {
namespace golden {

// Replaces each whole occurrence of the value (not one inside a longer run of
// letters and digits) with the label.
inline std::string replaceValue(std::string line, std::string_view value, std::string_view label) {
    const auto isWordCharacter = [](char character) {
        return (character >= '0' && character <= '9') || (character >= 'A' && character <= 'Z') ||
               (character >= 'a' && character <= 'z');
    };
    for (std::size_t at = line.find(value); at != std::string::npos; at = line.find(value, at)) {
        const std::size_t end = at + value.size();
        if ((at > 0 && isWordCharacter(line[at - 1])) || (end < line.size() && isWordCharacter(line[end]))) {
            at = end;
            continue;
        }
        line.replace(at, value.size(), label);
        at += label.size();
    }
    return line;
}

struct PatternMask {
    std::regex pattern;
    const char* replacement;
};

// Masks of values whose form is known but whose content is not. The first
// group runs before the values this run chose are replaced (a time's digits
// must not be taken for a port), the second after (a fingerprint this run
// knows keeps its name).
inline std::vector<PatternMask> patternMasks(std::initializer_list<std::pair<const char*, const char*>> table) {
    std::vector<PatternMask> masks;
    for (const auto& [pattern, replacement] : table) masks.push_back({std::regex(pattern), replacement});
    return masks;
}

inline const std::vector<PatternMask>& masksBeforeValues() {
    static const auto masks = patternMasks({
        {R"(^(Zentrabo Server ).+ \(.+\)$)", "$1<version> (<build>)"},
        {R"("serverAppVersion":"[^"]*")", R"("serverAppVersion":"<version>")"},
        {R"("serverBuildNumber":"[^"]*")", R"("serverBuildNumber":"<build>")"},
        {R"("macName":"(?:[^"\\]|\\.)*")", R"("macName":"<mac name>")"},
        {R"(^(service name: ).*( Zentrabo)$)", "$1<mac name>$2"},
        {R"(([?&]service=)[^&]*)", "$1<service name>"},
        // A machine with a network address names it, an isolated one has
        // none: the field goes either way, so both look alike.
        {R"("host":"[^"]*",)", ""},
        {R"(&host=[^&]*&port=[0-9]+)", ""},
        {R"(\d{4}-\d\d-\d\d[ T]\d\d:\d\d:\d\d(?: UTC|Z))", "<time>"},
        {R"(("[A-Za-z]*At"):-?[0-9][0-9.eE+-]*)", "$1:<time>"},
        {R"(-\d{8}-\d{6}(\.[a-z]+"))", "-<time>$1"},
        {R"(("(?:extraAuthorization)?[Tt]oken"):"[^"]+")", R"($1:"<token>")"},
        // The pairing QR code, drawn with half blocks in its own colours; its
        // size follows the link's length.
        {"^\x1b\\[38;5;16;48;5;231m(?:\u2588|\u2580|\u2584| )+\x1b\\[0m$", "<QR code>"},
        // Applications installed on the machine beside ours differ from
        // machine to machine: only ours are listed.
        {R"(\{"localizedName":"(?:[^"\\]|\\.)*","bundleIdentifier":"(?![a-z]+\.zentrabo\.)[^"]*"[^{}]*\},?)", ""},
        {R"(,\])", "]"},
        // Whether the DNS-SD daemon answers depends on where the test runs.
        {R"(^(advertised: ).*$)", "$1<advertisement>"},
        // The first check of the session's sound server (which answers) may
        // still run at the first status.
        {R"(^(sound: )checking$)", "$1available"},
    });
    return masks;
}

inline const std::vector<PatternMask>& masksAfterValues() {
    static const auto masks = patternMasks({
        {"[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}", "<uuid>"},
        {"[0-9a-f]{64}", "<fingerprint>"},
        {R"([0-9a-f]{6}\.\.\.[0-9a-f]{6})", "<short fingerprint>"},
    });
    return masks;
}

inline std::string applyPatterns(std::string line, const std::vector<PatternMask>& masks) {
    for (const auto& mask : masks) line = std::regex_replace(line, mask.pattern, mask.replacement);
    return line;
}

// Lines whose differences are marked in the style of a unified diff: each
// run of changed lines under "@@ -<expected line> +<actual line> @@".
inline std::string lineDifferences(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    const std::size_t rows = expected.size(), columns = actual.size();
    // common[i][j]: the longest common subsequence of the tails from i and j.
    std::vector<std::vector<std::size_t>> common(rows + 1, std::vector<std::size_t>(columns + 1, 0));
    for (std::size_t i = rows; i-- > 0;) {
        for (std::size_t j = columns; j-- > 0;) {
            common[i][j] =
                expected[i] == actual[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
        }
    }
    std::ostringstream text;
    std::size_t i = 0, j = 0;
    while (i < rows || j < columns) {
        if (i < rows && j < columns && expected[i] == actual[j]) {
            ++i, ++j;
            continue;
        }
        text << "@@ -" << i + 1 << " +" << j + 1 << " @@\n";
        while (i < rows || j < columns) {
            if (i < rows && j < columns && expected[i] == actual[j]) break;
            if (j == columns || (i < rows && common[i + 1][j] >= common[i][j + 1])) {
                text << "-" << expected[i++] << "\n";
            } else {
                text << "+" << actual[j++] << "\n";
            }
        }
    }
    return text.str();
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// A reply is whole once it holds a line, or, when it starts as a stream
// frame does, one whole frame.
inline bool holdsWholeReply(std::string_view bytes) {
    if (bytes.substr(0, 4) != "HVS1") return bytes.find('\n') != std::string_view::npos;
    if (bytes.size() < RemoteScreenStreamWire::headerLength) return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return bytes.size() >= RemoteScreenStreamWire::headerLength + platform::readUInt32({data, bytes.size()}, 8);
}

// A stream frame as a readable line; anything after it is counted.
inline std::string describeFrame(const std::string& bytes) {
    RemoteScreenStreamReceiveBuffer buffer;
    buffer.append({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    std::optional<RemoteScreenStreamFrame> frame;
    try {
        frame = RemoteScreenStreamWire::nextFrame(buffer);
    } catch (const RemoteScreenStreamWireError& error) {
        return std::string("unreadable frame: ") + error.what();
    }
    if (!frame) return "incomplete frame";
    std::ostringstream text;
    text << "frame kind " << rawValue(frame->kind)
         << (frame->kind == RemoteScreenStreamFrameKind::error ? " (error)" : "") << ", flags " << frame->flags
         << ", sequence " << frame->sequenceNumber << ", time " << frame->presentationTimeNanoseconds << ", duration "
         << frame->durationNanoseconds << ", text \"" << std::string(frame->payload.begin(), frame->payload.end())
         << "\"";
    if (!buffer.empty()) text << ", then more bytes";
    return text.str();
}

// A reply's screenshots as their type and size: the pictures themselves
// differ from run to run (the cursor, what the desktop shows at the time).
inline std::string withPictureSizes(std::string reply) {
    if (reply.find("\"screenshots\"") == std::string::npos) return reply;
    const auto response = decodeRecord<HalvardineResponse>(reply);
    if (!response.screenshots) return reply;
    constexpr std::string_view key = "\"data\":\"";
    std::size_t at = 0;
    for (const auto& screenshot : *response.screenshots) {
        at = reply.find(key, at);
        if (at == std::string::npos) break;
        at += key.size();
        const auto end = reply.find('"', at);
        std::string size = "unreadable";
        try {
            const auto picture = platform::decodeJpeg(screenshot.data);
            size = std::to_string(picture.width) + " x " + std::to_string(picture.height);
        } catch (const std::exception&) {
        }
        const std::string label = "<" + screenshot.contentType + " " + size + ">";
        reply.replace(at, end - at, label);
        at += label.size();
    }
    return reply;
}

}  // namespace golden

// The desktop a transcript runs on, and the applications it asks of it.
struct GoldenDesktop {
    std::vector<std::string> serverArguments;
    // Its expected file under tests/app/golden/, and the test that writes it.
    std::string expectedFile;
    std::string testFile;
    // An application whose menu item opens a dialog (the item's path as a
    // JSON array), and another one to bring forward after it.
    std::string documentApplication;
    std::string dialogMenuPath;
    std::string otherApplication;
};

template <typename Base>
class GoldenTranscriptOn : public BinaryServerTestOn<Base> {
protected:
    using Server = BinaryServerTestOn<Base>;
    using Server::home;
    using Server::port;
    using Server::process;
    using Server::serverFingerprint;
    using Server::terminalDeadline;

    static constexpr std::string_view mark = "--golden-transcript-mark--";

    explicit GoldenTranscriptOn(GoldenDesktop desktop) : desktop_(std::move(desktop)) {
        this->serverArguments = desktop_.serverArguments;
        transcript = {"# Golden transcript of " + desktop_.testFile,
                      "# terminal> typed, terminal< printed, device> request, device< reply,",
                      "# terminal: and device: what the test saw instead of an answer"};
    }

    void SetUp() override {
        makeFolder();
        if (this->HasFatalFailure()) return;
        Server::SetUp();
        if (this->HasFatalFailure() || this->IsSkipped()) return;
        chosen["<port>"] = std::to_string(port);
        chosen["<server fingerprint>"] = serverFingerprint;
        chosen["<server short fingerprint>"] = shortFingerprint(serverFingerprint);
        chosen["<device fingerprint>"] = phone.fingerprint();
        chosen["<device short fingerprint>"] = shortFingerprint(phone.fingerprint());
        chosen["<home>"] = home.path().string();
        // The start lines, as the harness read and checked them.
        record("terminal< ", "Zentrabo Server " + this->serverVersion);
        record("terminal< ", "Desktop: " + this->desktopDescription);
        record("terminal< ", "Listening on port " + std::to_string(port));
        record("terminal< ", "Server fingerprint: " + serverFingerprint);
    }

    // Waits until an application the transcript activated shows its window
    // in front, and names the values of this run that its replies show
    // (process ids and window numbers, as "label" to "value").
    virtual std::map<std::string, std::string> awaitApplication(const std::string&) { return {}; }

    // What an application's replies show of its process and window, as
    // awaitApplication names them: "<MenuApp pid>" for org.zentrabo.MenuApp.
    static std::map<std::string, std::string> applicationValues(const std::string& application, std::int64_t pid,
                                                                std::uint64_t window) {
        const std::string name = application.substr(application.rfind('.') + 1);
        return {{"\"pid\":<" + name + " pid>", "\"pid\":" + std::to_string(pid)},
                {"\"windowID\":<" + name + " window>", "\"windowID\":" + std::to_string(window)}};
    }

    static std::string shortFingerprint(const std::string& fingerprint) {
        return fingerprint.substr(0, 6) + "..." + fingerprint.substr(fingerprint.size() - 6);
    }

    // A folder of known names, sizes and times for the file requests.
    void makeFolder() {
        const auto folder = home.path() / "Golden";
        std::filesystem::create_directories(folder / "Notes");
        std::ofstream(folder / "alpha.txt") << "first file\n";
        std::ofstream(folder / "beta.md") << "# Second\n\nfile\n";
        std::ofstream(folder / ".hidden") << "not listed\n";
        // 2024-01-02 03:04:05 UTC; the folder last, as writing its children touches it.
        const timespec times[2] = {{1704164645, 0}, {1704164645, 0}};
        for (const char* name : {"alpha.txt", "beta.md", ".hidden", "Notes", ""}) {
            ASSERT_EQ(utimensat(AT_FDCWD, (folder / name).c_str(), times, 0), 0) << name;
        }
    }

    std::string mask(std::string line) const {
        line = golden::applyPatterns(std::move(line), golden::masksBeforeValues());
        for (const auto& [label, value] : chosen) line = golden::replaceValue(std::move(line), value, label);
        return golden::applyPatterns(std::move(line), golden::masksAfterValues());
    }

    // The code and nonce of a pairing window the terminal shows, and a code
    // that differs from it in every digit.
    void learnPairingValues(std::string_view line) {
        constexpr std::string_view codePrefix = "Pairing code: ";
        if (line.starts_with(codePrefix)) {
            const std::string code(line.substr(codePrefix.size()));
            std::string wrong = code;
            for (char& digit : wrong) digit = static_cast<char>('0' + (digit - '0' + 1) % 10);
            chosen["<code>"] = code;
            chosen["<wrong code>"] = wrong;
        }
        if (line.starts_with("Pairing link: ")) chosen["<nonce>"] = queryValue(line, "nonce").value_or("none");
    }

    // One line of the transcript: who wrote it and the line masked. A QR
    // code is one line however tall it is drawn.
    void record(std::string_view who, const std::string& line) {
        std::string entry = std::string(who) + mask(line);
        if (entry.ends_with("< <QR code>") && !transcript.empty() && transcript.back() == entry) return;
        transcript.push_back(std::move(entry));
    }

    // The request with the values this run chose put in for their labels.
    std::string fill(std::string text) const {
        for (const auto& [label, value] : chosen) {
            for (auto at = text.find(label); at != std::string::npos; at = text.find(label, at + value.size())) {
                text.replace(at, label.size(), value);
            }
        }
        return text;
    }

    // Types a command and records what it answers. The first line is awaited
    // (password operations print it once their key is derived); the lines
    // after it are those printed before the answer to an unknown command
    // typed next. Lines the command reads itself follow its first line, and
    // their operation's answer is awaited too.
    void type(std::string_view command, std::initializer_list<std::string_view> linesRead = {}) {
        const auto answer = [this] {
            const auto line = process->readLine(terminalDeadline);
            if (line) learnPairingValues(*line);
            record(line ? "terminal< " : "terminal: ", line.value_or("no answer in time"));
        };
        ASSERT_TRUE(process->writeLine(command));
        record("terminal> ", std::string(command));
        answer();
        for (const auto line : linesRead) {
            ASSERT_TRUE(process->writeLine(line));
            record("terminal> ", std::string(line));
        }
        if (linesRead.size() != 0) answer();
        ASSERT_TRUE(process->writeLine(mark));
        for (;;) {
            const auto line = process->readLine(terminalDeadline);
            if (!line) {
                record("terminal: ", "no answer in time");
                return;
            }
            if (line->find(mark) != std::string::npos) return;
            learnPairingValues(*line);
            record("terminal< ", *line);
        }
    }

    // Sends one request line and records the reply; returns the reply line.
    std::string request(const std::string& line) {
        const std::string sent = fill(line);
        record("device> ", sent);
        const auto received = phone.exchangeBytes(port, serverFingerprint, sent + "\n", golden::holdsWholeReply);
        if (!received) {
            record("device: ", "no whole reply in time");
            return {};
        }
        if (received->starts_with("HVS1")) {
            record("device< ", golden::describeFrame(*received));
            return {};
        }
        const std::string reply = received->substr(0, received->find('\n'));
        record("device< ", golden::withPictureSizes(reply));
        if (reply.size() + 1 != received->size()) record("device: ", "bytes after the reply line");
        return reply;
    }

    // Activates the application and waits until it is in front.
    void activate(const std::string& id, const std::string& requestID) {
        request(R"({"id":")" + requestID + R"(","action":"activate","clientProtocolVersion":22,)" +
                R"("bundleIdentifier":")" + id + R"("})");
        for (auto& [label, value] : awaitApplication(id)) chosen[label] = value;
    }

    void runTranscript() {
        type("help");
        type("status");
        type("devices");
        type("log");
        type("frobnicate now");

        // A stranger: refused, told of unknown actions, and answered even when
        // its line is not a request.
        request(R"({"id":"G-1","action":"ping","clientProtocolVersion":22})");
        request(R"({"id":"G-2","action":"PING","clientProtocolVersion":22})");
        request(R"({"id":"G-3","action":)");
        request(R"({"id":"G-4","action":"screenStream","clientProtocolVersion":0,"screenStream":{"mode":"display"}})");
        request(R"({"id":"G-5","action":"screenStream","clientProtocolVersion":22,"screenStream":{"mode":"display"}})");

        type("cancel");
        type("pair");
        request(R"({"id":"G-6","action":"pair","clientProtocolVersion":22,"pairingCode":"<wrong code>",)"
                R"("pairingNonce":"<nonce>","clientName":"Golden Phone"})");
        request(R"({"id":"G-7","action":"pair","clientProtocolVersion":22,"pairingCode":"<code>",)"
                R"("pairingNonce":"<nonce>","clientName":"Golden Phone"})");
        type("devices");

        // Paired: without a password nothing asks for one.
        request(R"({"id":"G-8","action":"ping","clientProtocolVersion":22})");
        request(R"({"id":"G-9","action":"extraAuthorizationStatus","clientProtocolVersion":22,)"
                R"("extraAuthorizationScope":"files"})");
        request(R"({"id":"G-10","action":"screenStream","clientProtocolVersion":22})");
        request(
            R"({"id":"G-11","action":"screenStream","clientProtocolVersion":22,"screenStream":{"mode":"applicationWindow"}})");

        // A password protects files and streams on local connections.
        type("password set secret");
        type("scopes local files,stream");
        type("unlock wrong");
        type("unlock secret");
        type("scopes local files,stream");
        request(R"({"id":"G-12","action":"extraAuthorizationStatus","clientProtocolVersion":22,)"
                R"("extraAuthorizationScope":"files"})");
        request(
            R"({"id":"G-13","action":"screenStream","clientProtocolVersion":22,"screenStream":{"mode":"display"}})");
        request(R"({"id":"G-14","action":"authorizeExtra","clientProtocolVersion":22,)"
                R"("extraAuthorizationScope":"files","extraAuthorizationPassword":"wrong"})");
        const std::string granted =
            request(R"({"id":"G-15","action":"authorizeExtra","clientProtocolVersion":22,)"
                    R"("extraAuthorizationScope":"files","extraAuthorizationPassword":"secret"})");
        ASSERT_FALSE(granted.empty());
        chosen["<token>"] = decodeRecord<HalvardineResponse>(granted).extraAuthorizationToken.value_or("none");
        request(R"({"id":"G-16","action":"extraAuthorizationStatus","clientProtocolVersion":22,)"
                R"("extraAuthorizationScope":"files","extraAuthorizationToken":"<token>"})");
        request(R"({"id":"G-17","action":"fileResource","clientProtocolVersion":22,"filePath":"~/Golden",)"
                R"("extraAuthorizationToken":"<token>"})");
        request(R"({"id":"G-18","action":"fileResource","clientProtocolVersion":22,"filePath":"~/Golden/alpha.txt",)"
                R"("extraAuthorizationToken":"<token>"})");

        // The desktop: its applications, one brought forward with its menus,
        // windows and a dialog, its displays and a picture of the main one.
        const std::string document = desktop_.documentApplication;
        request(R"({"id":"G-19","action":"applications","clientProtocolVersion":22})");
        activate(document, "G-20");
        request(R"({"id":"G-21","action":"menu","clientProtocolVersion":22})");
        request(R"({"id":"G-22","action":"applicationWindows","clientProtocolVersion":22,"bundleIdentifier":")" +
                document + R"("})");
        request(R"({"id":"G-23","action":"screenshotDisplays","clientProtocolVersion":22})");
        request(R"({"id":"G-24","action":"screenStreamPreviewScreenshot","clientProtocolVersion":22,)"
                R"("screenStream":{"mode":"display"},"extraAuthorizationToken":"<token>"})");
        request(R"({"id":"G-25","action":"run","clientProtocolVersion":22,"bundleIdentifier":")" + document +
                R"(","path":)" + desktop_.dialogMenuPath + "}");
        request(R"({"id":"G-26","action":"modalInfo","clientProtocolVersion":22,"bundleIdentifier":")" + document +
                R"("})");
        request(R"({"id":"G-27","action":"dismissModal","clientProtocolVersion":22,"bundleIdentifier":")" + document +
                R"("})");
        activate(desktop_.otherApplication, "G-28");
        request(R"({"id":"G-29","action":"applications","clientProtocolVersion":22})");

        type("devices");
        type("log");
        type("folder ~/Received");
        type("folder open");
        type("folder default");
        type("password change", {"secret", "better secret"});
        type("password remove better secret");
        type("status");
        ASSERT_TRUE(process->writeLine("quit"));
        record("terminal> ", "quit");
        while (const auto line = process->readLine(terminalDeadline)) record("terminal< ", *line);
        const auto status = process->waitForExit();
        record("terminal: ", status && WIFEXITED(*status) ? "exit status " + std::to_string(WEXITSTATUS(*status))
                                                          : std::string("no clean exit"));

        std::string text;
        for (const auto& line : transcript) text += line + "\n";
        const auto goldenFile = std::filesystem::path(ZENTRABO_SOURCE_DIR) / "tests/app/golden" / desktop_.expectedFile;
        if (std::getenv("ZENTRABO_UPDATE_GOLDEN") != nullptr) {
            std::ofstream(goldenFile, std::ios::binary | std::ios::trunc) << text;
            std::cout << "Rewrote " << goldenFile.string() << "\n";
            return;
        }
        const std::string expected = fileText(goldenFile);
        EXPECT_TRUE(expected == text) << "The transcript differs from " << goldenFile.string() << ":\n"
                                      << golden::lineDifferences(golden::splitLines(expected), transcript);
    }

    TestDevice phone;
    // Label and value of what this run chose: ports, fingerprints, codes, tokens.
    std::map<std::string, std::string> chosen;
    std::vector<std::string> transcript;

private:
    GoldenDesktop desktop_;
};

}  // namespace zentrabo::testing
