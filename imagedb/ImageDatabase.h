// The image pose database: one table of ImageRecord, sorted by key (byte
// order), one record per key.
#pragma once

#include "geometry/ImageRecord.h"

#include <string>
#include <string_view>
#include <vector>

// The database key of a product: PathTitle of the text, lower-cased (A-Z only).
std::string MakeProductKey(std::string_view text);

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

private:
    std::vector<ImageRecord> m_vRecords;
};
