#include "cli/JsonWriter.h"

#include <charconv>
#include <cmath>

namespace {

// Length of the valid UTF-8 sequence starting at s[i] (a lead byte >= 0x80),
// or 0 when it is not one.
size_t Utf8Length(std::string_view s, size_t i) {
    const auto b = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + len > s.size() || b(i + 1) < lo || b(i + 1) > hi) {
        return 0;
    }
    for (size_t k = 2; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return len;
}

} // namespace

JsonWriter::JsonWriter(std::string& out) : m_sOut(out) {
    m_sOut += '{';
}

void JsonWriter::Key(std::string_view key) {
    if (!m_bFirst) {
        m_sOut += ',';
    }
    m_bFirst = false;
    AppendString(key);
    m_sOut += ':';
}

void JsonWriter::AppendNumber(double v) {
    if (std::isnan(v)) {
        m_sOut += "\"nan\"";
        return;
    }
    if (std::isinf(v)) {
        m_sOut += v > 0 ? "\"inf\"" : "\"-inf\"";
        return;
    }
    // The shortest text that reads back as v; a ".0" keeps whole numbers
    // floating-point for readers that tell the two apart.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    const std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
    m_sOut += text;
    if (text.find_first_of(".e") == std::string_view::npos) {
        m_sOut += ".0";
    }
}

void JsonWriter::AppendString(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    m_sOut += '"';
    size_t plain = 0; // start of the run not yet copied
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c != '"' && c != '\\' && c < 0x80) {
            continue;
        }
        m_sOut.append(s.data() + plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '"':
            m_sOut += "\\\"";
            break;
        case '\\':
            m_sOut += "\\\\";
            break;
        case '\n':
            m_sOut += "\\n";
            break;
        case '\r':
            m_sOut += "\\r";
            break;
        case '\t':
            m_sOut += "\\t";
            break;
        default:
            if (c < 0x20) {
                m_sOut += "\\u00";
                m_sOut += kHex[c >> 4];
                m_sOut += kHex[c & 15];
            } else {
                // Non-ASCII bytes: kept when they form valid UTF-8, replaced
                // by U+FFFD otherwise (as the other commands' output does).
                const size_t len = Utf8Length(s, i);
                if (len == 0) {
                    m_sOut += "\xEF\xBF\xBD";
                } else {
                    m_sOut.append(s.data() + i, len);
                    i += len - 1;
                    plain = i + 1;
                }
            }
        }
    }
    m_sOut.append(s.data() + plain, s.size() - plain);
    m_sOut += '"';
}

JsonWriter& JsonWriter::Null(std::string_view key) {
    Key(key);
    m_sOut += "null";
    return *this;
}

JsonWriter& JsonWriter::Bool(std::string_view key, bool v) {
    Key(key);
    m_sOut += v ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Int(std::string_view key, long long v) {
    Key(key);
    m_sOut += std::to_string(v);
    return *this;
}

JsonWriter& JsonWriter::Number(std::string_view key, double v) {
    Key(key);
    AppendNumber(v);
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view key, std::string_view v) {
    Key(key);
    AppendString(v);
    return *this;
}

JsonWriter& JsonWriter::Point(std::string_view key, const CPoint3D& p) {
    Key(key);
    m_sOut += '[';
    AppendNumber(p.m_dX);
    m_sOut += ',';
    AppendNumber(p.m_dY);
    m_sOut += ',';
    AppendNumber(p.m_dZ);
    m_sOut += ']';
    return *this;
}

JsonWriter& JsonWriter::Strings(std::string_view key, const std::vector<std::string>& v) {
    Key(key);
    m_sOut += '[';
    for (size_t i = 0; i < v.size(); ++i) {
        if (i > 0) {
            m_sOut += ',';
        }
        AppendString(v[i]);
    }
    m_sOut += ']';
    return *this;
}

JsonWriter& JsonWriter::BeginObject(std::string_view key) {
    Key(key);
    m_sOut += '{';
    m_bFirst = true;
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    m_sOut += '}';
    m_bFirst = false;
    return *this;
}

void JsonWriter::End() {
    m_sOut += '}';
}
