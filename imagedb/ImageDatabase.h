// The image pose database: one table of ImageRecord, sorted by key (byte
// order), one record per key, and its store file ImgBinDat.
#pragma once

#include "imagedb/ImageRecord.h"
#include "imagedb/Store.h"

#include <compare>
#include <cstdint>
#include <iosfwd>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The database key of a product: PathTitle of the text, lower-cased (A-Z only).
std::string MakeProductKey(std::string_view text);

class ImageDatabase {
public:
    using const_iterator = std::vector<ImageRecord>::const_iterator;

    // Puts a copy of rec into the table, replacing the record with its key.
    void InsertRecord(const ImageRecord& rec);

    // The record of a product title (lower-cased here, no PathTitle applied),
    // or nullptr. Valid until the table next changes. A name longer than the
    // store keeps, when no record has its whole key, finds the record whose
    // key is its first kStoreKeyBytes bytes (lower-cased), so that such a
    // product is still found after a save and a load.
    const ImageRecord* FindRecord(std::string_view productName) const;

    size_t Count() const { return m_vRecords.size(); }
    bool Empty() const { return m_vRecords.empty(); }
    const_iterator begin() const { return m_vRecords.begin(); }
    const_iterator end() const { return m_vRecords.end(); }
    void Clear();
    // Changes with every change of the table, to a value no other table in
    // the process had: whoever keeps what it read from the table (a pair's
    // cameras) knows when to read again.
    std::uint64_t Revision() const { return m_nRevision; }

    // Where SaveStore writes and LoadStore() reads.
    void SetStorePath(std::string path) { m_sStorePath = std::move(path); }
    const std::string& StorePath() const { return m_sStorePath; }

    // Writes the whole table to the store file. Failures are reported through
    // ReportMessage ("Unable to open %s", ...) and return false; the old file
    // is then left as it was.
    bool SaveStore() const;
    // Replaces the table with the store file's records. When the file cannot
    // be opened or read: a message, table unchanged, false. A damaged file
    // gives the records read and a message naming the damage.
    bool LoadStore();
    // Merges the records of a store-format stream into the table (a key
    // already present takes the stream's values). A read error of the
    // stream is reported and merges nothing.
    void LoadStore(std::istream& stream);

    // The result of inserting every record of the list in order, one by one:
    // a later record replaces an earlier one with the same key, and a record
    // replaces the table's record with its key.
    void MergeRecords(std::vector<ImageRecord>&& records);

    // Wholesale operations of the query import.
    void AppendRecords(const std::vector<ImageRecord>& records);
    void AppendRecords(std::vector<ImageRecord>&& records);
    // Sorts by key and keeps one record per key: of records sharing a key,
    // the one appended last.
    void SortAndDedupe();

    // The first 16 bytes of a key as two big-endian numbers, zero-padded:
    // they order keys as the bytes do, up to ties only whole keys decide.
    struct KeyPrefix {
        uint64_t hi = 0;
        uint64_t lo = 0;
        auto operator<=>(const KeyPrefix&) const = default;
    };
    static KeyPrefix PrefixOf(std::string_view key);

private:
    const ImageRecord* FindKey(std::string_view key) const;
    void RebuildPrefixes();
    void Changed();

    std::vector<ImageRecord> m_vRecords;
    // The prefix of every key, in table order: a lookup searches this compact
    // copy and touches a record only at the end. Every change keeps it.
    std::vector<KeyPrefix> m_vPrefixes;
    std::string m_sStorePath = "ImgBinDat";
    std::uint64_t m_nRevision = 0;
};

// The text of Image Database Information: "Image Database Size= N Entries".
std::string DatabaseSizeText(const ImageDatabase& db);
