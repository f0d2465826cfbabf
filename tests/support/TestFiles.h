// Temporary folders, whole-file reads and writes, and hand-built store
// bytes for the image database tests.
#pragma once

#include "imagedb/ImageRecord.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "rv_test_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    const fs::path& Path() const { return m_path; }
    // Writes text (bytes as they are) into the folder; the file's path.
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(m_path / name, std::ios::binary) << text;
        return (m_path / name).string();
    }

private:
    fs::path m_path;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An InSight camera product (a PDS3 label and 8-bit grey pixels): its CAHV
// model in the lander frame, 1.63 m above the origin, looking 53 degrees
// down along +X, for an image width x height pixels.
inline std::string InSightProductBytes(int width, int height) {
    const double hc = width / 2.0, vc = height / 2.0;
    const auto vec = [](double x, double y, double z) {
        return "(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(z) + ")";
    };
    // A = (0.6, 0, 0.8); H = 100 (0, 1, 0) + hc A; V = 100 (-0.8, 0, 0.6) + vc A.
    std::string label = "PDS_VERSION_ID = PDS3\nRECORD_BYTES = 1024\n^IMAGE = 2\n"
                        "GROUP = GEOMETRIC_CAMERA_MODEL_PARMS\n  MODEL_TYPE = CAHV\n"
                        "  MODEL_COMPONENT_1 = (0.92,-0.41,-1.63)\n"
                        "  MODEL_COMPONENT_2 = (0.6,0.0,0.8)\n"
                        "  MODEL_COMPONENT_3 = " +
                        vec(0.6 * hc, 100.0, 0.8 * hc) +
                        "\n  MODEL_COMPONENT_4 = " + vec(-80.0 + 0.6 * vc, 0.0, 60.0 + 0.8 * vc) +
                        "\n  REFERENCE_COORD_SYSTEM_NAME = LANDER_FRAME\n"
                        "  REFERENCE_COORD_SYSTEM_INDEX = (1,0)\n"
                        "END_GROUP = GEOMETRIC_CAMERA_MODEL_PARMS\n"
                        "OBJECT = IMAGE\n  LINES = " +
                        std::to_string(height) + "\n  LINE_SAMPLES = " + std::to_string(width) +
                        "\n  SAMPLE_TYPE = UNSIGNED_INTEGER\n  SAMPLE_BITS = 8\n"
                        "END_OBJECT = IMAGE\nEND\n";
    label.resize(1024, ' ');
    return label + std::string(static_cast<size_t>(width) * height, '\x40');
}
// Its file name, as InSight names an IDC product.
inline constexpr const char* kInSightProductName = "D000M0005_597065013EDR_F0000_0461M1.IMG";

// Store items built by hand, byte by byte.
namespace store {

inline std::string Tag(int tag) {
    return std::string(1, static_cast<char>(tag));
}

inline std::string Int32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    std::string s;
    for (int i = 0; i < 4; ++i) {
        s.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }
    return s;
}

inline std::string Double(double v) {
    const auto u = std::bit_cast<uint64_t>(v);
    std::string s;
    for (int i = 0; i < 8; ++i) {
        s.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }
    return s;
}

inline std::string Count(int32_t n) {
    return Tag(1) + Int32(n);
}

// A key field: the bytes, then zeros up to 27 (cut at 27).
inline std::string Key(const std::string& key) {
    std::string field = key.substr(0, 27);
    field.resize(27, '\0');
    return Tag(2) + field;
}

inline std::string Attitude(double s, double x, double y, double z) {
    return Tag(3) + Double(s) + Double(x) + Double(y) + Double(z);
}
inline std::string Azimuth(double a) {
    return Tag(4) + Double(a);
}
inline std::string Elevation(double e) {
    return Tag(5) + Double(e);
}

// One whole record as SaveStore writes it.
inline std::string Record(const ImageRecord& r) {
    const CQuat& q = r.m_qAttitude;
    return Key(r.m_sProductId) + Attitude(q.m_dS, q.m_ptVec.m_dX, q.m_ptVec.m_dY, q.m_ptVec.m_dZ) +
           Azimuth(r.m_dAzimuth) + Elevation(r.m_dElevation);
}

} // namespace store

inline ImageRecord MakeRecord(std::string key, double az, double el = 0.0, double s = 1.0,
                              double x = 0.0, double y = 0.0, double z = 0.0) {
    ImageRecord r;
    r.m_sProductId = std::move(key);
    r.m_dAzimuth = az;
    r.m_dElevation = el;
    r.m_qAttitude = CQuat(s, CPoint3D(x, y, z));
    return r;
}
