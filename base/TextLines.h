// Reading text files line by line with a bound on the length of a line, so
// that a file without line ends (/dev/zero, a binary file chosen by mistake)
// is refused instead of filling memory.
#pragma once

#include <cstdio>
#include <istream>
#include <string>
#include <string_view>

// The longest line the text readers accept, line end excluded.
inline constexpr size_t kMaxLineBytes = 64 * 1024;

enum class LineStatus {
    kLine,    // a line was read (its "\n" removed)
    kEnd,     // no more lines
    kTooLong, // the line is longer than the limit; reading should stop
};

// std::getline with a bound: reads the next line into line, at most
// maxBytes bytes of it.
LineStatus GetBoundedLine(std::istream& in, std::string& line, size_t maxBytes = kMaxLineBytes);

// "<file>, line <n>: the line is longer than 65536 bytes (not a text file?)".
std::string LineTooLongMessage(const std::string& file, size_t lineNumber,
                               size_t maxBytes = kMaxLineBytes);

// Removes a UTF-8 byte-order mark from the start of the first line.
void SkipByteOrderMark(std::string& firstLine);

struct TextFileResult {
    bool bOk = false;
    std::string text;
    std::string sError; // when not ok: a read error or a line over the limit
};

// The whole content of an open file whose lines are all within the limit.
// name stands for the file in the error.
TextFileResult ReadBoundedText(std::FILE* file, const std::string& name,
                               size_t maxLineBytes = kMaxLineBytes);
