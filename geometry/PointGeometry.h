// What two or more measured points say together: distance, height difference,
// slope and bearing between two points with their 1-sigma from the points'
// covariances, and the plane that best fits three or more.
#pragma once

#include "geometry/Point3D.h"

#include <array>
#include <string>
#include <vector>

using Covariance3 = std::array<std::array<double, 3>, 3>;

struct ValueWithSigma {
    double value = 0.0;
    double sigma = 0.0; // 1-sigma; 0 when the points carry no covariance
};

// From the first point to the second, in the output frame (Z up).
struct PointPairResult {
    ValueWithSigma distanceM;           // straight
    ValueWithSigma horizontalDistanceM; // in the plane z = 0
    ValueWithSigma heightDifferenceM;   // second minus first
    ValueWithSigma slopeDeg;            // above the horizontal, -90 to 90
    // Degrees from +X, clockwise when seen from above (toward -Y), -180 to
    // 180, as the range calculation reports azimuths; 0 with no horizontal
    // separation.
    ValueWithSigma bearingDeg;
};

// Sigmas by first-order propagation of both covariances (the points' errors
// taken as independent). A bearing or slope of points with no horizontal or
// no separation at all has sigma 0.
PointPairResult ComparePoints(const CPoint3D& first, const Covariance3& firstCovariance,
                              const CPoint3D& second, const Covariance3& secondCovariance);

struct PlaneFitResult {
    bool ok = false;
    std::string message; // why not, when not ok
    CPoint3D centroid;   // the plane passes through it
    CPoint3D normal;     // unit, pointing up (z >= 0)
    double dipDeg = 0.0; // tilt from the horizontal, 0 to 90
    // Bearing (as ComparePoints) of the steepest way down; 0 for a level plane.
    double dipDirectionDeg = 0.0;
    double rmsDistanceM = 0.0; // of the points from the plane
};

// Least squares (orthogonal distances). Fails for fewer than three points or
// points on one line.
PlaneFitResult FitPlane(const std::vector<CPoint3D>& points);
