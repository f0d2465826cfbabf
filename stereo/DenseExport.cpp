#include "stereo/DenseExport.h"

#include "base/AtomicFile.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool Fail(std::string* error, const std::string& why) {
    if (error) {
        *error = why;
    }
    return false;
}

template <class T> void Append(std::string& out, T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    out.append(b, sizeof(T));
}

} // namespace

std::string EncodePng(const RgbImage& image) {
    if (image.Empty()) {
        return {};
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (png_image_write_get_memory_size(png, size, 0, image.rgb.data(), 0, nullptr) == 0) {
        png_image_free(&png);
        return {};
    }
    std::string bytes(size, '\0');
    if (png_image_write_to_memory(&png, bytes.data(), &size, 0, image.rgb.data(), 0, nullptr) ==
        0) {
        png_image_free(&png);
        return {};
    }
    bytes.resize(size);
    return bytes;
}

std::vector<float>
PointsInFrame(const DenseRangeMap& map,
              const std::function<std::optional<CPoint3D>(const CPoint3D&)>& to) {
    std::vector<float> out = map.Xyz();
    for (size_t k = 0; 3 * k + 2 < out.size(); ++k) {
        if (std::isnan(out[3 * k])) {
            continue;
        }
        const auto p = to({out[3 * k], out[3 * k + 1], out[3 * k + 2]});
        const float nan = std::numeric_limits<float>::quiet_NaN();
        out[3 * k] = p ? static_cast<float>(p->m_dX) : nan;
        out[3 * k + 1] = p ? static_cast<float>(p->m_dY) : nan;
        out[3 * k + 2] = p ? static_cast<float>(p->m_dZ) : nan;
    }
    return out;
}

bool WriteDensePly(const std::string& path, const DenseRangeMap& map,
                   const std::vector<uint8_t>& grey, bool binary, std::string* error,
                   const std::vector<float>* points, const std::string& frameName) {
    const size_t n = static_cast<size_t>(map.Width()) * map.Height();
    if (grey.size() != n) {
        return Fail(error, "the colours do not match the map");
    }
    const std::vector<float>& xyz = points != nullptr ? *points : map.Xyz();
    if (xyz.size() != 3 * n) {
        return Fail(error, "the points do not match the map");
    }
    const std::vector<float>& sigma = map.RangeSigma();
    size_t count = 0;
    for (size_t k = 0; k < n; ++k) {
        count += std::isnan(xyz[3 * k]) ? 0 : 1;
    }
    AtomicFileWriter w(path);
    if (!w.Created()) {
        return Fail(error, w.Error());
    }
    std::string out = "ply\nformat ";
    out += binary ? "binary_little_endian" : "ascii";
    out += " 1.0\ncomment range map of a stereo pair: " + frameName + ", metres\nelement vertex " +
           std::to_string(count) +
           "\nproperty float x\nproperty float y\nproperty float z\n"
           "property uchar red\nproperty uchar green\nproperty uchar blue\n"
           "property float range_sigma\nend_header\n";
    char line[160];
    for (size_t k = 0; k < n; ++k) {
        if (std::isnan(xyz[3 * k])) {
            continue;
        }
        if (binary) {
            Append(out, xyz[3 * k]);
            Append(out, xyz[3 * k + 1]);
            Append(out, xyz[3 * k + 2]);
            out.append(3, static_cast<char>(grey[k]));
            Append(out, sigma[k]);
        } else {
            const int len =
                std::snprintf(line, sizeof line, "%.9g %.9g %.9g %u %u %u %.6g\n", xyz[3 * k],
                              xyz[3 * k + 1], xyz[3 * k + 2], grey[k], grey[k], grey[k], sigma[k]);
            out.append(line, static_cast<size_t>(len));
        }
        if (out.size() > (1u << 22)) {
            if (!w.Write(out)) {
                return Fail(error, w.Error());
            }
            out.clear();
        }
    }
    if (!w.Write(out) || !w.Commit(error)) {
        return Fail(error, w.Error());
    }
    return true;
}

bool WriteXyzTiff(const std::string& path, const DenseRangeMap& map, std::string* error,
                  const std::vector<float>* points) {
    if (map.Empty()) {
        return Fail(error, "the map is empty");
    }
    const std::vector<float>& xyz = points != nullptr ? *points : map.Xyz();
    if (xyz.size() != map.Xyz().size()) {
        return Fail(error, "the points do not match the map");
    }
    // A baseline little-endian TIFF: one uncompressed strip of three 32-bit
    // IEEE float samples per pixel (x, y, z), grey with two extra samples.
    const uint32_t w = static_cast<uint32_t>(map.Width());
    const uint32_t h = static_cast<uint32_t>(map.Height());
    const uint64_t bytes = uint64_t{w} * h * 12;
    if (bytes > 0xFFFFFF00u) {
        return Fail(error, "the map is too large for a TIFF");
    }
    constexpr uint32_t kIfd = 8, kEntries = 12;
    constexpr uint32_t kBits = kIfd + 2 + kEntries * 12 + 4; // after the IFD
    constexpr uint32_t kFormat = kBits + 6;
    constexpr uint32_t kData = kFormat + 8; // 4-byte aligned
    std::string out("II*\0", 4);
    Append(out, kIfd);
    Append(out, static_cast<uint16_t>(kEntries));
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        Append(out, tag);
        Append(out, type);
        Append(out, count);
        Append(out, value);
    };
    constexpr uint16_t kShort = 3, kLong = 4;
    entry(256, kLong, 1, w);                            // ImageWidth
    entry(257, kLong, 1, h);                            // ImageLength
    entry(258, kShort, 3, kBits);                       // BitsPerSample
    entry(259, kShort, 1, 1);                           // Compression: none
    entry(262, kShort, 1, 1);                           // Photometric: black is zero
    entry(273, kLong, 1, kData);                        // StripOffsets
    entry(277, kShort, 1, 3);                           // SamplesPerPixel
    entry(278, kLong, 1, h);                            // RowsPerStrip
    entry(279, kLong, 1, static_cast<uint32_t>(bytes)); // StripByteCounts
    entry(284, kShort, 1, 1);                           // PlanarConfiguration: chunky
    entry(338, kShort, 2, 0);                           // ExtraSamples: 2 unspecified
    entry(339, kShort, 3, kFormat);                     // SampleFormat
    Append(out, uint32_t{0});                           // no next IFD
    for (int i = 0; i < 3; ++i) {
        Append(out, uint16_t{32});
    }
    for (int i = 0; i < 3; ++i) {
        Append(out, uint16_t{3}); // IEEE floating point
    }
    out.append(kData - out.size(), '\0');
    AtomicFileWriter file(path);
    if (!file.Created()) {
        return Fail(error, file.Error());
    }
    for (uint32_t y = 0; y < h; ++y) {
        const char* row = reinterpret_cast<const char*>(xyz.data() + size_t{y} * w * 3);
        out.append(row, size_t{w} * 12);
        if (out.size() > (1u << 22)) {
            if (!file.Write(out)) {
                return Fail(error, file.Error());
            }
            out.clear();
        }
    }
    if (!file.Write(out) || !file.Commit(error)) {
        return Fail(error, file.Error());
    }
    return true;
}

int RangeColours::Step(double rangeM) const {
    const double l0 = std::log(nearM), l1 = std::log(farM);
    return static_cast<int>(std::clamp((std::log(rangeM) - l0) / (l1 - l0), 0.0, 1.0) * 255.0 +
                            0.5);
}

RangeColours RangeColoursOf(const DenseRangeMap& map, double nearM, double farM) {
    RangeColours colours;
    if (!(nearM > 0.0) || !(farM > nearM)) {
        nearM = std::max(0.01, map.Summary().rangePercentiles[0]);
        farM = std::max(nearM * 1.01, map.Summary().rangePercentiles[4]);
    }
    colours.nearM = nearM;
    colours.farM = farM;
    cv::Mat steps(1, 256, CV_8U);
    for (int i = 0; i < 256; ++i) {
        steps.at<uint8_t>(0, i) = static_cast<uint8_t>(i);
    }
    cv::Mat lut;
    cv::applyColorMap(steps, lut, cv::COLORMAP_TURBO); // BGR
    for (int i = 0; i < 256; ++i) {
        const cv::Vec3b c = lut.at<cv::Vec3b>(0, i);
        colours.rgb[3 * i] = c[2];
        colours.rgb[3 * i + 1] = c[1];
        colours.rgb[3 * i + 2] = c[0];
    }
    return colours;
}

RgbImage RangePicture(const DenseRangeMap& map, const std::vector<uint8_t>& grey, double nearM,
                      double farM) {
    RgbImage img;
    const int w = map.Width(), h = map.Height();
    if (map.Empty() || grey.size() != static_cast<size_t>(w) * h) {
        return img;
    }
    const RangeColours colours = RangeColoursOf(map, nearM, farM);
    nearM = colours.nearM;
    farM = colours.farM;
    const double l0 = std::log(nearM), l1 = std::log(farM);
    const auto bgr = [&](int step) {
        const uint8_t* c = colours.rgb.data() + 3 * step;
        return cv::Vec3b(c[2], c[1], c[0]);
    };
    const int legendH = std::max(48, h / 12);
    cv::Mat pic(h + legendH, w, CV_8UC3, cv::Scalar(0, 0, 0));
    for (int y = 0; y < h; ++y) {
        cv::Vec3b* row = pic.ptr<cv::Vec3b>(y);
        for (int x = 0; x < w; ++x) {
            const float r = map.RangeAt(x, y);
            if (std::isnan(r)) {
                const uint8_t g = grey[static_cast<size_t>(y) * w + x] / 3;
                row[x] = {g, g, g};
            } else {
                row[x] = bgr(colours.Step(r));
            }
        }
    }
    // Legend: the bar, ticks at 1-2-5 steps and their labels in metres.
    const int barX0 = w / 20, barX1 = w - w / 20;
    const int barY0 = h + legendH / 6, barY1 = h + legendH / 2;
    for (int x = barX0; x < barX1; ++x) {
        const double t = static_cast<double>(x - barX0) / std::max(1, barX1 - barX0 - 1);
        const cv::Vec3b c = bgr(static_cast<int>(t * 255.0 + 0.5));
        cv::line(pic, {x, barY0}, {x, barY1}, cv::Scalar(c[0], c[1], c[2]));
    }
    const double fontScale = std::clamp(legendH / 90.0, 0.35, 2.0);
    const int thick = std::max(1, legendH / 60);
    int lastLabelEnd = -1000;
    for (double decade = std::pow(10.0, std::floor(std::log10(nearM))); decade <= farM;
         decade *= 10.0) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double r = decade * m;
            if (r < nearM || r > farM) {
                continue;
            }
            const int x =
                barX0 + static_cast<int>((std::log(r) - l0) / (l1 - l0) * (barX1 - barX0 - 1));
            cv::line(pic, {x, barY1}, {x, barY1 + legendH / 8}, cv::Scalar(255, 255, 255), thick);
            char text[32];
            std::snprintf(text, sizeof text, "%g m", r);
            int base = 0;
            const cv::Size size =
                cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, fontScale, thick, &base);
            const int tx = std::clamp(x - size.width / 2, 0, std::max(0, w - size.width));
            if (tx > lastLabelEnd + 4) {
                cv::putText(pic, text, {tx, h + legendH - legendH / 10}, cv::FONT_HERSHEY_SIMPLEX,
                            fontScale, cv::Scalar(255, 255, 255), thick, cv::LINE_AA);
                lastLabelEnd = tx + size.width;
            }
        }
    }
    cv::cvtColor(pic, pic, cv::COLOR_BGR2RGB);
    img.width = pic.cols;
    img.height = pic.rows;
    img.rgb.assign(pic.data, pic.data + pic.total() * 3);
    return img;
}
