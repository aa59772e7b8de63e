// A display screenshot of the X11 session of $DISPLAY (given a desktop-like
// background first) through a request, as
// a paired device asks it of the server binary (--desktop x11) over TLS,
// beside its reference: a bare XShm grab of the same screen compressed by
// libjpeg-turbo with the same settings (4:2:0, quality 90, accurate DCT) in
// this warm process, plus one TLS "ping" of the same device. The aim: the
// request's p50 at most 1.5 times the reference's.
#include <sys/ipc.h>
#include <sys/shm.h>
#include <turbojpeg.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "drawn_to_frame.hpp"
#include "given_x_display.hpp"
#include "paired_server.hpp"
#include "screen_like_x11_background.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/halvardine_response.hpp"
#include "model/records/workflow_step.hpp"
#include "support/device_request.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int rounds = 30;
constexpr int jpegQuality = 90;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Grabs the root window through a shared-memory segment, made once, and
// compresses it, as a program built for nothing else would.
class BareGrabAndCompress {
public:
    explicit BareGrabAndCompress(const char* display) : connection_(xcb_connect(display, nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        root_ = screen->root;
        width_ = screen->width_in_pixels;
        height_ = screen->height_in_pixels;
        segmentId_ = shmget(IPC_PRIVATE, std::size_t{width_} * height_ * 4, IPC_CREAT | 0600);
        if (segmentId_ < 0) return;
        pixels_ = static_cast<std::uint8_t*>(shmat(segmentId_, nullptr, 0));
        shmctl(segmentId_, IPC_RMID, nullptr);
        segment_ = xcb_generate_id(connection_);
        free(xcb_request_check(connection_, xcb_shm_attach_checked(connection_, segment_, segmentId_, 0)));
    }
    ~BareGrabAndCompress() {
        if (pixels_ != nullptr) shmdt(pixels_);
        tjDestroy(compressor_);
        xcb_disconnect(connection_);
    }
    BareGrabAndCompress(const BareGrabAndCompress&) = delete;
    BareGrabAndCompress& operator=(const BareGrabAndCompress&) = delete;

    // The JPEG's size; none when the grab failed.
    std::optional<unsigned long> run() {
        if (pixels_ == nullptr) return std::nullopt;
        auto* reply = xcb_shm_get_image_reply(
            connection_,
            xcb_shm_get_image(connection_, root_, 0, 0, width_, height_, ~0U, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
            nullptr);
        if (reply == nullptr) return std::nullopt;
        free(reply);
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        const int failed = tjCompress2(compressor_, pixels_, width_, 0, height_, TJPF_BGRX, &jpeg, &size, TJSAMP_420,
                                       jpegQuality, TJFLAG_ACCURATEDCT);
        tjFree(jpeg);
        if (failed != 0) return std::nullopt;
        return size;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    std::uint16_t width_ = 0;
    std::uint16_t height_ = 0;
    int segmentId_ = -1;
    std::uint8_t* pixels_ = nullptr;
    xcb_shm_seg_t segment_ = 0;
    tjhandle compressor_ = tjInitCompress();
};

std::string screenshotLine(int index) {
    MenuWorkflowStep step;
    step.id = "step";
    step.kind = "displayScreenshot";
    step.title = "Screenshot";
    step.delayAfter = 0;
    auto request = testing::deviceRequest("S-" + std::to_string(index), "workflow");
    request.workflowSteps = std::vector{step};
    return encodeRecord(request) + "\n";
}

bool answeredOk(const std::optional<std::string>& reply) {
    return reply && decodeRecord<HalvardineResponse>(std::string_view(*reply).substr(0, reply->find('\n'))).ok;
}

}  // namespace
}  // namespace zentrabo

int main() {
    using namespace zentrabo;
    const char* display = bench::givenXDisplay("screenshot request");
    if (display == nullptr) return 0;
    const bench::ScreenLikeX11Background background(display);
    testing::TemporaryHome home;
    testing::ServerProcess server({"--desktop", "x11"});
    const testing::TestDevice phone;
    const auto start = bench::pairWith(server, phone);
    if (!start) {
        std::printf("screenshot request: the server did not start or pairing failed\n");
        return 1;
    }
    BareGrabAndCompress bare(display);
    const std::string ping = encodeRecord(testing::deviceRequest("P", "ping")) + "\n";
    std::vector<double> requests, pings, grabs;
    // The first round of each warms its caches and is not counted.
    for (int round = 0; round <= rounds; ++round) {
        auto began = Clock::now();
        if (!answeredOk(phone.exchangeLine(start->port, start->fingerprint, screenshotLine(round)))) {
            std::printf("screenshot request: the request failed\n");
            return 1;
        }
        const double request = millisecondsSince(began);
        began = Clock::now();
        if (!answeredOk(phone.exchangeLine(start->port, start->fingerprint, ping))) {
            std::printf("screenshot request: the ping failed\n");
            return 1;
        }
        const double pinged = millisecondsSince(began);
        began = Clock::now();
        if (!bare.run()) {
            std::printf("screenshot request: the bare XShm grab failed\n");
            return 1;
        }
        const double grabbed = millisecondsSince(began);
        if (round == 0) continue;
        requests.push_back(request);
        pings.push_back(pinged);
        grabs.push_back(grabbed);
    }
    const double request = bench::percentileOf(requests, 0.5);
    const double reference = bench::percentileOf(grabs, 0.5) + bench::percentileOf(pings, 0.5);
    std::printf(
        "display screenshot of %s, %d rounds, p50: request %.1f ms; XShm grab and compress %.1f ms + ping %.1f ms; "
        "request / (grab and compress + ping) %.2f (aim: at most 1.5)\n",
        display, rounds, request, bench::percentileOf(grabs, 0.5), bench::percentileOf(pings, 0.5),
        request / reference);
    return 0;
}
