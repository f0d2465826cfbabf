// Three-point frame registration: re-expresses the vertices of one vertex
// file in the frame of another from three vertices common to both. The
// mapping is rigid (one rotation, one translation).
#pragma once

#include "geometry/Point3D.h"

#include <array>
#include <cfloat>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Registration {
    CQuat q;         // the rotation: first the plane alignment, then the in-plane turn
    CPoint3D offset; // centroid of the reference triple - centroid of the source triple
    // Best summed distance between the turned source triple and the reference
    // triple; DBL_MAX when no candidate turn passed.
    double dResidual = DBL_MAX;
};

// Registers the source triple s onto the reference triple r.
Registration RegisterThreePoints(const PointTriple& s, const PointTriple& r);

// True when a triple spans no plane: a side of zero length, or
// |(P1-P0) x (P2-P0)| <= 1e-9 |P1-P0| |P2-P0| (and whenever that cannot be
// decided because of a NaN).
bool IsDegenerateTriple(const PointTriple& t);

// The output file of a transform: <folder><title>_trnsfrmd.<extension>.
std::string TransformedPath(const std::string& sourcePath);

struct TransformResult {
    enum class Status {
        kWritten, // the output file was written (possibly empty)
        kRefused, // a degenerate triple or an index out of range: no output file
        kFailed,  // an input could not be opened or the output not created
    };
    Status status = Status::kFailed;
    std::string sOutputPath;
    size_t nVertices = 0;           // vertex lines written
    std::optional<double> residual; // best summed distance, when registered
};

// The whole transform: reads both files, registers the chosen triples and
// writes every source vertex, moved, to TransformedPath(sourcePath).
// Messages ("Unable to open %s", "Unable to create %s: <why>", the refusal
// of a degenerate triple or of indices beyond the end of a file, a line too
// long for a vertex file) go through ReportMessage. Both inputs are read and
// the indices checked before the output is created: a refusal touches no
// file. The output is written in one piece: a failure never leaves a partial
// file.
TransformResult TransformVertexFile(const std::string& sourcePath, const std::string& referencePath,
                                    const std::array<std::uint32_t, 3>& sourceIndices,
                                    const std::array<std::uint32_t, 3>& referenceIndices);
