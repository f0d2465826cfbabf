// Decoded pixels of an image product, ready for the viewer's image layer:
// one or three channels of unsigned samples, row-major, channels interleaved.
#pragma once

#include <cstdint>
#include <vector>

struct PixelBuffer {
    int width = 0;
    int height = 0;
    int channels = 0;                   // 1 (grey, the first band) or 3 (RGB from three bands)
    int significantBits = 8;            // 8 for byte data; up to 16 for wider data (12 for
                                        // MER/MSL EDRs), the range a contrast stretch starts from
    std::vector<std::uint16_t> samples; // width * height * channels values

    std::uint16_t At(int x, int y, int channel = 0) const {
        return samples[(static_cast<std::size_t>(y) * width + x) * channels + channel];
    }
};
