// Files from a dense range map: a PLY point cloud (position, grey colour,
// range sigma; binary or ASCII), the XYZ as a 3-band 32-bit float TIFF the
// size of the left image, and a colour-coded range picture with its legend.
#pragma once

#include "stereo/DenseRange.h"
#include "stereo/StereoImage.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The map's points turned into another frame (the site frame, say), as the
// map holds them: x, y, z per left pixel, NaN where there is no point or to
// gives none.
std::vector<float> PointsInFrame(const DenseRangeMap& map,
                                 const std::function<std::optional<CPoint3D>(const CPoint3D&)>& to);

// PNG bytes of a picture; empty when it cannot be encoded.
std::string EncodePng(const RgbImage& image);

// The valid points of the map. grey: the left image as 8 bits (StretchTo8Bit),
// one per pixel of the map, for the points' colour. points: the map's points
// in another frame (PointsInFrame), named by frameName in the file's
// comment; the map's own (the output frame) when not given. False with the
// reason when the file cannot be written (the file is then left as it was).
bool WriteDensePly(const std::string& path, const DenseRangeMap& map,
                   const std::vector<uint8_t>& grey, bool binary, std::string* error,
                   const std::vector<float>* points = nullptr,
                   const std::string& frameName = "output frame");

// Band 1..3: x, y, z of the pixel's point (metres, output frame or the frame
// of points), NaN where nothing was matched.
bool WriteXyzTiff(const std::string& path, const DenseRangeMap& map, std::string* error,
                  const std::vector<float>* points = nullptr);

// The colours of ranges: the turbo colour map on a log scale from nearM to
// farM (metres; 0, 0: the map's 5th and 95th percentiles).
struct RangeColours {
    double nearM = 1.0;
    double farM = 10.0;
    std::array<uint8_t, 256 * 3> rgb{}; // the 256 steps from near to far

    // The step (0..255) of a range; ranges outside take the nearest end.
    int Step(double rangeM) const;
    const uint8_t* Colour(double rangeM) const { return rgb.data() + 3 * Step(rangeM); }
};
RangeColours RangeColoursOf(const DenseRangeMap& map, double nearM = 0.0, double farM = 0.0);

// The range of each pixel in colour on a log scale from near to far
// (metres; 0, 0: the map's 5th and 95th percentiles), over the dimmed left
// image where nothing was matched, with a legend in metres below.
RgbImage RangePicture(const DenseRangeMap& map, const std::vector<uint8_t>& grey,
                      double nearM = 0.0, double farM = 0.0);
