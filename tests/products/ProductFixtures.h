// Temporary folders, real label fixtures and hand-built products for the
// product reader tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/TestFiles.h"

namespace product_test {

namespace fs = std::filesystem;

using ::TempDir;

inline std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(RANVISTA_SOURCE_DIR) + "/tests/products/data/" + name,
                     std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The text padded with spaces to a multiple of record bytes.
inline std::string PadTo(std::string text, std::size_t record) {
    text.resize((text.size() + record - 1) / record * record, ' ');
    return text;
}

// width*height big-endian 16-bit samples: value (x + 3y) & 0xfff, with the top
// four bits set to junk that a 12-bit mask must remove.
inline std::string Ramp16(int width, int height, bool bigEndian = true,
                          std::uint16_t junk = 0xA000) {
    std::string out;
    out.reserve(static_cast<std::size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint16_t v = static_cast<std::uint16_t>(((x + 3 * y) & 0xfff) | junk);
            const char hi = static_cast<char>(v >> 8);
            const char lo = static_cast<char>(v & 0xff);
            out += bigEndian ? hi : lo;
            out += bigEndian ? lo : hi;
        }
    }
    return out;
}

// A short PDS3 label with a CAHVOR model, a pose and an IMAGE object; the
// pointer and image lines are given by the caller.
inline std::string MiniPds3(const std::string& pointer, const std::string& imageLines,
                            const std::string& recordBytes = "RECORD_BYTES = 1000") {
    return "PDS_VERSION_ID = PDS3\n" + recordBytes + "\n" + pointer +
           "\n"
           "INSTRUMENT_ID = \"NAVCAM_LEFT\"\n"
           "PLANET_DAY_NUMBER = 12\n"
           "GROUP = GEOMETRIC_CAMERA_MODEL\n"
           "  MODEL_TYPE = CAHVOR\n"
           "  MODEL_COMPONENT_1 = (1.0,0.0,-1.5)\n"
           "  MODEL_COMPONENT_2 = (1.0,0.0,0.0)\n"
           "  MODEL_COMPONENT_3 = (10.0,500.0,0.0)\n"
           "  MODEL_COMPONENT_4 = (8.0,0.0,500.0)\n"
           "  MODEL_COMPONENT_5 = (1.0,0.0,0.0)\n"
           "  MODEL_COMPONENT_6 = (0.0,0.0,0.0)\n"
           "  REFERENCE_COORD_SYSTEM_INDEX = (3,2,0,1,1)\n"
           "  REFERENCE_COORD_SYSTEM_NAME = ROVER_FRAME\n"
           "END_GROUP = GEOMETRIC_CAMERA_MODEL\n"
           "OBJECT = IMAGE\n" +
           imageLines + "END_OBJECT = IMAGE\nEND\n";
}

} // namespace product_test
