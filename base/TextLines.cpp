#include "base/TextLines.h"

#include <array>
#include <exception>

LineStatus GetBoundedLine(std::istream& in, std::string& line, size_t maxBytes) {
    line.clear();
    if (in.rdbuf() == nullptr || !in.good()) {
        in.setstate(std::ios::failbit);
        return LineStatus::kEnd;
    }
    // istream::getline finds the line end in the stream's buffer a block at
    // a time; one byte more than the bound tells a line that fills it from
    // one that goes on. A read error (a folder, /proc/self/mem) sets badbit
    // for the caller.
    thread_local std::string buffer;
    if (buffer.size() < maxBytes + 1) {
        buffer.resize(maxBytes + 1);
    }
    in.getline(buffer.data(), static_cast<std::streamsize>(maxBytes + 1));
    const auto count = static_cast<size_t>(in.gcount());
    if (in.bad() || count == 0) {
        return LineStatus::kEnd;
    }
    if (in.fail() && !in.eof()) {
        return LineStatus::kTooLong; // maxBytes read and no line end yet
    }
    // The line end, when there was one, is counted but not stored.
    line.assign(buffer.data(), in.eof() ? count : count - 1);
    return LineStatus::kLine;
}

std::string LineTooLongMessage(const std::string& file, size_t lineNumber, size_t maxBytes) {
    return file + ", line " + std::to_string(lineNumber) + ": the line is longer than " +
           std::to_string(maxBytes) + " bytes (not a text file?)";
}

void SkipByteOrderMark(std::string& firstLine) {
    if (firstLine.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        firstLine.erase(0, 3);
    }
}

TextFileResult ReadBoundedText(std::FILE* file, const std::string& name, size_t maxLineBytes) {
    TextFileResult result;
    std::array<char, 1 << 16> buf{};
    size_t lineLength = 0;
    size_t lineNumber = 1;
    size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), file)) > 0) {
        for (size_t i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                lineLength = 0;
                ++lineNumber;
            } else if (++lineLength > maxLineBytes) {
                result.sError = LineTooLongMessage(name, lineNumber, maxLineBytes);
                return result;
            }
        }
        result.text.append(buf.data(), n);
    }
    if (std::ferror(file) != 0) {
        result.sError = "Unable to read " + name;
        return result;
    }
    result.bOk = true;
    return result;
}
