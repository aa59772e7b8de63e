#pragma once
// Synthesized input on an X11 session, until it posts through XTest: no event
// can be created, so nothing is posted.
#include "platform/desktop/event_poster.hpp"

namespace zentrabo::platform {

class X11EventPoster final : public EventPoster {
public:
    bool post(const InputEvent&) override { return false; }
};

}  // namespace zentrabo::platform
