#include "imagedb/ImageDatabase.h"

#include "analysis/Paths.h"

#include <algorithm>

namespace {

void LowerAscii(std::string& s) {
    for (char& ch : s) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
}

// Byte order: unsigned bytes over the common length, then the shorter first.
bool KeyLess(std::string_view a, std::string_view b) {
    return a < b; // char_traits<char>::compare compares as unsigned char
}

} // namespace

std::string MakeProductKey(std::string_view text) {
    std::string key = PathTitle(text);
    LowerAscii(key);
    return key;
}

ImageDatabase& ImageDatabase::Instance() {
    static ImageDatabase db;
    return db;
}

void ImageDatabase::InsertRecord(const ImageRecord& rec) {
    auto it = std::lower_bound(
        m_vRecords.begin(), m_vRecords.end(), rec.m_sProductId,
        [](const ImageRecord& r, const std::string& k) { return KeyLess(r.m_sProductId, k); });
    if (it != m_vRecords.end() && it->m_sProductId == rec.m_sProductId) {
        *it = rec;
    } else {
        m_vRecords.insert(it, rec);
    }
}

const ImageRecord* ImageDatabase::FindRecord(std::string_view productName) const {
    std::string key(productName);
    LowerAscii(key);
    auto it = std::lower_bound(
        m_vRecords.begin(), m_vRecords.end(), key,
        [](const ImageRecord& r, const std::string& k) { return KeyLess(r.m_sProductId, k); });
    if (it != m_vRecords.end() && it->m_sProductId == key) {
        return &*it;
    }
    return nullptr;
}
