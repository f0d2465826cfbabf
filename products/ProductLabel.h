// Keyword labels of rover image products: the ODL text of PDS3 labels and
// the KEY=value run of VICAR headers, read into one plain value so that the
// camera model and the pose are found the same way in both.
//
// Keys and group names are kept upper-case; every item remembers the group
// (OBJECT/GROUP block or VICAR property) it was found in, because the same key
// means different things in different groups (the image size is IMAGE.LINES,
// not a subframe request's LINES).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct LabelValue {
    enum class Kind { Scalar, Sequence, Set };
    Kind kind = Kind::Scalar;
    std::string text; // a scalar's text, quotes removed, line breaks in quoted text folded
    bool quoted = false;
    std::string unit; // "<deg>" after a scalar (or a VICAR KEY__UNIT), without brackets
    std::vector<LabelValue> items; // elements of a sequence or set

    // "N/A", "UNK", "NULL" (quoted or not), or an empty scalar.
    bool IsNull() const;
    // A scalar read as a number: integers, reals ("3.", "1.29162e+09") and
    // based integers ("2#0000111111111111#"). Nothing for text, null values,
    // sequences, and numbers that are not finite.
    std::optional<double> Number() const;
    // A scalar that is a whole number within the range of long long.
    std::optional<long long> Integer() const;
    // Every element of a sequence (or the scalar itself) as a number; nothing
    // when any element is not a number.
    std::optional<std::vector<double>> Numbers() const;
};

struct LabelItem {
    std::string group; // "" at top level, else the enclosing block names joined by '.'
    std::string key;   // upper-case, namespace and pointer mark kept ("MSL:X", "^IMAGE")
    LabelValue value;
};

class ProductLabel {
public:
    void Add(std::string group, std::string key, LabelValue value);
    // The last item of key in exactly this group, for amending it.
    LabelValue* FindLast(std::string_view group, std::string_view key);
    const std::vector<LabelItem>& Items() const { return m_vItems; }

    // The first item of key in exactly this group ("" = top level). Case-insensitive.
    const LabelValue* Find(std::string_view group, std::string_view key) const;
    // The first item of key in the first of groups that has it; a group also
    // matches a nested block whose last name is the same.
    const LabelValue* FindIn(const std::vector<std::string_view>& groups,
                             std::string_view key) const;
    // Whether any item lies in a block of that name (last name compared).
    bool HasGroup(std::string_view group) const;

private:
    std::vector<LabelItem> m_vItems;
    // "GROUP\nKEY" (upper-case) -> index of its last item: FindLast in
    // constant time, so that a label of many unit items stays linear.
    std::unordered_map<std::string, std::size_t> m_lastOf;
};

// Bounds on what one label may hold, far above any real product's: the
// parsers stop with a message instead of building a label without end.
inline constexpr std::size_t kMaxLabelItems = 50000;
inline constexpr std::size_t kMaxLabelGroupBytes = 512;

struct LabelParseResult {
    bool ok = false;
    std::string message; // what is wrong and on which line, when not ok
    ProductLabel label;
    std::size_t endOffset = 0; // bytes of text the label took (up to after its END line)
    bool ended = false;        // an END line (ODL) closed the label
};

// PDS3 ODL: stops after the line "END"; text past it (padding, a VICAR header,
// pixel data) is never looked at. Without an END line the whole text is the
// label when it ends cleanly after a statement.
LabelParseResult ParseOdlLabel(std::string_view text);

// A VICAR label: "LBLSIZE=n" then KEY=value items up to n bytes (or the first
// NUL). PROPERTY='NAME' starts a group named NAME, TASK='NAME' a history group
// "TASK:NAME"; KEY__UNIT becomes the unit of KEY in the same group.
LabelParseResult ParseVicarLabel(std::string_view text);

// Upper-case ASCII copy.
std::string UpperAscii(std::string_view s);
