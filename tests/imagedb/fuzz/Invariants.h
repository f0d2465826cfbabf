// What must hold after reading any bytes at all as a store or a query file:
// shared by the mutation tests and the libFuzzer targets.
#pragma once

#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"

#include <sstream>
#include <string>

namespace fuzzcheck {

// The table is sorted, free of duplicates, and every key it can look up is
// found at its own record. Returns what is wrong, or "".
inline std::string CheckTable(const ImageDatabase& db) {
    const ImageRecord* previous = nullptr;
    for (const ImageRecord& r : db) {
        if (previous != nullptr && !(previous->m_sProductId < r.m_sProductId)) {
            return "keys out of order or repeated";
        }
        previous = &r;
        if (MakeProductKey(r.m_sProductId) == r.m_sProductId &&
            db.FindRecord(r.m_sProductId) != &r) {
            return "a key is not found at its record";
        }
    }
    return "";
}

// Reads bytes as a store stream merged into an empty table.
inline std::string CheckStoreBytes(const std::string& bytes) {
    ImageDatabase db;
    std::istringstream in(bytes);
    db.LoadStore(in);
    // A record needs at least a tag and a whole key field.
    if (db.Count() * (1 + kStoreKeyBytes) > bytes.size()) {
        return "more records than the bytes can hold";
    }
    for (const ImageRecord& r : db) {
        if (r.m_sProductId.size() > kStoreKeyBytes ||
            r.m_sProductId.find('\0') != std::string::npos) {
            return "a key longer than its field or holding a zero byte";
        }
    }
    return CheckTable(db);
}

// Reads bytes as a query file, then merges its records into a table.
inline std::string CheckQueryBytes(const std::string& bytes) {
    std::istringstream in(bytes);
    QueryFileResult r = ReadQueryStream(in, "fuzz.txt");
    size_t lines = 1;
    for (const char ch : bytes) {
        lines += ch == '\n';
    }
    if (r.error) {
        if (r.error->line == 0 || r.error->line > lines) {
            return "an error at a line the file does not have";
        }
        if (r.error->Message().find("fuzz.txt") == std::string::npos) {
            return "an error message that does not name the file";
        }
        return "";
    }
    if (r.records.size() > lines) {
        return "more records than lines";
    }
    for (const ImageRecord& rec : r.records) {
        if (rec.m_sProductId.find_first_of("/\\:\nABCDEFGHIJKLMNOPQRSTUVWXYZ") !=
            std::string::npos) {
            return "a key that the key rule cannot make";
        }
    }
    ImageDatabase db;
    db.MergeRecords(std::move(r.records));
    return CheckTable(db);
}

} // namespace fuzzcheck
