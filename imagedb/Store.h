// The store file ImgBinDat: tagged little-endian items, one record after
// another (ImageDatabase::SaveStore and LoadStore write and read it).
#pragma once

#include "imagedb/ImageRecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

// The store file inside a folder: folder + separator + "ImgBinDat".
std::string StorePathIn(const std::string& folder);

// Opens path for binary reading. When it cannot be opened (or is a folder),
// reports "Unable to open <path>" and returns false.
bool OpenInputFile(const std::string& path, std::ifstream& in);

// The store keeps this many bytes of a key.
inline constexpr size_t kStoreKeyBytes = 27;

// How store data ended. Data written whole ends with the end tag as its last
// byte and holds as many records as its count item says (or is empty).
// Anything else is damaged: an unknown or zero tag while bytes remain, an
// item cut short, no end tag, or a count that disagrees with the records.
struct StoreIntegrity {
    bool bDamaged = false;
    std::optional<int32_t> declaredCount; // the count item, when there was one
    size_t nRecordsRead = 0;
    std::string sReason; // what was found, and where ("" when clean)

    // "<name> is damaged: 6 of 100000 records read (reason)".
    std::string Describe(const std::string& name) const;
};

// Reads store-format items from a stream into records, in the order read
// (duplicates and any key order included). Reading stops at tag 0, at a tag
// above 5 or at the end of the data; damaged or short data is not an error
// but is described in integrity when given. Returns false only when the
// stream reports a read error, with a reason in error; records is then
// incomplete.
bool ReadStoreRecords(std::istream& in, std::vector<ImageRecord>& records,
                      std::string* error = nullptr, StoreIntegrity* integrity = nullptr);
