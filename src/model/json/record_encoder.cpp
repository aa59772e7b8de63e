#include "model/json/record_encoder.hpp"

namespace zentrabo::json_detail {

void throwTreeTooDeepToWrite() {
    throw platform::JsonWriteError("A tree of records is nested too deeply to be written.");
}

}  // namespace zentrabo::json_detail
