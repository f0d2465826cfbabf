// The store file ImgBinDat: tagged little-endian items, one record after
// another (ImageDatabase::SaveStore and LoadStore write and read it).
#pragma once

#include "imagedb/ImageRecord.h"

#include <cstddef>
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

// Reads store-format items from a stream into records, in the order read
// (duplicates and any key order included). Reading stops at tag 0, at a tag
// above 5 or at the end of the data; damaged or short data is not an error.
// Returns false only when the stream reports a read error, with a reason in
// error; records is then incomplete.
bool ReadStoreRecords(std::istream& in, std::vector<ImageRecord>& records,
                      std::string* error = nullptr);
