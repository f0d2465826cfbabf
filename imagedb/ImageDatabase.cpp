#include "imagedb/ImageDatabase.h"

#include "base/Paths.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <numeric>

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

using Table = std::vector<ImageRecord>;

Table::const_iterator LowerBound(const Table& t, std::string_view key) {
    return std::lower_bound(t.begin(), t.end(), key, [](const ImageRecord& r, std::string_view k) {
        return KeyLess(r.m_sProductId, k);
    });
}

bool StrictlyAscending(const Table& v) {
    for (size_t i = 1; i < v.size(); ++i) {
        if (!KeyLess(v[i - 1].m_sProductId, v[i].m_sProductId)) {
            return false;
        }
    }
    return true;
}

using KeyPrefix = ImageDatabase::KeyPrefix;

struct SortEntry {
    KeyPrefix prefix;
    size_t index = 0;
};

uint64_t BigEndianPrefix(std::string_view key, size_t from) {
    uint64_t v = 0;
    for (size_t i = from; i < from + 8; ++i) {
        v = (v << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    }
    return v;
}

// Sorts v by key and keeps, of the records sharing a key, the one that came
// last: the same table as inserting the records one by one. The records are
// ordered through an index so that no second copy of the list is made.
void SortKeepLast(Table& v) {
    if (StrictlyAscending(v)) {
        return;
    }
    std::vector<SortEntry> order(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string_view key = v[i].m_sProductId;
        order[i] = {ImageDatabase::PrefixOf(key), i};
    }
    // -1, 0, 1 as the keys of two entries compare.
    const auto compareKeys = [&v](const SortEntry& a, const SortEntry& b) {
        if (a.prefix != b.prefix) {
            return a.prefix < b.prefix ? -1 : 1;
        }
        return v[a.index].m_sProductId.compare(v[b.index].m_sProductId);
    };
    std::sort(order.begin(), order.end(), [&compareKeys](const SortEntry& a, const SortEntry& b) {
        const int c = compareKeys(a, b);
        return c < 0 || (c == 0 && a.index < b.index);
    });
    // Keep the last of each run of equal keys. The kept indices go first, in
    // key order, the dropped ones after them: a permutation of the list.
    std::vector<size_t> target(v.size());
    size_t kept = 0;
    size_t dropped = v.size();
    for (size_t i = 0; i < order.size(); ++i) {
        if (i + 1 < order.size() && compareKeys(order[i], order[i + 1]) == 0) {
            target[--dropped] = order[i].index;
        } else {
            target[kept++] = order[i].index;
        }
    }
    order = {};
    // Apply the permutation in place: slot i receives record target[i].
    std::vector<bool> done(v.size(), false);
    for (size_t start = 0; start < v.size(); ++start) {
        if (done[start] || target[start] == start) {
            continue;
        }
        ImageRecord held = std::move(v[start]);
        size_t slot = start;
        while (target[slot] != start) {
            v[slot] = std::move(v[target[slot]]);
            done[slot] = true;
            slot = target[slot];
        }
        v[slot] = std::move(held);
        done[slot] = true;
    }
    v.erase(v.begin() + static_cast<ptrdiff_t>(kept), v.end());
}

// Merges the sorted, duplicate-free list into the sorted, duplicate-free
// table; on equal keys the list's record wins. The table grows only by the
// keys it lacks: a list that only replaces records (a query file imported
// again) is moved into their places without a new table.
void MergeSorted(Table& table, Table&& list) {
    if (list.empty()) {
        return;
    }
    if (table.empty()) {
        table = std::move(list);
        return;
    }
    if (KeyLess(table.back().m_sProductId, list.front().m_sProductId)) {
        table.reserve(table.size() + list.size());
        std::move(list.begin(), list.end(), std::back_inserter(table));
        return;
    }
    size_t added = 0;
    for (size_t i = 0, j = 0; j < list.size(); ++j) {
        const std::string& key = list[j].m_sProductId;
        while (i < table.size() && KeyLess(table[i].m_sProductId, key)) {
            ++i;
        }
        if (i < table.size() && table[i].m_sProductId == key) {
            ++i;
        } else {
            ++added;
        }
    }
    if (added == 0) {
        size_t i = 0;
        for (ImageRecord& r : list) {
            while (table[i].m_sProductId != r.m_sProductId) {
                ++i;
            }
            table[i++] = std::move(r);
        }
        return;
    }
    Table merged;
    merged.reserve(table.size() + added);
    size_t i = 0;
    size_t j = 0;
    while (i < table.size() && j < list.size()) {
        const int c = table[i].m_sProductId.compare(list[j].m_sProductId);
        if (c < 0) {
            merged.push_back(std::move(table[i++]));
        } else {
            i += c == 0 ? 1 : 0; // replaced by the list's record
            merged.push_back(std::move(list[j++]));
        }
    }
    std::move(table.begin() + static_cast<ptrdiff_t>(i), table.end(), std::back_inserter(merged));
    std::move(list.begin() + static_cast<ptrdiff_t>(j), list.end(), std::back_inserter(merged));
    table = std::move(merged);
}

} // namespace

std::string MakeProductKey(std::string_view text) {
    std::string key = PathTitle(text);
    LowerAscii(key);
    return key;
}

ImageDatabase::KeyPrefix ImageDatabase::PrefixOf(std::string_view key) {
    return {BigEndianPrefix(key, 0), BigEndianPrefix(key, 8)};
}

void ImageDatabase::Changed() {
    static std::atomic<std::uint64_t> last{0};
    m_nRevision = ++last;
}

void ImageDatabase::RebuildPrefixes() {
    m_vPrefixes.resize(m_vRecords.size());
    for (size_t i = 0; i < m_vRecords.size(); ++i) {
        m_vPrefixes[i] = PrefixOf(m_vRecords[i].m_sProductId);
    }
    Changed();
}

void ImageDatabase::Clear() {
    m_vRecords.clear();
    m_vPrefixes.clear();
    Changed();
}

void ImageDatabase::InsertRecord(const ImageRecord& rec) {
    const auto it = LowerBound(m_vRecords, rec.m_sProductId);
    const auto at = it - m_vRecords.begin();
    if (it != m_vRecords.end() && it->m_sProductId == rec.m_sProductId) {
        m_vRecords[static_cast<size_t>(at)] = rec;
    } else {
        m_vRecords.insert(it, rec);
        m_vPrefixes.insert(m_vPrefixes.begin() + at, PrefixOf(rec.m_sProductId));
    }
    Changed();
}

// The first record whose prefix is not less than the key's, then the few
// records sharing that prefix, compared whole.
const ImageRecord* ImageDatabase::FindKey(std::string_view key) const {
    const KeyPrefix prefix = PrefixOf(key);
    size_t i = static_cast<size_t>(
        std::lower_bound(m_vPrefixes.begin(), m_vPrefixes.end(), prefix) - m_vPrefixes.begin());
    for (; i < m_vRecords.size() && m_vPrefixes[i] == prefix; ++i) {
        const int c = m_vRecords[i].m_sProductId.compare(key);
        if (c == 0) {
            return &m_vRecords[i];
        }
        if (c > 0) {
            break;
        }
    }
    return nullptr;
}

const ImageRecord* ImageDatabase::FindRecord(std::string_view productName) const {
    // Lower-cased into a local buffer: a lookup allocates nothing for the
    // usual product names.
    std::array<char, 64> local{};
    std::string longName;
    char* key = local.data();
    if (productName.size() > local.size()) {
        longName.resize(productName.size());
        key = longName.data();
    }
    for (size_t i = 0; i < productName.size(); ++i) {
        const char ch = productName[i];
        key[i] = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    const std::string_view lowered(key, productName.size());
    if (const ImageRecord* exact = FindKey(lowered)) {
        return exact;
    }
    if (lowered.size() > kStoreKeyBytes) {
        return FindKey(lowered.substr(0, kStoreKeyBytes));
    }
    return nullptr;
}

void ImageDatabase::MergeRecords(std::vector<ImageRecord>&& records) {
    SortKeepLast(records);
    MergeSorted(m_vRecords, std::move(records));
    RebuildPrefixes();
}

void ImageDatabase::AppendRecords(const std::vector<ImageRecord>& records) {
    m_vRecords.insert(m_vRecords.end(), records.begin(), records.end());
    RebuildPrefixes();
}

void ImageDatabase::AppendRecords(std::vector<ImageRecord>&& records) {
    if (m_vRecords.empty()) {
        m_vRecords = std::move(records);
    } else {
        m_vRecords.reserve(m_vRecords.size() + records.size());
        std::move(records.begin(), records.end(), std::back_inserter(m_vRecords));
    }
    RebuildPrefixes();
}

void ImageDatabase::SortAndDedupe() {
    SortKeepLast(m_vRecords);
    RebuildPrefixes();
}

std::string DatabaseSizeText(const ImageDatabase& db) {
    return "Image Database Size= " + std::to_string(db.Count()) + " Entries";
}
