// Least-squares rigid registration: the rotation and translation that carry
// any number (three or more) of source points onto their reference partners
// with the smallest summed squared distance, how well each pair agrees, and
// which pairs disagree with the rest.
#pragma once

#include "geometry/Point3D.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A rigid motion: pointInReference = rotation(pointInSource) + translation.
// The rotation is a unit quaternion with a non-negative scalar part.
struct RigidMotion {
    CQuat rotation;
    CPoint3D translationM;

    CPoint3D Apply(const CPoint3D& pointInSource) const {
        return RotateVector(pointInSource, rotation) + translationM;
    }
};

// One correspondence: a vertex index into the source file and one into the
// reference file (both 0-based).
struct IndexPair {
    std::uint32_t source = 0;
    std::uint32_t reference = 0;

    constexpr bool operator==(const IndexPair&) const = default;
};

// Below this spread ratio (see LeastSquaresResult::spreadRatio) the pairs
// are reported as nearly collinear; at or below kCollinearRefusal they fix no
// rotation and the fit is refused.
inline constexpr double kNearlyCollinearSpread = 0.05;
inline constexpr double kCollinearRefusal = 1e-6;

struct LeastSquaresResult {
    enum class Status {
        kOk,
        kTooFewPairs, // fewer than three pairs, or the two lists differ in length
        kCollinear,   // the source points lie on one line (or coincide): no rotation fixed
        kNotFinite,   // a coordinate is NaN or infinite
    };
    Status status = Status::kTooFewPairs;
    std::string message; // why the fit was refused; empty when kOk

    RigidMotion motion;
    std::vector<double> residualsM; // |motion(source[i]) - reference[i]| per pair
    double rmsM = 0.0;              // root mean square of residualsM

    // sqrt(second / largest eigenvalue) of the source points' scatter about
    // their centroid: 1 for points spread evenly in a plane or in space,
    // 0 for points on one line. It is the condition of the rotation about
    // the points' main axis.
    double spreadRatio = 0.0;
    bool nearlyCollinear = false; // spreadRatio < kNearlyCollinearSpread
    std::string warning;          // the collinearity warning's text, or empty

    bool Ok() const { return status == Status::kOk; }
};

// Registers source[i] onto reference[i] for every i (closed form: SVD of
// the cross-covariance with the reflection guard, so the result is always a
// proper rotation).
LeastSquaresResult RegisterLeastSquares(const std::vector<CPoint3D>& source,
                                        const std::vector<CPoint3D>& reference);

// Pairs whose residual is beyond three sigma of the rest. Works by trimming:
// the pair with the largest residual is flagged when its residual exceeds
// 3 * RMS of the other remaining pairs' residuals (and 1 micrometre); the
// fit is then repeated without it, until no pair is flagged. At least four
// pairs always remain, so fewer than five pairs flag nothing. Returns the
// flagged positions in the lists, ascending; empty when the fit fails.
std::vector<std::size_t> FlagOutlierPairs(const std::vector<CPoint3D>& source,
                                          const std::vector<CPoint3D>& reference);
