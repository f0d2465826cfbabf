// The epipolar curve: where, in the other image, the partner of a marked
// pixel can lie. The points of the marked pixel's ray from a near limit out
// to infinity are projected into the other camera; the result is a polyline
// from the nearest visible point to the far end (the vanishing point, or
// where the curve leaves the image), within a set tolerance of the true curve.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Projection.h"

#include <string>
#include <vector>

struct EpipolarOptions {
    double nearM = 0.5;       // nearest point along the ray, metres from its origin
    double tolerancePx = 0.1; // largest distance of the polyline from the true curve
};

struct EpipolarTick {
    double rangeM = 0.0; // range of the point from the origin of the common frame,
                         // as the range calculation reports it
    ImagePoint pixel;
};

struct EpipolarCurveResult {
    bool ok = false;
    std::string reason;             // why there is no curve
    std::vector<ImagePoint> points; // near to far, at least two when ok
    std::vector<double> distancesM; // of each point along the ray (infinity at the vanishing point)
    std::vector<EpipolarTick> ticks;    // 1, 2, 5, 10, 20, 50 ... m, those on the curve
    bool reachesVanishingPoint = false; // the far end is the image of infinity
};

// pixel lies in the image of from; the curve is drawn in the image of to,
// width x height pixels (pixel centres 0..width-1; the image spans -0.5 to
// width-0.5). Fails when the pixel has no ray or no part of the ray beyond
// the near limit appears in the image.
EpipolarCurveResult EpipolarCurve(const ICameraProjection& from, const ICameraProjection& to,
                                  const ImagePoint& pixel, int width, int height,
                                  const EpipolarOptions& options = {});
