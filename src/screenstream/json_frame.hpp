#pragma once
// A frame whose payload is a record's JSON form.
#include <string>

#include "model/json/model_record_json.hpp"
#include "screenstream/codec/remote_screen_stream_frame.hpp"

namespace zentrabo {

template <typename Record>
RemoteScreenStreamFrame jsonFrame(RemoteScreenStreamFrameKind kind, const Record& record) {
    RemoteScreenStreamFrame frame;
    frame.kind = kind;
    const std::string json = encodeRecord(record);
    frame.payload.assign(json.begin(), json.end());
    return frame;
}

}  // namespace zentrabo
