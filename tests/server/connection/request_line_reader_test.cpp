// The first line of a connection gathered from reads of any size, against
// its own cap and the budget that all lines share.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "server/connection/request_line_reader.hpp"

namespace zentrabo {
namespace {

using Progress = RequestLineReader::Progress;
using namespace std::string_view_literals;

// Delivers bytes as one read into the reader's room, as the connection does.
Progress deliver(RequestLineReader& reader, std::string_view bytes, std::size_t chunkSize = 16384) {
    const auto room = reader.room(chunkSize);
    EXPECT_GE(room.size(), bytes.size());
    std::copy(bytes.begin(), bytes.end(), room.begin());
    return reader.commit(bytes.size());
}

std::string afterLine(const RequestLine& line) { return {line.bytesAfterLine.begin(), line.bytesAfterLine.end()}; }

TEST(RequestLineReaderTest, GathersALineSplitOverReadsAndKeepsWhatFollowsIt) {
    RequestLineReader reader(1024, std::make_shared<RequestLineBudget>(4096));
    EXPECT_EQ(deliver(reader, "{\"id\":"), Progress::reading);
    EXPECT_EQ(deliver(reader, "\"1\"}"), Progress::reading);
    // What follows the line feed is a stream's first bytes, zeros included.
    EXPECT_EQ(deliver(reader, "\n\0\x01stream"sv, 1024), Progress::complete);
    EXPECT_EQ(reader.line().bytes.text(), "{\"id\":\"1\"}");
    EXPECT_EQ(afterLine(reader.line()), "\0\x01stream"sv);

    RequestLineReader empty(1024, std::make_shared<RequestLineBudget>(4096));
    EXPECT_EQ(deliver(empty, "\n"), Progress::complete);
    EXPECT_EQ(empty.line().bytes.text(), "");
}

TEST(RequestLineReaderTest, TheCapAllowsALineOfExactlyItsLengthAndOffersOneByteMore) {
    RequestLineReader reader(8, std::make_shared<RequestLineBudget>(4096));
    EXPECT_EQ(reader.room(100).size(), 9u);
    EXPECT_EQ(deliver(reader, "12345678\n"), Progress::complete);
    EXPECT_EQ(reader.line().bytes.text(), "12345678");

    RequestLineReader longer(8, std::make_shared<RequestLineBudget>(4096));
    EXPECT_EQ(deliver(longer, "1234"), Progress::reading);
    EXPECT_EQ(longer.room(100).size(), 5u);
    EXPECT_EQ(deliver(longer, "56789"), Progress::tooLarge);
}

TEST(RequestLineReaderTest, LinesShareOneBudgetAndGiveTheirBytesBackWhenTheyGo) {
    const auto budget = std::make_shared<RequestLineBudget>(10);
    auto first = std::make_unique<RequestLineReader>(100, budget);
    RequestLineReader second(100, budget);
    EXPECT_EQ(deliver(*first, "123456"), Progress::reading);
    EXPECT_EQ(deliver(second, "12345"), Progress::tooLarge);  // 11 bytes held at once

    first.reset();
    RequestLineReader third(100, budget);
    EXPECT_EQ(deliver(third, "123456789\n"), Progress::complete);
    // The complete line still holds its share until it goes.
    EXPECT_FALSE(budget->claim(1));
}

}  // namespace
}  // namespace zentrabo
