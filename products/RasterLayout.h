// Where and how the pixels of a PDS3 or VICAR image lie in their file, and
// their decoding into a PixelBuffer.
#pragma once

#include "products/PixelBuffer.h"

#include <cstdint>
#include <string>

enum class SampleKind { Unsigned, Signed, Real };
enum class BandStorage { Sequential, LineInterleaved, SampleInterleaved };

struct RasterLayout {
    std::uint64_t offset = 0; // first byte of the first line's prefix
    int lines = 0;
    int samples = 0;
    int bands = 1;
    int bytesPerSample = 1; // 1, 2, 4 or 8
    SampleKind kind = SampleKind::Unsigned;
    bool bigEndian = true;
    BandStorage storage = BandStorage::Sequential;
    std::uint64_t linePrefixBytes = 0;
    std::uint64_t lineSuffixBytes = 0;
    std::uint32_t bitMask = 0; // significant bits of integer samples; 0 = all
};

struct RasterResult {
    bool ok = false;
    std::string message;
    PixelBuffer pixels;
};

// Checks the layout (sizes, sample width, kind) and that the file holds every
// byte it describes before anything is allocated, then decodes the first band,
// or the three bands as RGB. Integers up to 16 bits keep their values
// (the bit mask applies to the stored word, before any sign; negative values
// become 0); wider integers and reals are
// scaled linearly from their finite minimum..maximum onto 0..65535.
RasterResult DecodeRaster(const std::string& path, const RasterLayout& layout);

// Why the file at path cannot hold the bytes layout describes ("… the image
// data is truncated: N bytes from byte O are described, the file has M
// bytes"); empty when it holds them (or the layout is not usable).
std::string RasterShortfall(const std::string& path, const RasterLayout& layout);

// The same from bytes already in memory (the whole file).
RasterResult DecodeRasterBytes(const std::string& name, const std::string& bytes,
                               const RasterLayout& layout);
