// The stereo uncertainty of a measured point: a pixel uncertainty of each
// mark carried through both rays to the point's 3x3 covariance, and the miss
// distance of the two rays. The cameras, poses and options are those of the
// range calculation, so the spread belongs to the point it reports.
#pragma once

#include "stereo/RangeCalc.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

// 1-sigma spread of a measured point in the output frame (metres): the
// covariance of the point and its square roots along the line of sight
// (range), along the horizontal direction to the point (down-range), across
// it (cross-range) and along Z (vertical).
struct PointUncertainty {
    std::array<std::array<double, 3>, 3> covarianceM2{};
    double rangeSigmaM = 0.0;
    double downRangeSigmaM = 0.0;
    double crossRangeSigmaM = 0.0;
    double verticalSigmaM = 0.0;
    bool operator==(const PointUncertainty&) const = default;
};

// 1-sigma of each pixel coordinate of a mark, in pixels: half a pixel for a
// click unless set otherwise.
struct PixelSigmas {
    double leftPx = 0.5;
    double rightPx = 0.5;
    bool operator==(const PixelSigmas&) const = default;
};

struct PointUncertaintyResult {
    bool ok = false;
    std::string message; // why not, when not ok
    PointUncertainty uncertainty;
    std::optional<double> missDistanceM; // closest approach of the two rays
};

// Linear propagation: the Jacobian of the intersection with respect to the
// four pixel coordinates (central differences) times the pixel covariance.
// Fails when the marked pixels, or pixels a fraction of a pixel away, do not
// intersect.
PointUncertaintyResult EstimatePointUncertainty(const RangeCalcInput& input,
                                                const PixelSigmas& sigmas = {});

// The 1-sigma figures of a covariance for a point at position (output frame,
// range measured from its origin).
PointUncertainty UncertaintyOfCovariance(const std::array<std::array<double, 3>, 3>& covarianceM2,
                                         const CPoint3D& position);

// One intersection with the options of input at the given pixels: what the
// range calculation computes for its marked pixels. Nothing on failure.
// For many calls on one pair, use PairIntersector.
class PairIntersector {
public:
    explicit PairIntersector(const RangeCalcInput& input);
    ~PairIntersector();
    PairIntersector(const PairIntersector&) = delete;
    PairIntersector& operator=(const PairIntersector&) = delete;
    std::optional<CPoint3D> Intersect(double xL, double yL, double xR, double yR);
    // Distance between the two rays at their closest approach; nothing when
    // a ray cannot be cast or they are parallel.
    std::optional<double> MissDistance(double xL, double yL, double xR, double yR) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
