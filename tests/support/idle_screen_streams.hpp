#pragma once
// The screen streams of a test that starts no stream: a bare desktop behind
// them, the media start that ends every stream, no activity to mark.
#include <memory>
#include <string>

#include <asio/any_io_executor.hpp>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "screenstream/capture_start.hpp"
#include "server/streams/screen_streams.hpp"

namespace zentrabo::testing {

struct IdleScreenStreams {
    IdleScreenStreams(platform::Clock& clock, asio::any_io_executor mainLoop)
        : desktop(platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock)),
          streams({clock, std::move(mainLoop), *desktop, startCaptureMedia, [](const std::string&) {}}) {}

    std::shared_ptr<platform::VirtualDesktop> desktop;
    ScreenStreams streams;
};

}  // namespace zentrabo::testing
