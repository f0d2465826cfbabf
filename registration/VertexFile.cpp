#include "registration/VertexFile.h"

#include "base/AtomicFile.h"
#include "base/Format.h"
#include "base/Messages.h"
#include "base/TextLines.h"

#include <charconv>
#include <cstdio>
#include <memory>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) {
        ++p;
    }
    return p;
}

// Reads one plain decimal number ([+-]digits[.digits][e[+-]digits]) that is
// followed by whitespace or the end. Anything else (hex, inf, nan, numbers
// run together, out of range) returns nullptr so that the caller falls back
// to sscanf itself.
const char* ReadPlainNumber(const char* p, const char* end, double& v) {
    const char* start = p;
    if (p < end && (*p == '+' || *p == '-')) {
        ++p;
    }
    const char* digits = p;
    size_t count = 0;
    while (p < end && IsDigit(*p)) {
        ++p;
    }
    count += static_cast<size_t>(p - digits);
    if (p < end && *p == '.') {
        const char* frac = ++p;
        while (p < end && IsDigit(*p)) {
            ++p;
        }
        count += static_cast<size_t>(p - frac);
    }
    if (count == 0) {
        return nullptr;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) {
            ++p;
        }
        const char* exp = p;
        while (p < end && IsDigit(*p)) {
            ++p;
        }
        if (p == exp) {
            return nullptr;
        }
    }
    if (p < end && !IsSpace(*p)) {
        return nullptr;
    }
    if (*start == '+') {
        ++start;
    }
    const auto r = std::from_chars(start, p, v);
    if (r.ec != std::errc() || r.ptr != p) {
        return nullptr;
    }
    return p;
}

} // namespace

bool IsVertexSaved(const VertexRecord& vertex) {
    const CPoint3D& p = vertex.m_ptPosition;
    const CPoint3D& e = vertex.m_ptError;
    return p.m_dX * p.m_dX + p.m_dY * p.m_dY + p.m_dZ * p.m_dZ < 22500.0 && e.m_dX < 10.0 &&
           e.m_dY < 10.0 && e.m_dZ < 10.0;
}

void AppendVertexLine(std::string& out, const CPoint3D& p) {
    AppendFixed(out, p.m_dX, 0, 6);
    out += '\t';
    AppendFixed(out, p.m_dY, 0, 6);
    out += '\t';
    AppendFixed(out, p.m_dZ, 0, 6);
    out += "\r\n";
}

std::string VertexFileBytes(const std::vector<VertexRecord>& vertices) {
    std::string out;
    for (const VertexRecord& v : vertices) {
        if (IsVertexSaved(v)) {
            AppendVertexLine(out, v.m_ptPosition);
        }
    }
    return out;
}

bool SaveVertexFile(const std::string& path, const std::vector<VertexRecord>& vertices) {
    std::string error;
    if (!WriteFileAtomically(path, VertexFileBytes(vertices), &error)) {
        ReportMessage(StrFormat("Unable to save %s: %s", path.c_str(), error.c_str()));
        return false;
    }
    return true;
}

namespace {

enum class VertexLine {
    kDecimal,       // three plain decimal numbers
    kOtherNotation, // a vertex by sscanf only: hexadecimal, inf, nan, out of range
    kNone,          // not a vertex line
};

VertexLine ReadVertexLine(std::string_view line, CPoint3D& p) {
    const char* cur = line.data();
    const char* end = cur + line.size();
    double v[3];
    bool plain = true;
    for (double& x : v) {
        cur = SkipSpace(cur, end);
        cur = ReadPlainNumber(cur, end, x);
        if (cur == nullptr) {
            plain = false;
            break;
        }
    }
    if (!plain) {
        const std::string text(line); // sscanf needs the terminator
        if (std::sscanf(text.c_str(), "%lf %lf %lf", &v[0], &v[1], &v[2]) != 3) {
            return VertexLine::kNone;
        }
    }
    p = {v[0], v[1], v[2]};
    return plain ? VertexLine::kDecimal : VertexLine::kOtherNotation;
}

} // namespace

bool ParseVertexLine(std::string_view line, CPoint3D& p) {
    return ReadVertexLine(line, p) != VertexLine::kNone;
}

std::vector<CPoint3D> ParseVertexText(std::string_view text) {
    std::vector<CPoint3D> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t eol = text.find('\n', start);
        if (eol == std::string_view::npos) {
            eol = text.size();
        }
        CPoint3D p;
        if (ParseVertexLine(text.substr(start, eol - start), p)) {
            out.push_back(p);
        }
        start = eol + 1;
    }
    return out;
}

std::optional<std::vector<CPoint3D>> ReadVertexFile(const std::string& path) {
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        ReportMessage("Unable to open " + path);
        return std::nullopt;
    }
    const TextFileResult text = ReadBoundedText(file.get(), path);
    if (!text.bOk) {
        // A folder opens but cannot be read.
        ReportMessage(text.sError.rfind("Unable to read", 0) == 0 ? "Unable to open " + path
                                                                  : text.sError);
        return std::nullopt;
    }
    // Every vertex line in decimals: a vertex in another notation (nan, inf,
    // hexadecimal) was not written by Ranvista and would only come out of a
    // registration as nan or as a number the writer did not mean.
    std::vector<CPoint3D> vertices;
    const std::string_view all = text.text;
    size_t lineNumber = 1;
    for (size_t start = 0; start < all.size(); ++lineNumber) {
        size_t eol = all.find('\n', start);
        if (eol == std::string_view::npos) {
            eol = all.size();
        }
        CPoint3D p;
        switch (ReadVertexLine(all.substr(start, eol - start), p)) {
        case VertexLine::kDecimal:
            vertices.push_back(p);
            break;
        case VertexLine::kOtherNotation:
            ReportMessage(StrFormat("Unable to use %s, line %zu: a vertex is three decimal "
                                    "numbers, not nan, inf or hexadecimal",
                                    path.c_str(), lineNumber));
            return std::nullopt;
        case VertexLine::kNone:
            break;
        }
        start = eol + 1;
    }
    return vertices;
}
