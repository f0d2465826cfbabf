// The stereo uncertainty of a measured point: a pixel uncertainty of each
// mark carried through both rays to the point's 3x3 covariance, and the miss
// distance of the two rays. The cameras, poses and options are those of the
// range calculation, so the spread belongs to the point it reports.
#pragma once

#include "analysis/MeasurementRecord.h"
#include "analysis/RangeCalc.h"

#include <memory>
#include <optional>
#include <string>

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

// The workspace's row for a successful calculation of input: its results,
// the pixels' sources, the uncertainty with the given pixel sigmas and the
// miss distance, stamped with timeUtc. The index is left for the session.
MeasurementRecord RecordOfCalculation(const RangeCalcInput& input, const RangeCalcResult& result,
                                      PixelSource leftSource, PixelSource rightSource,
                                      const PixelSigmas& sigmas, std::string timeUtc);
