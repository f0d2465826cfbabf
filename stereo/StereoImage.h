// Pictures of a rectified pair for the eyes: a red/cyan anaglyph (left in
// red, right in green and blue) and the two images side by side, crossed
// (right image on the left, for cross-eyed viewing) or parallel.
#pragma once

#include "matching/GreyImage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class StereoImageMode { Anaglyph, Cross, Parallel };

// "anaglyph", "cross" or "parallel"; nothing for anything else.
std::optional<StereoImageMode> ParseStereoImageMode(const std::string& text);

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // 3 per pixel, rows top to bottom

    bool Empty() const { return width <= 0 || height <= 0; }
};

// A grey image as 8 bits, stretched between its 0.5 and 99.5 percentiles;
// samples without data (NaN) are black.
std::vector<uint8_t> StretchTo8Bit(const GreyImage& image);

// From the two rectified images (the same size). Side-by-side pictures put
// a gap of `gap` black pixels between the two.
RgbImage MakeStereoImage(const GreyImage& rectifiedLeft, const GreyImage& rectifiedRight,
                         StereoImageMode mode, int gap = 16);

// A colour image as three planes of one size (each as a GreyImage, 0..1).
struct ColourPlanes {
    GreyImage red;
    GreyImage green;
    GreyImage blue;

    bool Empty() const { return red.Empty(); }
    // All three planes hold the same samples.
    bool IsGrey() const;
};

// The colour-preserving anaglyph of two rectified colour images: the left
// image's red with the right image's green and blue, each image's three
// planes stretched together (so its hues stay). Grey images give the grey
// anaglyph of MakeStereoImage.
RgbImage MakeColourAnaglyph(const ColourPlanes& rectifiedLeft, const ColourPlanes& rectifiedRight);
