#pragma once
// A desktop that is a virtual desktop but for the session services a test
// names, so a controller runs on the real service while the model records
// the rest (the posted events, say).
#include "platform/desktop/desktop.hpp"

namespace zentrabo::testing {

class SessionServicesDesktop final : public platform::Desktop {
public:
    struct Services {
        platform::KeyboardLayoutPreferences* keyboardLayout = nullptr;
        platform::Pasteboard* pasteboard = nullptr;
    };
    SessionServicesDesktop(platform::Desktop& model, Services services) : model_(model), services_(services) {}

    platform::Workspace& workspace() override { return model_.workspace(); }
    platform::Accessibility& accessibility() override { return model_.accessibility(); }
    platform::WindowServer& windowServer() override { return model_.windowServer(); }
    platform::Displays& displays() override { return model_.displays(); }
    platform::ScreenCapture& screenCapture() override { return model_.screenCapture(); }
    platform::Pasteboard& pasteboard() override {
        return services_.pasteboard ? *services_.pasteboard : model_.pasteboard();
    }
    platform::KeyboardLayoutPreferences& keyboardLayout() override {
        return services_.keyboardLayout ? *services_.keyboardLayout : model_.keyboardLayout();
    }
    platform::EventPoster& eventPoster() override { return model_.eventPoster(); }
    platform::Clock& clock() override { return model_.clock(); }

private:
    platform::Desktop& model_;
    Services services_;
};

}  // namespace zentrabo::testing
