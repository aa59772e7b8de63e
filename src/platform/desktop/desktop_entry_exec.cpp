#include "platform/desktop/desktop_entry_exec.hpp"

namespace zentrabo::platform {

namespace {

// The string escaping of a value undone: \s \n \t \r \\ and %% as the
// field code of a plain %.
std::string unescapedValue(const std::string& value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            text += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        } else if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') {
            text += '%';
            ++i;
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace

std::string desktopEntryExecValue(const std::string& program, const std::vector<std::string>& arguments) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '%') {
            value += "%%";
        } else {
            value += c;
        }
    }
    for (const auto& argument : arguments) value += " " + argument;
    return value;
}

std::string desktopEntryExecProgram(const std::string& value) {
    const std::string text = unescapedValue(value);
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    if (text[start] != '"') return text.substr(start, text.find(' ', start) - start);
    std::string program;
    for (std::size_t i = start + 1; i < text.size(); ++i) {
        if (text[i] == '"') return program;
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        program += text[i];
    }
    // An opening quote without its closing one starts nothing.
    return "";
}

}  // namespace zentrabo::platform
