// Registering one vertex file onto another over any number of vertex pairs,
// given or found automatically, and writing the moved source vertices to
// the transform's output file (<folder><title>_trnsfrmd.<extension>, one
// "%lf\t%lf\t%lf" CR LF line per source vertex).
#pragma once

#include "geometry/Point3D.h"
#include "registration/Correspondence.h"
#include "registration/LeastSquaresRegistration.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Writes every source vertex, moved, to outputPath in one piece (a failure
// leaves any old file there untouched and reports "Unable to create %s").
bool WriteMovedVertices(const std::string& outputPath, const std::vector<CPoint3D>& source,
                        const RigidMotion& motion);

// The source and reference points of the pairs, or a message naming the
// first pair whose index lies beyond its file.
struct PairPointsResult {
    std::vector<CPoint3D> source;
    std::vector<CPoint3D> reference;
    std::string message; // empty when every index is in range
    bool Ok() const { return message.empty(); }
};
PairPointsResult PairPoints(const std::vector<CPoint3D>& source,
                            const std::vector<CPoint3D>& reference,
                            const std::vector<IndexPair>& pairs);

struct RegisterFilesOptions {
    // The pairs to register over; none: they are found automatically.
    std::vector<IndexPair> pairs;
    std::optional<double> toleranceM; // for the automatic search; default derived
    bool dropOutliers = false;        // register without the flagged pairs
};

struct RegisterFilesResult {
    enum class Status {
        kWritten, // registered; the output file was written
        kRefused, // no registration (too few, bad or ambiguous pairs): no output
        kFailed,  // an input could not be read or the output not written
    };
    Status status = Status::kFailed;
    std::string message; // for kRefused and kFailed, as reported

    bool automatic = false;
    std::optional<double> toleranceM; // the automatic search's tolerance
    std::vector<IndexPair> pairs;     // the pairs the registration used
    LeastSquaresResult fit;           // over pairs: motion, residuals, RMS, warning
    std::vector<IndexPair> outliers;  // pairs flagged beyond 3 sigma of the rest
    bool outliersDropped = false;     // ...and left out of pairs and fit
    std::string outputPath;
    std::size_t nVertices = 0; // vertex lines written
};

// Reads both files, registers (over the given pairs, or over pairs found
// automatically) and writes the moved source file. Refusals and failures are
// reported through ReportMessage; a collinearity warning is only returned.
RegisterFilesResult RegisterVertexFiles(const std::string& sourcePath,
                                        const std::string& referencePath,
                                        const RegisterFilesOptions& options);
