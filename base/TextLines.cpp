#include "base/TextLines.h"

#include <array>
#include <exception>

LineStatus GetBoundedLine(std::istream& in, std::string& line, size_t maxBytes) {
    line.clear();
    std::streambuf* buf = in.rdbuf();
    if (buf == nullptr || !in.good()) {
        in.setstate(std::ios::failbit);
        return LineStatus::kEnd;
    }
    bool any = false;
    while (true) {
        int ch = 0;
        try {
            ch = buf->sbumpc();
        } catch (const std::exception&) {
            // A file buffer throws when read() fails (a folder, /proc/self/mem):
            // a read error, reported by the caller through bad().
            in.setstate(std::ios::badbit);
            return LineStatus::kEnd;
        }
        if (ch == std::char_traits<char>::eof()) {
            in.setstate(any ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
            return any ? LineStatus::kLine : LineStatus::kEnd;
        }
        any = true;
        if (ch == '\n') {
            return LineStatus::kLine;
        }
        if (line.size() >= maxBytes) {
            in.setstate(std::ios::failbit);
            return LineStatus::kTooLong;
        }
        line.push_back(static_cast<char>(ch));
    }
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
