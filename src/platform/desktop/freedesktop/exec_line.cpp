#include "platform/desktop/freedesktop/exec_line.hpp"

#include <cctype>
#include <string_view>

#include "platform/text/file_url.hpp"

namespace zentrabo::platform {

namespace {

// One argument of the line: literal text and field codes in order.
struct Piece {
    std::string text;
    char code = 0;
};
using Argument = std::vector<Piece>;

std::optional<std::vector<Argument>> splitExec(const std::string& line) {
    std::vector<Argument> arguments;
    Argument current;
    bool started = false, quoted = false;
    const auto finish = [&] {
        if (started) arguments.push_back(std::move(current));
        current.clear();
        started = false;
    };
    const auto literal = [&](char c) {
        if (current.empty() || current.back().code) current.push_back({});
        current.back().text += c;
        started = true;
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '%') {
            if (i + 1 == line.size()) return std::nullopt;
            const char code = line[++i];
            if (code == '%') {
                literal('%');
            } else {
                current.push_back({{}, code});
                started = true;
            }
        } else if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < line.size() &&
                       std::string_view("\"`$\\").find(line[i + 1]) != std::string_view::npos) {
                literal(line[++i]);
            } else {
                literal(c);
            }
        } else if (c == '"') {
            quoted = true;
            started = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            finish();
        } else {
            literal(c);
        }
    }
    if (quoted) return std::nullopt;
    finish();
    return arguments;
}

// A path as a "file:" URL: letters, digits, "-._~/" stay, every other byte
// is "%XX".
std::string fileURL(const std::string& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::string_view("-._~/").find(c) != std::string_view::npos) {
            url += c;
        } else {
            url += '%';
            url += hex[byte >> 4];
            url += hex[byte & 15];
        }
    }
    return url;
}

bool isKnownCode(char code) { return std::string_view("fFuUickdDnNvm").find(code) != std::string_view::npos; }
bool isDeprecatedCode(char code) { return std::string_view("dDnNvm").find(code) != std::string_view::npos; }
bool takesFiles(char code) { return code == 'f' || code == 'F'; }
bool takesURLs(char code) { return code == 'u' || code == 'U'; }

// The target as the code wants it: a path for %f and %F (none for a URL
// that names no local file), a URL for %u and %U.
std::optional<std::string> targetText(const LaunchTarget& target, char code) {
    if (takesURLs(code)) return targetURL(target);
    if (target.isFile) return target.text;
    return filePathFromFileURL(target.text);
}

}  // namespace

std::string targetURL(const LaunchTarget& target) { return target.isFile ? fileURL(target.text) : target.text; }

std::optional<std::vector<std::string>> execArguments(const DesktopEntry& entry,
                                                      const std::vector<LaunchTarget>& targets) {
    const auto arguments = splitExec(entry.exec);
    if (!arguments || arguments->empty()) return std::nullopt;
    bool takesTargets = false;
    for (const auto& argument : *arguments) {
        for (const auto& piece : argument) {
            if (piece.code && !isKnownCode(piece.code)) return std::nullopt;
            takesTargets = takesTargets || takesFiles(piece.code) || takesURLs(piece.code);
        }
    }
    if (!targets.empty() && !takesTargets) return std::nullopt;

    std::vector<std::string> argv;
    for (const auto& argument : *arguments) {
        // A code alone in its argument may stand for no argument or several.
        if (argument.size() == 1 && argument[0].code) {
            const char code = argument[0].code;
            if (takesFiles(code) || takesURLs(code)) {
                const std::size_t count =
                    (code == 'F' || code == 'U') ? targets.size() : std::min<std::size_t>(1, targets.size());
                for (std::size_t i = 0; i < count; ++i) {
                    auto text = targetText(targets[i], code);
                    if (!text) return std::nullopt;
                    argv.push_back(std::move(*text));
                }
                continue;
            }
            if (code == 'i') {
                if (!entry.icon.empty()) argv.insert(argv.end(), {"--icon", entry.icon});
                continue;
            }
            if (isDeprecatedCode(code)) continue;
        }
        std::string text;
        for (const auto& piece : argument) {
            if (!piece.code) {
                text += piece.text;
            } else if (piece.code == 'c') {
                text += entry.name;
            } else if (piece.code == 'k') {
                text += entry.path.string();
            } else if (piece.code == 'i') {
                text += entry.icon;
            } else if ((takesFiles(piece.code) || takesURLs(piece.code)) && !targets.empty()) {
                auto target = targetText(targets.front(), piece.code);
                if (!target) return std::nullopt;
                text += *target;
            }
        }
        argv.push_back(std::move(text));
    }
    if (argv.empty() || argv.front().empty()) return std::nullopt;
    return argv;
}

}  // namespace zentrabo::platform
