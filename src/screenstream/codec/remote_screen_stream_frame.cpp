#include "screenstream/codec/remote_screen_stream_frame.hpp"

#include "screenstream/codec/remote_screen_stream_wire.hpp"

namespace zentrabo {

bool fromRawValue(std::uint16_t raw, RemoteScreenStreamFrameKind& kind) {
    if (raw < rawValue(RemoteScreenStreamFrameKind::configuration) ||
        raw > rawValue(RemoteScreenStreamFrameKind::headPose)) {
        return false;
    }
    kind = static_cast<RemoteScreenStreamFrameKind>(raw);
    return true;
}

std::vector<std::uint8_t> RemoteScreenStreamFrame::encoded() const { return RemoteScreenStreamWire::encode(*this); }

}  // namespace zentrabo
