// Automatic correspondences between two vertex files of the same scene
// measured from two positions: the largest set of vertex pairs that one
// rigid motion carries onto each other, found without any pair given.
#pragma once

#include "geometry/Point3D.h"
#include "registration/LeastSquaresRegistration.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// More vertices than this in either file are refused: the search keeps the
// reference file's pairwise distances in memory.
inline constexpr std::size_t kMaxCorrespondenceVertices = 2000;

// A given tolerance outside these bounds is refused: below, cells of the
// search grid have no size; above, every vertex is near every other and
// any motion "fits".
inline constexpr double kMinCorrespondenceToleranceM = 1e-4;
inline constexpr double kMaxCorrespondenceToleranceM = 100.0;

// The tolerance used when none is given: 3 % of the median range (distance
// from the frame's origin) over the vertices of both files, kept between
// 5 cm and 2 m; stereo range errors grow with range.
double DefaultCorrespondenceToleranceM(const std::vector<CPoint3D>& source,
                                       const std::vector<CPoint3D>& reference);

struct CorrespondenceOptions {
    // How far a moved source vertex may lie from its reference partner;
    // nothing (or a value that is not positive and finite): the default.
    std::optional<double> toleranceM;
    // A second, different motion whose pair count reaches this share of the
    // best one's makes the scene ambiguous.
    double ambiguityShare = 0.85;
    unsigned seed = 1; // the search is random but repeatable
    // The search stops here whatever it has found (a scene whose vertices
    // all look alike could otherwise keep it busy for hours).
    std::chrono::milliseconds timeLimit{20000};
};

struct CorrespondenceResult {
    enum class Status {
        kFound,
        kTooFewVertices, // a file has fewer than 3 vertices
        kTooManyVertices,
        kTooFewPairs,  // fewer than 3 vertex pairs agree on any motion
        kAmbiguous,    // two different motions fit about equally well
        kBadTolerance, // the given tolerance lies outside the bounds above
    };
    Status status = Status::kTooFewPairs;
    std::string message; // why the search was refused; empty when kFound

    double toleranceM = 0.0;
    // The pairs, by source index; each vertex is in at most one pair and
    // every pair's residual is within the tolerance.
    std::vector<IndexPair> pairs;
    LeastSquaresResult fit; // the least-squares fit over the pairs
    // For kAmbiguous: the pair counts of the two best different motions.
    std::size_t bestCount = 0;
    std::size_t runnerUpCount = 0;
    bool stoppedEarly = false; // the work or time limit ended the search

    bool Found() const { return status == Status::kFound; }
};

CorrespondenceResult FindCorrespondences(const std::vector<CPoint3D>& source,
                                         const std::vector<CPoint3D>& reference,
                                         const CorrespondenceOptions& options = {});
