// A node's children in one piece of work on the accessibility thread.
#include <algorithm>
#include <variant>

#include "platform/desktop/atspi/atspi_tree.hpp"

namespace zentrabo::platform {

AXError AtspiTree::childElements(const AXElement& element, std::vector<AXElement>& children) {
    const auto [count, error] = childCount(element);
    if (error != axerror::success) return error;
    const auto perCall = timeout_;
    setTimeout(perCall * listingPieces(count));
    auto read = allChildren(element);
    setTimeout(perCall);
    if (!read) read = this->children(element, 0, count);
    if (read->error != axerror::success) return read->error;
    if (const auto* elements = read->value ? std::get_if<std::vector<AXElement>>(&*read->value) : nullptr) {
        children = *elements;
    }
    return axerror::success;
}

int AtspiTree::listingPieces(int count) { return std::max(1, (count + childrenPerCall - 1) / childrenPerCall); }

}  // namespace zentrabo::platform
