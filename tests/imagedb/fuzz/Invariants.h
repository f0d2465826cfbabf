// What must hold after reading any bytes at all as a store or a query file:
// shared by the mutation tests and the libFuzzer targets.
#pragma once

#include "base/Messages.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"
#include "imagedb/StoreTransaction.h"

#include <filesystem>
#include <fstream>

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

// Bytes as a store file in folder: it either loads cleanly or is reported
// as damaged; a clean one ended with its end tag and held as many records as
// its count said; and a save over a damaged one keeps its bytes exactly in
// the backup while a refused save leaves them in place.
inline std::string CheckStoreFileBytes(const std::string& bytes, const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string path = folder + "/ImgBinDat";
    const auto write = [&path](const std::string& b) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(b.data(), static_cast<std::streamsize>(b.size()));
    };
    const auto read = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    CollectingMessageSink quiet;
    ScopedMessageSink scope(&quiet);
    write(bytes);
    const StoreFileResult file = ReadStoreFile(path);
    if (file.status == StoreFileResult::Status::kClean) {
        if (!bytes.empty() && bytes.back() != '\0') {
            return "clean data without an end tag";
        }
        if (file.integrity.declaredCount &&
            static_cast<size_t>(*file.integrity.declaredCount) != file.records.size()) {
            return "clean data whose count disagrees";
        }
    } else if (file.status != StoreFileResult::Status::kDamaged) {
        return "store bytes neither clean nor damaged";
    }
    const bool damaged = file.status == StoreFileResult::Status::kDamaged;
    if (damaged && file.sMessage.find(" is damaged: ") == std::string::npos) {
        return "damage not said";
    }
    ImageDatabase db;
    StoreChangeOptions refuse;
    refuse.bSaveOverDamaged = false;
    refuse.lockTimeout = std::chrono::milliseconds(0);
    const StoreChangeResult refused = ChangeStore(
        db, path, [](ImageDatabase&) { return true; }, refuse);
    if (damaged && (refused.status != StoreChangeResult::Status::kRefused || read(path) != bytes)) {
        return "a damaged store was saved over without leave";
    }
    write(bytes);
    StoreChangeOptions allow;
    allow.lockTimeout = std::chrono::milliseconds(0);
    const StoreChangeResult saved = ChangeStore(
        db, path, [](ImageDatabase&) { return true; }, allow);
    if (!saved.Saved()) {
        return "a save failed";
    }
    if (damaged != !saved.sBackupPath.empty()) {
        return damaged ? "no backup of a damaged store" : "a backup of a clean store";
    }
    std::string problem;
    if (damaged && read(saved.sBackupPath) != bytes) {
        problem = "the backup differs from the damaged store";
    } else if (ReadStoreFile(path).status != StoreFileResult::Status::kClean) {
        problem = "the saved store is not clean";
    }
    std::error_code ec;
    if (damaged) {
        fs::remove(saved.sBackupPath, ec);
    }
    return problem;
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
