#include "products/RasterLayout.h"

#include "base/ImageLimits.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

constexpr int kMaxSide = 1 << 16;
constexpr int kMaxBands = 1 << 12;

struct Extent {
    std::uint64_t recordBytes = 0; // one line record with its prefix and suffix
    std::uint64_t totalBytes = 0;  // every record of the image
};

bool Check(const RasterLayout& l, std::string& error) {
    if (l.lines <= 0 || l.samples <= 0 || l.lines > kMaxSide || l.samples > kMaxSide) {
        error = "image size " + std::to_string(l.samples) + " x " + std::to_string(l.lines) +
                " is not usable";
        return false;
    }
    if (l.bands <= 0 || l.bands > kMaxBands) {
        error = "band count " + std::to_string(l.bands) + " is not usable";
        return false;
    }
    const int b = l.bytesPerSample;
    if (l.kind == SampleKind::Real ? (b != 4 && b != 8) : (b != 1 && b != 2 && b != 4)) {
        error = std::to_string(8 * b) + "-bit " +
                (l.kind == SampleKind::Real ? "real" : "integer") + " samples are not supported";
        return false;
    }
    if (l.linePrefixBytes > (1u << 20) || l.lineSuffixBytes > (1u << 20)) {
        error = "line prefix or suffix is implausibly long";
        return false;
    }
    return true;
}

Extent Measure(const RasterLayout& l);

// The image memory limit, before anything is read: what decoding holds per
// pixel at once (the bytes read, the values of wide samples, the result),
// never less than the four bytes a shown pixel takes.
bool WithinBudget(const RasterLayout& l, std::string& error) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(l.lines) * l.samples;
    const std::uint64_t channels = l.bands == 3 ? 3 : 1;
    const std::uint64_t read = (Measure(l).totalBytes + pixels - 1) / pixels;
    const std::uint64_t held =
        read + 2 * channels +
        (l.bytesPerSample > 2 || l.kind == SampleKind::Real ? 8 * channels : 0);
    const int perPixel = static_cast<int>(std::clamp<std::uint64_t>(held, 4, 1u << 30));
    if (const auto tooLarge = ImageTooLarge(l.samples, l.lines, perPixel)) {
        error = "the image is " + *tooLarge;
        return false;
    }
    return true;
}

Extent Measure(const RasterLayout& l) {
    const std::uint64_t s = static_cast<std::uint64_t>(l.samples) * l.bytesPerSample;
    Extent e;
    switch (l.storage) {
    case BandStorage::Sequential:
        e.recordBytes = l.linePrefixBytes + s + l.lineSuffixBytes;
        e.totalBytes = e.recordBytes * static_cast<std::uint64_t>(l.lines) * l.bands;
        break;
    case BandStorage::LineInterleaved:
    case BandStorage::SampleInterleaved:
        e.recordBytes = l.linePrefixBytes + s * l.bands + l.lineSuffixBytes;
        e.totalBytes = e.recordBytes * static_cast<std::uint64_t>(l.lines);
        break;
    }
    return e;
}

std::uint64_t ReadRawUnsigned(const unsigned char* p, int n, bool big) {
    std::uint64_t v = 0;
    if (big) {
        for (int i = 0; i < n; ++i) {
            v = (v << 8) | p[i];
        }
    } else {
        for (int i = n - 1; i >= 0; --i) {
            v = (v << 8) | p[i];
        }
    }
    return v;
}

double ReadSample(const unsigned char* p, const RasterLayout& l) {
    const std::uint64_t raw = ReadRawUnsigned(p, l.bytesPerSample, l.bigEndian);
    switch (l.kind) {
    case SampleKind::Unsigned:
        return static_cast<double>(l.bitMask ? (raw & l.bitMask) : raw);
    case SampleKind::Signed: {
        // The mask names the significant bits of the stored word: it applies
        // before any sign (MER/MSL EDRs are "MSB_INTEGER" with 12 of 16 bits).
        if (l.bitMask != 0) {
            return static_cast<double>(raw & l.bitMask);
        }
        const int bits = 8 * l.bytesPerSample;
        std::int64_t v = static_cast<std::int64_t>(raw);
        if (raw & (std::uint64_t{1} << (bits - 1))) {
            v -= static_cast<std::int64_t>(std::uint64_t{1} << bits);
        }
        return static_cast<double>(v);
    }
    case SampleKind::Real:
        if (l.bytesPerSample == 4) {
            const auto u = static_cast<std::uint32_t>(raw);
            float f = 0.0f;
            std::memcpy(&f, &u, sizeof f);
            return f;
        } else {
            double d = 0.0;
            std::memcpy(&d, &raw, sizeof d);
            return d;
        }
    }
    return 0.0;
}

// Byte offset of sample (x, y) of band b from the start of the image.
std::uint64_t SampleOffset(const RasterLayout& l, const Extent& e, int x, int y, int b) {
    const std::uint64_t bps = l.bytesPerSample;
    switch (l.storage) {
    case BandStorage::Sequential:
        return (static_cast<std::uint64_t>(b) * l.lines + y) * e.recordBytes + l.linePrefixBytes +
               x * bps;
    case BandStorage::LineInterleaved:
        return static_cast<std::uint64_t>(y) * e.recordBytes + l.linePrefixBytes +
               (static_cast<std::uint64_t>(b) * l.samples + x) * bps;
    case BandStorage::SampleInterleaved:
        return static_cast<std::uint64_t>(y) * e.recordBytes + l.linePrefixBytes +
               (static_cast<std::uint64_t>(x) * l.bands + b) * bps;
    }
    return 0;
}

RasterResult Decode(const std::string& name, const unsigned char* data, const RasterLayout& l,
                    const Extent& e) {
    RasterResult r;
    PixelBuffer& px = r.pixels;
    px.width = l.samples;
    px.height = l.lines;
    px.channels = l.bands == 3 ? 3 : 1;
    const std::size_t count = static_cast<std::size_t>(px.width) * px.height * px.channels;
    px.samples.resize(count);
    const bool direct = l.kind != SampleKind::Real && l.bytesPerSample <= 2;
    if (direct) {
        px.significantBits = 8 * l.bytesPerSample;
        if (l.bitMask != 0) {
            px.significantBits = 0;
            for (std::uint32_t m = l.bitMask; m != 0; m >>= 1) {
                ++px.significantBits;
            }
            px.significantBits = std::min(px.significantBits, 16);
        }
        // The common case gets its own loop: one band of 16-bit unsigned lines.
        if (px.channels == 1 && l.bytesPerSample == 2) {
            const std::uint32_t mask = l.bitMask ? l.bitMask : 0xffffu;
            // Without a mask a signed sample's sign bit makes it negative: 0.
            const unsigned negative =
                l.kind == SampleKind::Signed && l.bitMask == 0 ? 0x8000u : 0x10000u;
            for (int y = 0; y < l.lines; ++y) {
                const unsigned char* p = data + SampleOffset(l, e, 0, y, 0);
                std::uint16_t* out = px.samples.data() + static_cast<std::size_t>(y) * l.samples;
                const std::size_t step =
                    l.storage == BandStorage::SampleInterleaved ? 2u * l.bands : 2u;
                for (int x = 0; x < l.samples; ++x, p += step) {
                    const unsigned v = l.bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
                    out[x] = static_cast<std::uint16_t>((v & negative) ? 0u : (v & mask));
                }
            }
            r.ok = true;
            return r;
        }
        for (int y = 0; y < l.lines; ++y) {
            for (int x = 0; x < l.samples; ++x) {
                for (int c = 0; c < px.channels; ++c) {
                    const double v = ReadSample(data + SampleOffset(l, e, x, y, c), l);
                    px.samples[(static_cast<std::size_t>(y) * px.width + x) * px.channels + c] =
                        static_cast<std::uint16_t>(std::clamp(v, 0.0, 65535.0));
                }
            }
        }
        r.ok = true;
        return r;
    }
    // Wide integers and reals: stretch the finite range onto 16 bits.
    std::vector<double> values(count);
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (int y = 0; y < l.lines; ++y) {
        for (int x = 0; x < l.samples; ++x) {
            for (int c = 0; c < px.channels; ++c) {
                const double v = ReadSample(data + SampleOffset(l, e, x, y, c), l);
                values[(static_cast<std::size_t>(y) * px.width + x) * px.channels + c] = v;
                if (std::isfinite(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
        }
    }
    px.significantBits = 16;
    const double scale = hi > lo ? 65535.0 / (hi - lo) : 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double v = values[i];
        px.samples[i] = std::isfinite(v) ? static_cast<std::uint16_t>(std::lround(
                                               std::clamp((v - lo) * scale, 0.0, 65535.0)))
                                         : 0;
    }
    (void)name;
    r.ok = true;
    return r;
}

std::string Truncated(const std::string& name, std::uint64_t offset, std::uint64_t need,
                      std::uint64_t have) {
    return name + ": the image data is truncated: " + std::to_string(need) + " bytes from byte " +
           std::to_string(offset) + " are described, the file has " + std::to_string(have) +
           " bytes";
}

} // namespace

RasterResult DecodeRasterBytes(const std::string& name, const std::string& bytes,
                               const RasterLayout& layout) {
    RasterResult r;
    std::string error;
    if (!Check(layout, error)) {
        r.message = name + ": " + error;
        return r;
    }
    const Extent e = Measure(layout);
    if (layout.offset > bytes.size() || bytes.size() - layout.offset < e.totalBytes) {
        r.message = Truncated(name, layout.offset, e.totalBytes, bytes.size());
        return r;
    }
    if (!WithinBudget(layout, error)) {
        r.message = name + ": " + error;
        return r;
    }
    return Decode(name, reinterpret_cast<const unsigned char*>(bytes.data()) + layout.offset,
                  layout, e);
}

std::string RasterShortfall(const std::string& path, const RasterLayout& layout) {
    std::string error;
    if (!Check(layout, error)) {
        return {};
    }
    const Extent e = Measure(layout);
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(path, ec);
    if (ec || (layout.offset <= size && size - layout.offset >= e.totalBytes)) {
        return {};
    }
    return Truncated(path, layout.offset, e.totalBytes, size);
}

RasterResult DecodeRaster(const std::string& path, const RasterLayout& layout) {
    RasterResult r;
    std::string error;
    if (!Check(layout, error)) {
        r.message = path + ": " + error;
        return r;
    }
    const Extent e = Measure(layout);
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        r.message = path + ": cannot be read (" + ec.message() + ")";
        return r;
    }
    if (layout.offset > size || size - layout.offset < e.totalBytes) {
        r.message = Truncated(path, layout.offset, e.totalBytes, size);
        return r;
    }
    // Only then the memory limit: a file that holds the pixels (or seems
    // to, sparse) is not read whole when they would take too much.
    if (!WithinBudget(layout, error)) {
        r.message = path + ": " + error;
        return r;
    }
    std::ifstream in(path, std::ios::binary);
    std::string data(static_cast<std::size_t>(e.totalBytes), '\0');
    in.seekg(static_cast<std::streamoff>(layout.offset));
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (!in) {
        r.message = path + ": reading the image data failed";
        return r;
    }
    return Decode(path, reinterpret_cast<const unsigned char*>(data.data()), layout, e);
}
