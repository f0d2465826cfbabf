// A plain grey image for the matcher: float samples scaled so that the full
// range of the source data is 0..1. The viewer and the command line convert
// whatever they decoded into one of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<float> samples; // row-major, width * height, 0..1
    float quantum = 1.0f / 255; // one step of the source data on that scale
    // Passed through the 3x3 binomial: the luminance of a raw colour mosaic
    // (matching/BayerMosaic.h), or its partner made alike.
    bool smoothed = false;

    bool Empty() const { return width <= 0 || height <= 0; }
    float At(int x, int y) const { return samples[static_cast<size_t>(y) * width + x]; }
    const float* Row(int y) const { return samples.data() + static_cast<size_t>(y) * width; }

    // 8-bit samples; stride is the distance between rows in samples
    // (0 = width). Sizes below 1 give an empty image.
    static GreyImage FromGrey8(const uint8_t* data, int width, int height, size_t stride = 0);
    // 16-bit samples holding significantBits of data (1..16); 0 takes the
    // bits the largest sample needs, at least 8, so 12-bit data in 16-bit
    // words is scaled like 12-bit data.
    static GreyImage FromGrey16(const uint16_t* data, int width, int height, size_t stride = 0,
                                int significantBits = 0);
};
