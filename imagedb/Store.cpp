// The store file: tagged little-endian items, 79 bytes per record.
#include "imagedb/ImageDatabase.h"

#include "base/AtomicFile.h"
#include "base/Messages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

enum Tag : unsigned char {
    kTagEnd = 0,
    kTagCount = 1,
    kTagKey = 2,
    kTagAttitude = 3,
    kTagAzimuth = 4,
    kTagElevation = 5,
};

// A whole record as written: tags 2, 3, 4 and 5 with their payloads.
constexpr size_t kRecordBytes = 4 + kStoreKeyBytes + 32 + 8 + 8;
// The smallest record the data can hold: a tag 2 item alone.
constexpr size_t kMinRecordBytes = 1 + kStoreKeyBytes;
// Capacity hint honoured when the size of the data is unknown.
constexpr size_t kUnknownSizeReserve = 1 << 16;

// Little-endian 64-bit values, whatever the host's byte order.
uint64_t LittleEndian(uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) {
        return __builtin_bswap64(v);
    }
    return v;
}

double ReadDouble(const unsigned char* p) {
    uint64_t bits = 0;
    std::memcpy(&bits, p, 8);
    return std::bit_cast<double>(LittleEndian(bits));
}

void PutDouble(char* p, double v) {
    const uint64_t bits = LittleEndian(std::bit_cast<uint64_t>(v));
    std::memcpy(p, &bits, 8);
}

// One record's 79 bytes as the store holds them.
void PutRecord(char* p, const ImageRecord& r) {
    p[0] = static_cast<char>(kTagKey);
    const size_t n = std::min(r.m_sProductId.size(), kStoreKeyBytes);
    std::memcpy(p + 1, r.m_sProductId.data(), n);
    std::memset(p + 1 + n, 0, kStoreKeyBytes - n);
    p += 1 + kStoreKeyBytes;
    p[0] = static_cast<char>(kTagAttitude);
    PutDouble(p + 1, r.m_qAttitude.m_dS);
    PutDouble(p + 9, r.m_qAttitude.m_ptVec.m_dX);
    PutDouble(p + 17, r.m_qAttitude.m_ptVec.m_dY);
    PutDouble(p + 25, r.m_qAttitude.m_ptVec.m_dZ);
    p[33] = static_cast<char>(kTagAzimuth);
    PutDouble(p + 34, r.m_dAzimuth);
    p[42] = static_cast<char>(kTagElevation);
    PutDouble(p + 43, r.m_dElevation);
}

// Buffered reads of fixed-size pieces from a stream.
class ByteReader {
public:
    explicit ByteReader(std::istream& in) : m_in(in) {
        const auto start = in.tellg();
        if (start != std::streampos(-1) && in.seekg(0, std::ios::end)) {
            const auto end = in.tellg();
            if (end != std::streampos(-1) && end >= start) {
                m_nSize = static_cast<size_t>(end - start);
            }
            in.seekg(start);
        }
        in.clear(in.rdstate() & std::ios::badbit);
    }

    // Copies up to n bytes to dst; returns how many arrived.
    size_t Read(unsigned char* dst, size_t n) {
        size_t got = 0;
        while (got < n) {
            if (m_nPos == m_nLen && !Refill()) {
                break;
            }
            const size_t take = std::min(n - got, m_nLen - m_nPos);
            std::memcpy(dst + got, m_buf.data() + m_nPos, take);
            m_nPos += take;
            got += take;
        }
        m_nConsumed += got;
        return got;
    }

    // Bytes still to come, when the stream's size is known.
    std::optional<size_t> Remaining() const {
        if (!m_nSize) {
            return std::nullopt;
        }
        return *m_nSize > m_nConsumed ? *m_nSize - m_nConsumed : 0;
    }

    bool Failed() const { return m_in.bad(); }
    size_t Consumed() const { return m_nConsumed; }

private:
    bool Refill() {
        if (!m_in.good()) {
            return false;
        }
        try {
            m_in.read(m_buf.data(), static_cast<std::streamsize>(m_buf.size()));
        } catch (const std::exception&) {
            // A file buffer throws when read() fails: a read error, not the end.
            m_in.setstate(std::ios::badbit);
            m_nLen = 0;
            return false;
        }
        m_nLen = static_cast<size_t>(m_in.gcount());
        m_nPos = 0;
        return m_nLen > 0;
    }

    std::istream& m_in;
    std::array<char, 1 << 16> m_buf{};
    size_t m_nPos = 0;
    size_t m_nLen = 0;
    size_t m_nConsumed = 0;
    std::optional<size_t> m_nSize;
};

} // namespace

std::string StorePathIn(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') {
        return folder + "ImgBinDat";
    }
    return folder + "/ImgBinDat";
}

std::string StoreIntegrity::Describe(const std::string& name) const {
    std::string text = name + " is damaged: " + std::to_string(nRecordsRead);
    // A negative count item is itself the damage (said in the reason).
    const bool counted = declaredCount && *declaredCount >= 0;
    if (counted) {
        text += " of " + std::to_string(*declaredCount);
    }
    text += nRecordsRead == 1 && !counted ? " record read" : " records read";
    if (!sReason.empty()) {
        text += " (" + sReason + ")";
    }
    return text;
}

bool ReadStoreRecords(std::istream& in, std::vector<ImageRecord>& records, std::string* error,
                      StoreIntegrity* integrity) {
    ByteReader reader(in);
    std::array<unsigned char, 32> payload{};
    unsigned char tag = 0;
    bool ended = false;
    std::string damage;
    std::optional<int32_t> declared;
    // The reading rules stay as they are; what they skip is only noted.
    const auto damaged = [&damage](std::string what) {
        if (damage.empty()) {
            damage = std::move(what);
        }
    };
    const auto readItem = [&](size_t n) {
        const size_t at = reader.Consumed() - 1;
        if (reader.Read(payload.data(), n) == n) {
            return true;
        }
        damaged("the data ends inside the item at byte " + std::to_string(at));
        return false;
    };
    while (reader.Read(&tag, 1) == 1) {
        if (tag == kTagEnd || tag > kTagElevation) {
            const size_t at = reader.Consumed() - 1;
            unsigned char next = 0;
            if (tag != kTagEnd) {
                damaged("an unknown item tag " + std::to_string(tag) + " at byte " +
                        std::to_string(at));
            } else if (reader.Read(&next, 1) == 1) {
                damaged("an end tag at byte " + std::to_string(at) + " before the end of the data");
            }
            ended = true;
            break;
        }
        switch (tag) {
        case kTagCount: {
            if (!readItem(4) || !records.empty()) {
                break;
            }
            const auto count = static_cast<int32_t>(
                static_cast<uint32_t>(payload[0]) | static_cast<uint32_t>(payload[1]) << 8 |
                static_cast<uint32_t>(payload[2]) << 16 | static_cast<uint32_t>(payload[3]) << 24);
            if (!declared) {
                declared = count;
            }
            if (count <= 0) {
                break;
            }
            // A hint only: never more than the data that follows can fill.
            const auto remaining = reader.Remaining();
            const size_t limit = remaining ? *remaining / kMinRecordBytes + 1 : kUnknownSizeReserve;
            records.reserve(std::min(static_cast<size_t>(count), limit));
            break;
        }
        case kTagKey: {
            if (!readItem(kStoreKeyBytes)) {
                break;
            }
            const auto* key = reinterpret_cast<const char*>(payload.data());
            records.emplace_back().m_sProductId.assign(key, strnlen(key, kStoreKeyBytes));
            break;
        }
        case kTagAttitude:
            if (readItem(32) && !records.empty()) {
                CQuat& q = records.back().m_qAttitude;
                q.m_dS = ReadDouble(&payload[0]);
                q.m_ptVec = CPoint3D(ReadDouble(&payload[8]), ReadDouble(&payload[16]),
                                     ReadDouble(&payload[24]));
            }
            break;
        case kTagAzimuth:
            if (readItem(8) && !records.empty()) {
                records.back().m_dAzimuth = ReadDouble(payload.data());
            }
            break;
        case kTagElevation:
            if (readItem(8) && !records.empty()) {
                records.back().m_dElevation = ReadDouble(payload.data());
            }
            break;
        default:
            break;
        }
    }
    if (reader.Failed()) {
        if (error != nullptr) {
            *error = "read error";
        }
        return false;
    }
    if (integrity != nullptr) {
        if (!ended && reader.Consumed() > 0) {
            damaged("no end tag after byte " + std::to_string(reader.Consumed()));
        }
        if (declared && *declared >= 0 && static_cast<size_t>(*declared) != records.size()) {
            damaged("the count item says " + std::to_string(*declared));
        } else if (declared && *declared < 0) {
            damaged("a negative count item");
        }
        *integrity = StoreIntegrity{};
        integrity->bDamaged = !damage.empty();
        integrity->declaredCount = declared;
        integrity->nRecordsRead = records.size();
        integrity->sReason = damage;
    }
    return true;
}

bool ImageDatabase::SaveStore() const {
    AtomicFileWriter file(m_sStorePath);
    if (!file.Created()) {
        ReportMessage("Unable to open " + m_sStorePath);
        return false;
    }
    constexpr size_t kChunk = 1 << 20;
    std::string out;
    out.reserve(kChunk + kRecordBytes);
    out.push_back(static_cast<char>(kTagCount));
    const auto count = static_cast<uint32_t>(m_vRecords.size());
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((count >> (8 * i)) & 0xFF));
    }
    for (const ImageRecord& r : m_vRecords) {
        const size_t at = out.size();
        out.resize(at + kRecordBytes);
        PutRecord(out.data() + at, r);
        if (out.size() >= kChunk) {
            if (!file.Write(out)) {
                break;
            }
            out.clear();
        }
    }
    out.push_back(static_cast<char>(kTagEnd));
    file.Write(out);
    std::string error;
    if (!file.Commit(&error)) {
        ReportMessage("Unable to save the image database: " + error +
                      ". The store file was left as it was.");
        return false;
    }
    return true;
}

bool OpenInputFile(const std::string& path, std::ifstream& in) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
        in.open(path, std::ios::binary);
    }
    if (!in.is_open()) {
        ReportMessage("Unable to open " + path);
        return false;
    }
    return true;
}

bool ImageDatabase::LoadStore() {
    std::ifstream in;
    if (!OpenInputFile(m_sStorePath, in)) {
        return false;
    }
    std::vector<ImageRecord> records;
    StoreIntegrity integrity;
    if (!ReadStoreRecords(in, records, nullptr, &integrity)) {
        ReportMessage("Unable to read " + m_sStorePath +
                      ". The image database in memory was left as it was.");
        return false;
    }
    if (integrity.bDamaged) {
        ReportMessage(integrity.Describe(m_sStorePath) +
                      ". A copy of it is kept beside it before anything is saved over it.");
    }
    Clear();
    MergeRecords(std::move(records));
    return true;
}

void ImageDatabase::LoadStore(std::istream& stream) {
    std::vector<ImageRecord> records;
    if (!ReadStoreRecords(stream, records)) {
        ReportMessage("Unable to read the image database data. Nothing was merged.");
        return;
    }
    MergeRecords(std::move(records));
}
