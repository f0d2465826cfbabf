#include "samplegen/TruthMap.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <thread>

std::optional<CPoint3D> TruthMap::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return std::nullopt;
    }
    const float* p = xyz.data() + 3 * (static_cast<size_t>(y) * width + x);
    if (std::isnan(p[0])) {
        return std::nullopt;
    }
    return CPoint3D{p[0], p[1], p[2]};
}

TruthMap ComputeTruthMap(const Scene& scene, const PosedCamera& camera, int width, int height) {
    TruthMap map;
    map.width = width;
    map.height = height;
    map.xyz.assign(3 * static_cast<size_t>(width) * height,
                   std::numeric_limits<float>::quiet_NaN());
    auto rows = [&](int first, int step) {
        for (int j = first; j < height; j += step) {
            for (int i = 0; i < width; ++i) {
                const CPoint3D d = camera.Ray(i, j);
                const SceneHit hit = scene.Trace(camera.Centre(), d);
                if (hit.rock == -2) {
                    continue;
                }
                const CPoint3D p = camera.Centre() + d * hit.t;
                float* out = map.xyz.data() + 3 * (static_cast<size_t>(j) * width + i);
                out[0] = static_cast<float>(p.m_dX);
                out[1] = static_cast<float>(p.m_dY);
                out[2] = static_cast<float>(p.m_dZ);
            }
        }
    };
    std::thread other(rows, 1, 2);
    rows(0, 2);
    other.join();
    return map;
}

std::string EncodeTruthPfm(const TruthMap& map) {
    std::string out =
        "PF\n" + std::to_string(map.width) + " " + std::to_string(map.height) + "\n-1\n";
    const size_t header = out.size();
    const size_t rowBytes = 3 * sizeof(float) * static_cast<size_t>(map.width);
    out.resize(header + rowBytes * map.height);
    for (int j = 0; j < map.height; ++j) {
        const float* row = map.xyz.data() + 3 * static_cast<size_t>(map.height - 1 - j) * map.width;
        char* dst = out.data() + header + rowBytes * j;
        for (size_t k = 0; k < 3 * static_cast<size_t>(map.width); ++k) {
            uint32_t bits = 0;
            std::memcpy(&bits, row + k, 4);
            for (int b = 0; b < 4; ++b) {
                dst[4 * k + b] = static_cast<char>((bits >> (8 * b)) & 0xffu);
            }
        }
    }
    return out;
}

std::optional<TruthMap> DecodeTruthPfm(std::string_view bytes) {
    // Three header lines: "PF", "<width> <height>", a negative scale.
    size_t pos = 0;
    std::string lines[3];
    for (auto& line : lines) {
        const size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        line = std::string(bytes.substr(pos, end - pos));
        pos = end + 1;
    }
    if (lines[0] != "PF") {
        return std::nullopt;
    }
    TruthMap map;
    std::istringstream size(lines[1]);
    double scale = 0.0;
    if (!(size >> map.width >> map.height) || map.width < 1 || map.height < 1 ||
        !(std::istringstream(lines[2]) >> scale) || !(scale < 0.0)) {
        return std::nullopt;
    }
    const size_t count = 3 * static_cast<size_t>(map.width) * map.height;
    if (bytes.size() - pos != count * 4) {
        return std::nullopt;
    }
    map.xyz.resize(count);
    const size_t rowFloats = 3 * static_cast<size_t>(map.width);
    for (int j = 0; j < map.height; ++j) {
        float* row = map.xyz.data() + rowFloats * (map.height - 1 - j);
        const auto* src =
            reinterpret_cast<const unsigned char*>(bytes.data() + pos + 4 * rowFloats * j);
        for (size_t k = 0; k < rowFloats; ++k) {
            const uint32_t bits = src[4 * k] | (src[4 * k + 1] << 8u) | (src[4 * k + 2] << 16u) |
                                  (static_cast<uint32_t>(src[4 * k + 3]) << 24u);
            std::memcpy(row + k, &bits, 4);
        }
    }
    return map;
}
