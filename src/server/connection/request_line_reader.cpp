#include "server/connection/request_line_reader.hpp"

#include <algorithm>
#include <string_view>

namespace zentrabo {

RequestLineReader::RequestLineReader(std::size_t lineLimit, std::shared_ptr<RequestLineBudget> budget)
    : lineLimit_(lineLimit), line_{{}, RequestLineShare(std::move(budget)), std::nullopt} {}

std::span<char> RequestLineReader::room(std::size_t chunkSize) {
    return line_.bytes.room(std::min(chunkSize, lineLimit_ + 1 - line_.bytes.size()));
}

RequestLineReader::Progress RequestLineReader::commit(std::size_t count) {
    if (!line_.share.grow(count)) return Progress::tooLarge;
    const std::size_t searchFrom = line_.bytes.size();
    line_.bytes.commit(count);
    const std::size_t lineEnd = line_.bytes.text().find('\n', searchFrom);
    if (lineEnd != std::string_view::npos) {
        const std::string_view rest = line_.bytes.text().substr(lineEnd + 1);
        line_.bytesAfterLine.assign(rest.begin(), rest.end());
        line_.bytes.truncate(lineEnd);
        return Progress::complete;
    }
    return line_.bytes.size() > lineLimit_ ? Progress::tooLarge : Progress::reading;
}

}  // namespace zentrabo
