#pragma once
// The error of the whole streaming subsystem. Its text is what the device
// sees in an error frame and what the server logs.
#include <exception>
#include <string>

namespace zentrabo {

class RemoteScreenStreamServerError : public std::exception {
public:
    enum class Case {
        applicationWindowUnavailable,  // carries the application's name
        windowResizeUnavailable,       // carries the whole message
        captureFailed,                 // carries the detail
        encodingFailed,                // carries the detail
        screenRecordingMissing,
        displayUnavailable,
        frontmostWindowUnavailable,
    };

    static RemoteScreenStreamServerError applicationWindowUnavailable(std::string name);
    static RemoteScreenStreamServerError windowResizeUnavailable(std::string message);
    static RemoteScreenStreamServerError captureFailed(std::string detail);
    static RemoteScreenStreamServerError encodingFailed(std::string detail);
    static RemoteScreenStreamServerError screenRecordingMissing();
    static RemoteScreenStreamServerError displayUnavailable();
    static RemoteScreenStreamServerError frontmostWindowUnavailable();

    Case errorCase() const { return case_; }
    // The user-facing text.
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    RemoteScreenStreamServerError(Case errorCase, std::string message)
        : case_(errorCase), message_(std::move(message)) {}

    Case case_;
    std::string message_;
};

}  // namespace zentrabo
