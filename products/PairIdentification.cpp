#include "products/PairIdentification.h"

#include "products/ProductName.h"

namespace {
// Long enough for the eye letter and what follows it.
constexpr std::size_t kMinTitleLength = 27;
constexpr std::size_t kEyeIndex = kMerEyeIndex;

bool IsOneOf(char c, std::string_view set) {
    return set.find(c) != std::string_view::npos;
}

// MER and Phoenix titles: same mission and instrument letters.
bool IsMerOrPhoenixPair(std::string_view l, std::string_view r) {
    if (l[0] != r[0] || l[1] != r[1]) {
        return false;
    }
    return (IsOneOf(l[0], "12") && IsOneOf(l[1], "NpP")) || IsOneOf(l[0], "sS");
}

// MSL Navcam titles: "NL?_" / "NR?_" (or lower case), differing only in the eye.
bool IsMslPair(std::string_view l, std::string_view r) {
    if (l[0] != r[0] || l[1] == r[1] || l[2] != r[2] || l[3] != '_' || r[3] != '_') {
        return false;
    }
    return (l[0] == 'N' && IsOneOf(l[1], "LR")) || (l[0] == 'n' && IsOneOf(l[1], "lr"));
}
} // namespace

PairIdentification IdentifyPair(std::string_view l, std::string_view r) {
    PairIdentification id;
    // Mars 2020 names say the eye in their second letter; an MSL rule would
    // read a digit of the clock instead.
    const auto m20Left = DecodeMars2020ProductName(l);
    const auto m20Right = DecodeMars2020ProductName(r);
    if (m20Left && m20Right) {
        id.bRecognised = m20Left->instrument == m20Right->instrument;
        if (!id.bRecognised) {
            return id;
        }
        if (m20Left->eye == "right" && m20Right->eye == "left") {
            id.bSwap = true;
        } else if (m20Left->eye == m20Right->eye) {
            id.bVerify = true;
        }
        return id;
    }
    if (l.size() < kMinTitleLength || r.size() < kMinTitleLength) {
        return id;
    }
    const bool msl = IsMslPair(l, r);
    id.bRecognised = msl || IsMerOrPhoenixPair(l, r);
    if (!id.bRecognised) {
        return id;
    }
    // "NL__" names keep the step below that reads their second letter.
    if (msl && l[2] != '_') {
        // MSL names say the eye in their second letter; their index 23 is a
        // digit of the sequence id.
        if (IsOneOf(l[1], "Rr") && IsOneOf(r[1], "Ll")) {
            id.bSwap = true;
        }
        return id;
    }
    if (l[2] == '_') {
        const bool leftGood = IsOneOf(l[1], "Ll");
        const bool rightGood = IsOneOf(r[1], "Rr");
        if (!leftGood && !rightGood) {
            id.bSwap = true;
        } else if (!(leftGood && rightGood && l[kEyeIndex] != 'R')) {
            id.bVerify = true;
        }
    }
    const bool leftGood = IsOneOf(l[kEyeIndex], "Ll");
    const bool rightGood = IsOneOf(r[kEyeIndex], "Rr");
    if (!leftGood && !rightGood) {
        id.bSwap = true;
    } else if (leftGood != rightGood) {
        id.bVerify = true;
    }
    return id;
}
