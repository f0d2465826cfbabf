// The per-pixel ground truth of a rendered sample image: the point of the
// scene that each pixel centre's ray meets first.
//
// File format (<left product>.truth.pfm beside the images): a Portable Float
// Map with three channels, that is the text header "PF\n<width> <height>\n-1\n"
// (the negative scale says little-endian) followed by width x height triples
// of 32-bit floats, rows from the bottom of the image to the top. The triple
// of a pixel is the point (x, y, z) in the Z-up output frame, metres; NaN in
// all three where the ray meets no surface (sky).
#pragma once

#include "samplegen/Scene.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TruthMap {
    int width = 0;
    int height = 0;
    std::vector<float> xyz; // 3 per pixel, rows top to bottom

    // The point seen at pixel (x, y); none for sky or outside the map.
    std::optional<CPoint3D> At(int x, int y) const;
};

// Casts one ray per pixel centre through camera (two threads).
TruthMap ComputeTruthMap(const Scene& scene, const PosedCamera& camera, int width, int height);

std::string EncodeTruthPfm(const TruthMap& map);
// None for anything that is not a three-channel little-endian map of the
// size its header states.
std::optional<TruthMap> DecodeTruthPfm(std::string_view bytes);
