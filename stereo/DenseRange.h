// A range for every pixel of the left image: semi-global matching on the
// rectified pair (left-right check, sub-pixel disparity, speckle filter),
// the matches taken back to original pixels, and each point intersected
// through the pair's own camera models, as a clicked measurement of the same
// two pixels is.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"
#include "matching/GreyImage.h"
#include "stereo/Rectification.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct DenseOptions {
    double minRangeM = 0.5; // nearest range searched for
    double maxRangeM = 0.0; // points farther than this are dropped; 0 keeps all
    // Pairs wider than this (rectified) are matched at a reduced scale.
    int maxMatchWidth = 2600;
    // The disparity's 1-sigma uncertainty, in pixels at the scale matched.
    double disparitySigmaPx = 0.3;
    // Called now and then with the fraction done; false cancels.
    std::function<bool(double)> progress;
};

// One pixel of the map.
struct DensePoint {
    ImagePoint left;
    ImagePoint right;   // its partner in the original right image
    CPoint3D position;  // the point in the pair's output frame (metres)
    double range = 0.0; // from the output frame's origin, as a measurement's range
    double rangeSigma = 0.0;
};

struct DenseSummary {
    int width = 0;
    int height = 0;
    long long valid = 0;
    double validFraction = 0.0;
    // Range percentiles over the valid pixels: 5, 25, 50, 75, 95 (metres).
    double rangePercentiles[5] = {0, 0, 0, 0, 0};
    double minDisparity = 0.0; // searched (rectified pixels)
    double maxDisparity = 0.0;
    int matchScale = 1; // 1: matched at full resolution
};

class DenseRangeMap {
public:
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Empty() const { return m_width == 0; }

    // The map at a pixel of the left image (nearest pixel); no value where
    // nothing was matched. Cheap: for a hover readout.
    std::optional<DensePoint> At(const ImagePoint& left) const;
    // Where a point of the left image appears in the right one, by the
    // disparity map; no value where nothing was matched.
    std::optional<ImagePoint> Partner(const ImagePoint& left) const;
    // The disparity (rectified pixels) at a rectified left pixel; NaN where none.
    float RectifiedDisparity(const ImagePoint& rectifiedLeft) const;

    // Per left pixel, row-major: x, y, z (NaN where invalid), and the range sigma.
    const std::vector<float>& Xyz() const { return m_xyz; }
    const std::vector<float>& RangeSigma() const { return m_sigma; }
    float RangeAt(int x, int y) const;
    const DenseSummary& Summary() const { return m_summary; }
    // The 1-sigma of a disparity in full-resolution rectified pixels, as the
    // range sigmas assume it.
    double DisparitySigmaPx() const { return m_disparitySigmaPx; }
    const StereoRectification& Rectification() const { return *m_rect; }

private:
    friend struct DenseBuilder;
    int m_width = 0;
    int m_height = 0;
    std::vector<float> m_xyz;
    std::vector<float> m_sigma;
    // Disparity on the rectified left image at 1/m_scale resolution, in
    // full-resolution pixels; NaN where invalid.
    std::vector<float> m_disp;
    int m_dispW = 0;
    int m_dispH = 0;
    int m_scale = 1;
    double m_disparitySigmaPx = 0.0;
    std::shared_ptr<const StereoRectification> m_rect;
    DenseSummary m_summary;
};

struct DenseResult {
    bool ok = false;
    bool cancelled = false;
    std::string problem; // why there is no map
    DenseRangeMap map;
    double seconds = 0.0;
};

// The images must have the sizes the rectification was made for.
DenseResult ComputeDenseRange(std::shared_ptr<const StereoRectification> rect,
                              const GreyImage& left, const GreyImage& right,
                              const DenseOptions& options = {});
