#pragma once
// Splits a byte stream into lines of bounded length: a line longer than the
// bound is dropped whole rather than buffered without bound. Standard input
// and every attached console read their commands through it.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo {

class BoundedLines {
public:
    // A complete line without its line feed, or none for a line that was too long.
    using Line = std::optional<std::string>;

    explicit BoundedLines(std::size_t maximumLength) : maximumLength_(maximumLength) {}

    // Hands each line the bytes complete to onLine (bool(Line)); stops early
    // when onLine returns false. Bytes of an unfinished line are kept.
    template <typename OnLine>
    bool feed(std::string_view bytes, OnLine&& onLine) {
        for (const char byte : bytes) {
            if (byte != '\n') {
                if (line_.size() < maximumLength_)
                    line_.push_back(byte);
                else
                    isTooLong_ = true;
                continue;
            }
            if (!onLine(take())) return false;
        }
        return true;
    }

    // At the end of input: a last line without its line feed still counts.
    std::optional<Line> finish() {
        if (line_.empty() && !isTooLong_) return std::nullopt;
        return take();
    }

private:
    Line take();

    std::size_t maximumLength_;
    std::string line_;
    bool isTooLong_ = false;
};

// What a front answers to a line that was too long: "Line ignored: longer
// than 4096 bytes."
std::string ignoredLineText(std::size_t maximumLength);

}  // namespace zentrabo
