// The image pose database: one table of ImageRecord, sorted by key (byte
// order), one record per key, and its store file ImgBinDat.
#pragma once

#include "geometry/ImageRecord.h"

#include <istream>
#include <string>
#include <string_view>
#include <vector>

// The database key of a product: PathTitle of the text, lower-cased (A-Z only).
std::string MakeProductKey(std::string_view text);

// The store file inside a folder: folder + separator + "ImgBinDat".
std::string StorePathIn(const std::string& folder);

class ImageDatabase {
public:
    using const_iterator = std::vector<ImageRecord>::const_iterator;

    // The one table the desktop application works on.
    static ImageDatabase& Instance();

    // Puts a copy of rec into the table, replacing the record with its key.
    void InsertRecord(const ImageRecord& rec);

    // The record of a product title (lower-cased here, no PathTitle applied),
    // or nullptr. Valid until the table next changes.
    const ImageRecord* FindRecord(std::string_view productName) const;

    size_t Count() const { return m_vRecords.size(); }
    bool Empty() const { return m_vRecords.empty(); }
    const_iterator begin() const { return m_vRecords.begin(); }
    const_iterator end() const { return m_vRecords.end(); }
    void Clear() { m_vRecords.clear(); }

    // Where SaveStore writes and LoadStore() reads.
    void SetStorePath(std::string path) { m_sStorePath = std::move(path); }
    const std::string& StorePath() const { return m_sStorePath; }

    // Writes the whole table to the store file. Failures are reported through
    // ReportMessage ("Unable to open %s", ...) and return false; the old file
    // is then left as it was.
    bool SaveStore() const;
    // Replaces the table with the store file's records. When the file cannot
    // be opened: "Unable to open %s", table unchanged, false.
    bool LoadStore();
    // Merges the records of a store-format stream into the table.
    void LoadStore(std::istream& stream);

    // Wholesale operations of the query import.
    void AppendRecords(const std::vector<ImageRecord>& records);
    void SortAndDedupe();

private:
    std::vector<ImageRecord> m_vRecords;
    std::string m_sStorePath = "ImgBinDat";
};
