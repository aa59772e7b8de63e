#include "platform/json/record_encoder.hpp"

namespace zentrabo::platform::json_detail {

void throwTreeTooDeepToWrite() { throw JsonWriteError("A tree of records is nested too deeply to be written."); }

}  // namespace zentrabo::platform::json_detail
