#include "products/ProductLabel.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kMaxListDepth = 16;
constexpr int kMaxBlockDepth = 64;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view LastName(std::string_view group) {
    const size_t dot = group.rfind('.');
    return dot == std::string_view::npos ? group : group.substr(dot + 1);
}

std::optional<double> ParseReal(std::string_view s) {
    if (s.empty()) {
        return std::nullopt;
    }
    // strtod accepts "3." and exponents; reject hex, inf and nan, which
    // labels never mean.
    for (const char ch : s) {
        if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '+' || ch == '-' || ch == '.' ||
              ch == 'e' || ch == 'E')) {
            return std::nullopt;
        }
    }
    const std::string copy(s);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

// "base#digits#" with base 2..16.
std::optional<double> ParseBased(std::string_view s) {
    const size_t h1 = s.find('#');
    if (h1 == std::string_view::npos || s.size() < h1 + 3 || s.back() != '#') {
        return std::nullopt;
    }
    int sign = 1;
    std::string_view baseText = s.substr(0, h1);
    if (!baseText.empty() && (baseText[0] == '-' || baseText[0] == '+')) {
        sign = baseText[0] == '-' ? -1 : 1;
        baseText.remove_prefix(1);
    }
    int base = 0;
    const auto [p, ec] = std::from_chars(baseText.data(), baseText.data() + baseText.size(), base);
    if (ec != std::errc() || p != baseText.data() + baseText.size() || base < 2 || base > 16) {
        return std::nullopt;
    }
    const std::string_view digits = s.substr(h1 + 1, s.size() - h1 - 2);
    if (digits.empty() || digits.size() > 64) {
        return std::nullopt;
    }
    double v = 0.0;
    for (const char ch : digits) {
        int d = 0;
        if (ch >= '0' && ch <= '9') {
            d = ch - '0';
        } else if (ch >= 'A' && ch <= 'F') {
            d = ch - 'A' + 10;
        } else if (ch >= 'a' && ch <= 'f') {
            d = ch - 'a' + 10;
        } else {
            return std::nullopt;
        }
        if (d >= base) {
            return std::nullopt;
        }
        v = v * base + d;
    }
    return sign * v;
}

// ---------------------------------------------------------------- ODL

class OdlParser {
public:
    explicit OdlParser(std::string_view text) : m_text(text) {}

    LabelParseResult Run() {
        LabelParseResult r;
        std::vector<std::string> blocks;
        while (true) {
            SkipBlank();
            if (AtEnd()) {
                if (!blocks.empty()) {
                    return Fail(r, "the label ends inside " + blocks.back() + " (no END_" +
                                       std::string(m_blockKinds.back()) + ")");
                }
                r.ok = true;
                r.endOffset = m_pos;
                return r;
            }
            const size_t keyStart = m_pos;
            std::string key = ReadKey();
            if (key.empty()) {
                return Fail(r, "a keyword was expected, found '" + Snippet(keyStart) + "'");
            }
            SkipSpacesOnLine();
            const bool hasEquals = !AtEnd() && m_text[m_pos] == '=';
            if (key == "END" && !hasEquals) {
                SkipRestOfLine();
                if (!blocks.empty()) {
                    return Fail(r, "END inside " + blocks.back());
                }
                r.ok = true;
                r.ended = true;
                r.endOffset = m_pos;
                return r;
            }
            if (key == "END_OBJECT" || key == "END_GROUP") {
                if (blocks.empty()) {
                    return Fail(r, key + " without an open block");
                }
                if (hasEquals) { // the closing name is optional
                    ++m_pos;
                    SkipSpacesOnLine();
                    const std::string name = UpperAscii(ReadBare());
                    if (!name.empty() && name != LastName(blocks.back())) {
                        return Fail(r, key + " = " + name + " closes " +
                                           std::string(LastName(blocks.back())));
                    }
                }
                blocks.pop_back();
                m_blockKinds.pop_back();
                continue;
            }
            if (!hasEquals) {
                return Fail(r, "'=' expected after " + key);
            }
            ++m_pos;
            LabelValue value;
            std::string error;
            if (!ReadValue(value, 0, error)) {
                return Fail(r, error + " in the value of " + key);
            }
            if (key == "OBJECT" || key == "GROUP") {
                if (value.kind != LabelValue::Kind::Scalar || value.text.empty()) {
                    return Fail(r, key + " needs a name");
                }
                if (blocks.size() >= kMaxBlockDepth) {
                    return Fail(r, "blocks nested too deep");
                }
                const std::string name = UpperAscii(value.text);
                if ((blocks.empty() ? 0 : blocks.back().size() + 1) + name.size() >
                    kMaxLabelGroupBytes) {
                    return Fail(r, "block names longer than " +
                                       std::to_string(kMaxLabelGroupBytes) + " bytes");
                }
                blocks.push_back(blocks.empty() ? name : blocks.back() + "." + name);
                m_blockKinds.push_back(key == "OBJECT" ? "OBJECT" : "GROUP");
                continue;
            }
            if (r.label.Items().size() >= kMaxLabelItems) {
                return Fail(r, "more than " + std::to_string(kMaxLabelItems) +
                                   " items, more than any product label holds");
            }
            r.label.Add(blocks.empty() ? std::string() : blocks.back(), std::move(key),
                        std::move(value));
        }
    }

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }

    LabelParseResult& Fail(LabelParseResult& r, const std::string& what) const {
        r.ok = false;
        r.message = "line " + std::to_string(LineOf(m_pos)) + ": " + what;
        return r;
    }

    size_t LineOf(size_t pos) const {
        pos = std::min(pos, m_text.size());
        return 1 + static_cast<size_t>(std::count(m_text.begin(), m_text.begin() + pos, '\n'));
    }

    std::string Snippet(size_t pos) const {
        std::string s;
        for (size_t i = pos; i < m_text.size() && s.size() < 20; ++i) {
            const char ch = m_text[i];
            if (ch == '\n' || ch == '\r') {
                break;
            }
            s += std::isprint(static_cast<unsigned char>(ch)) ? ch : '?';
        }
        return s;
    }

    // Whitespace, line ends and comments.
    void SkipBlank() {
        while (!AtEnd()) {
            const char ch = m_text[m_pos];
            if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v') {
                ++m_pos;
            } else if (ch == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '*') {
                const size_t close = m_text.find("*/", m_pos + 2);
                m_pos = close == std::string_view::npos ? m_text.size() : close + 2;
            } else {
                break;
            }
        }
    }

    void SkipSpacesOnLine() {
        while (!AtEnd() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }

    void SkipRestOfLine() {
        const size_t nl = m_text.find('\n', m_pos);
        m_pos = nl == std::string_view::npos ? m_text.size() : nl + 1;
    }

    static bool IsKeyChar(char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == ':' || ch == '^';
    }

    std::string ReadKey() {
        const size_t start = m_pos;
        while (!AtEnd() && IsKeyChar(m_text[m_pos])) {
            ++m_pos;
        }
        return UpperAscii(m_text.substr(start, m_pos - start));
    }

    // An unquoted scalar: up to white space or a delimiter.
    std::string ReadBare() {
        const size_t start = m_pos;
        while (!AtEnd()) {
            const char ch = m_text[m_pos];
            if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == ',' || ch == ')' ||
                ch == '}' || ch == '(' || ch == '{' || ch == '<' || ch == '"' || ch == '=' ||
                (ch == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '*')) {
                break;
            }
            ++m_pos;
        }
        return std::string(m_text.substr(start, m_pos - start));
    }

    bool ReadQuoted(char quote, std::string& out, std::string& error) {
        const size_t close = m_text.find(quote, m_pos + 1);
        if (close == std::string_view::npos) {
            error = std::string("unterminated ") + (quote == '"' ? "quoted text" : "symbol");
            return false;
        }
        // Fold each line break and the indentation around it into one space.
        const std::string_view raw = m_text.substr(m_pos + 1, close - m_pos - 1);
        out.clear();
        size_t i = 0;
        while (i < raw.size()) {
            if (raw[i] == '\r' || raw[i] == '\n') {
                while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) {
                    out.pop_back();
                }
                while (i < raw.size() &&
                       (raw[i] == '\r' || raw[i] == '\n' || raw[i] == ' ' || raw[i] == '\t')) {
                    ++i;
                }
                if (!out.empty() && i < raw.size() && raw[i] != ',') {
                    out += ' ';
                }
                continue;
            }
            out += raw[i++];
        }
        m_pos = close + 1;
        return true;
    }

    bool ReadUnit(LabelValue& v, std::string& error) {
        const size_t save = m_pos;
        SkipBlank();
        if (!AtEnd() && m_text[m_pos] == '<') {
            const size_t close = m_text.find('>', m_pos);
            if (close == std::string_view::npos) {
                error = "unterminated unit";
                return false;
            }
            v.unit = std::string(m_text.substr(m_pos + 1, close - m_pos - 1));
            m_pos = close + 1;
        } else {
            m_pos = save;
        }
        return true;
    }

    bool ReadValue(LabelValue& v, int depth, std::string& error) {
        SkipBlank(); // a value may start on the next line
        if (AtEnd()) {
            error = "the label ends where a value was expected";
            return false;
        }
        const char ch = m_text[m_pos];
        if (ch == '(' || ch == '{') {
            if (depth >= kMaxListDepth) {
                error = "lists nested too deep";
                return false;
            }
            const char close = ch == '(' ? ')' : '}';
            v.kind = ch == '(' ? LabelValue::Kind::Sequence : LabelValue::Kind::Set;
            ++m_pos;
            SkipBlank();
            if (!AtEnd() && m_text[m_pos] == close) {
                ++m_pos;
                return ReadUnit(v, error);
            }
            while (true) {
                LabelValue item;
                if (!ReadValue(item, depth + 1, error)) {
                    return false;
                }
                v.items.push_back(std::move(item));
                SkipBlank();
                if (AtEnd()) {
                    error = std::string("unterminated list (no '") + close + "')";
                    return false;
                }
                if (m_text[m_pos] == ',') {
                    ++m_pos;
                    continue;
                }
                if (m_text[m_pos] == close) {
                    ++m_pos;
                    return ReadUnit(v, error);
                }
                error = "',' or '" + std::string(1, close) + "' expected, found '" +
                        Snippet(m_pos) + "'";
                return false;
            }
        }
        if (ch == '"' || ch == '\'') {
            v.quoted = true;
            if (!ReadQuoted(ch, v.text, error)) {
                return false;
            }
            return ReadUnit(v, error);
        }
        v.text = ReadBare();
        if (v.text.empty()) {
            error = "a value was expected, found '" + Snippet(m_pos) + "'";
            return false;
        }
        return ReadUnit(v, error);
    }

    std::string_view m_text;
    size_t m_pos = 0;
    std::vector<const char*> m_blockKinds;
};

// ---------------------------------------------------------------- VICAR

class VicarParser {
public:
    explicit VicarParser(std::string_view text) : m_text(text) {}

    LabelParseResult Run() {
        LabelParseResult r;
        if (m_text.substr(0, 8) != "LBLSIZE=") {
            r.message = "not a VICAR label (no LBLSIZE= at the start)";
            return r;
        }
        // The label's own length bounds everything read.
        size_t n = 8;
        while (n < m_text.size() && m_text[n] == ' ') {
            ++n;
        }
        size_t lblsize = 0;
        const char* first = m_text.data() + n;
        const char* last = m_text.data() + std::min(m_text.size(), n + 12);
        const auto [p, ec] = std::from_chars(first, last, lblsize);
        if (ec != std::errc() || lblsize == 0) {
            r.message = "LBLSIZE is not a positive number";
            return r;
        }
        const size_t end = std::min(lblsize, m_text.size());
        const size_t nul = m_text.substr(0, end).find('\0');
        m_text = m_text.substr(0, nul == std::string_view::npos ? end : nul);
        std::string group;
        while (true) {
            SkipSpaces();
            if (m_pos >= m_text.size()) {
                break;
            }
            const size_t keyStart = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] != '=' && m_text[m_pos] != ' ') {
                ++m_pos;
            }
            if (m_pos >= m_text.size() || m_text[m_pos] != '=' || m_pos == keyStart) {
                r.message = "byte " + std::to_string(keyStart) + ": KEY=value expected";
                return r;
            }
            std::string key = UpperAscii(m_text.substr(keyStart, m_pos - keyStart));
            ++m_pos;
            LabelValue value;
            std::string error;
            if (!ReadValue(value, error)) {
                r.message =
                    "byte " + std::to_string(keyStart) + ": " + error + " in the value of " + key;
                return r;
            }
            if ((key == "PROPERTY" || key == "TASK") && value.text.size() > kMaxLabelGroupBytes) {
                r.message = "byte " + std::to_string(keyStart) + ": a " + key +
                            " name longer than " + std::to_string(kMaxLabelGroupBytes) + " bytes";
                return r;
            }
            if (key == "PROPERTY") {
                group = UpperAscii(value.text);
                continue;
            }
            if (key == "TASK") {
                group = "TASK:" + UpperAscii(value.text);
                continue;
            }
            if (r.label.Items().size() >= kMaxLabelItems) {
                r.message = "byte " + std::to_string(keyStart) + ": more than " +
                            std::to_string(kMaxLabelItems) +
                            " items, more than any product label holds";
                return r;
            }
            if (key.size() > 6 && key.ends_with("__UNIT")) {
                AttachUnit(r.label, group, key.substr(0, key.size() - 6), value);
                continue;
            }
            r.label.Add(group, std::move(key), std::move(value));
        }
        r.ok = true;
        r.endOffset = lblsize;
        return r;
    }

private:
    void SkipSpaces() {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }

    static void AttachUnit(ProductLabel& label, const std::string& group, const std::string& key,
                           const LabelValue& unit) {
        // The unit belongs to the last item of that key in this group.
        LabelValue* target = label.FindLast(group, key);
        if (target == nullptr) {
            return;
        }
        if (unit.kind == LabelValue::Kind::Scalar) {
            target->unit = unit.text;
        } else {
            for (size_t i = 0; i < unit.items.size() && i < target->items.size(); ++i) {
                target->items[i].unit = unit.items[i].text;
            }
        }
    }

    bool ReadScalar(LabelValue& v, std::string& error) {
        if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
            // 'text' with '' standing for one quote.
            v.quoted = true;
            ++m_pos;
            while (true) {
                if (m_pos >= m_text.size()) {
                    error = "unterminated string";
                    return false;
                }
                if (m_text[m_pos] == '\'') {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\'') {
                        v.text += '\'';
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    return true;
                }
                v.text += m_text[m_pos++];
            }
        }
        const size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != ' ' && m_text[m_pos] != ',' &&
               m_text[m_pos] != ')') {
            ++m_pos;
        }
        v.text = std::string(m_text.substr(start, m_pos - start));
        return true;
    }

    bool ReadValue(LabelValue& v, std::string& error) {
        if (m_pos < m_text.size() && m_text[m_pos] == '(') {
            v.kind = LabelValue::Kind::Sequence;
            ++m_pos;
            while (true) {
                SkipSpaces();
                LabelValue item;
                if (!ReadScalar(item, error)) {
                    return false;
                }
                v.items.push_back(std::move(item));
                SkipSpaces();
                if (m_pos >= m_text.size()) {
                    error = "unterminated list";
                    return false;
                }
                if (m_text[m_pos] == ',') {
                    ++m_pos;
                    continue;
                }
                if (m_text[m_pos] == ')') {
                    ++m_pos;
                    return true;
                }
                error = "',' or ')' expected";
                return false;
            }
        }
        return ReadScalar(v, error);
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

} // namespace

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& ch : out) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return out;
}

bool LabelValue::IsNull() const {
    if (kind != Kind::Scalar) {
        return false;
    }
    return text.empty() || EqualsNoCase(text, "N/A") || EqualsNoCase(text, "UNK") ||
           EqualsNoCase(text, "NULL");
}

std::optional<double> LabelValue::Number() const {
    if (kind != Kind::Scalar || IsNull()) {
        return std::nullopt;
    }
    if (text.find('#') != std::string::npos) {
        return ParseBased(text);
    }
    return ParseReal(text);
}

std::optional<long long> LabelValue::Integer() const {
    const auto v = Number();
    if (!v || *v != std::floor(*v) || std::fabs(*v) > 9.0e18) {
        return std::nullopt;
    }
    return static_cast<long long>(*v);
}

std::optional<std::vector<double>> LabelValue::Numbers() const {
    std::vector<double> out;
    if (kind == Kind::Scalar) {
        const auto v = Number();
        if (!v) {
            return std::nullopt;
        }
        out.push_back(*v);
        return out;
    }
    for (const auto& item : items) {
        const auto v = item.Number();
        if (!v) {
            return std::nullopt;
        }
        out.push_back(*v);
    }
    return out;
}

namespace {
std::string LookupKey(std::string_view group, std::string_view key) {
    return UpperAscii(group) + '\n' + UpperAscii(key);
}
} // namespace

void ProductLabel::Add(std::string group, std::string key, LabelValue value) {
    m_lastOf[LookupKey(group, key)] = m_vItems.size();
    m_vItems.push_back({std::move(group), std::move(key), std::move(value)});
}

LabelValue* ProductLabel::FindLast(std::string_view group, std::string_view key) {
    const auto it = m_lastOf.find(LookupKey(group, key));
    return it == m_lastOf.end() ? nullptr : &m_vItems[it->second].value;
}

const LabelValue* ProductLabel::Find(std::string_view group, std::string_view key) const {
    for (const auto& item : m_vItems) {
        if (EqualsNoCase(item.group, group) && EqualsNoCase(item.key, key)) {
            return &item.value;
        }
    }
    return nullptr;
}

const LabelValue* ProductLabel::FindIn(const std::vector<std::string_view>& groups,
                                       std::string_view key) const {
    for (const auto group : groups) {
        for (const auto& item : m_vItems) {
            if (EqualsNoCase(LastName(item.group), group) && EqualsNoCase(item.key, key)) {
                return &item.value;
            }
        }
    }
    return nullptr;
}

bool ProductLabel::HasGroup(std::string_view group) const {
    return std::any_of(m_vItems.begin(), m_vItems.end(), [&](const LabelItem& item) {
        return EqualsNoCase(LastName(item.group), group);
    });
}

LabelParseResult ParseOdlLabel(std::string_view text) {
    return OdlParser(text).Run();
}

LabelParseResult ParseVicarLabel(std::string_view text) {
    return VicarParser(text).Run();
}
