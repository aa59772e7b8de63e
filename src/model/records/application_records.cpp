#include "model/records/application_records.hpp"

namespace zentrabo {

const std::string& RemoteModalInfo::displayTitle() const {
    if (title && !title->empty()) return *title;
    if (message && !message->empty()) return *message;
    return role;
}

}  // namespace zentrabo
