// Bounded line reading: where lines end, the bound itself, and a file that
// ends without a line end.
#include "base/TextLines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

struct Read {
    std::vector<std::string> lines;
    LineStatus last = LineStatus::kEnd;
};

Read ReadAll(const std::string& text, size_t maxBytes) {
    std::istringstream in(text);
    Read r;
    std::string line;
    while ((r.last = GetBoundedLine(in, line, maxBytes)) == LineStatus::kLine) {
        r.lines.push_back(line);
    }
    return r;
}

} // namespace

TEST(TextLines, LinesUpToTheBoundAreReadWholeAndALongerOneStopsReading) {
    const std::string nul("a\0b", 3);
    const Read plain = ReadAll("one\n\ntwo\r\n" + nul + "\nlast", 8);
    EXPECT_EQ(plain.lines, (std::vector<std::string>{"one", "", "two\r", nul, "last"}));
    EXPECT_EQ(plain.last, LineStatus::kEnd);

    // Exactly the bound, with and without a line end after it.
    EXPECT_EQ(ReadAll("12345678\nx\n", 8).lines, (std::vector<std::string>{"12345678", "x"}));
    EXPECT_EQ(ReadAll("12345678", 8).lines, std::vector<std::string>{"12345678"});
    const Read over = ReadAll("ok\n123456789\nnever\n", 8);
    EXPECT_EQ(over.lines, std::vector<std::string>{"ok"});
    EXPECT_EQ(over.last, LineStatus::kTooLong);
    EXPECT_TRUE(ReadAll("", 8).lines.empty());
}
