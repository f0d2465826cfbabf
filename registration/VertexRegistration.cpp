#include "registration/VertexRegistration.h"

#include "base/AtomicFile.h"
#include "base/Format.h"
#include "base/Messages.h"
#include "registration/Registration.h"
#include "registration/VertexFile.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace {

RegisterFilesResult Refused(RegisterFilesResult res, const std::string& message) {
    ReportMessage(message);
    res.status = RegisterFilesResult::Status::kRefused;
    res.message = message;
    return res;
}

} // namespace

bool WriteMovedVertices(const std::string& outputPath, const std::vector<CPoint3D>& source,
                        const RigidMotion& motion) {
    AtomicFileWriter output(outputPath);
    bool ok = output.Created();
    std::string chunk;
    for (size_t i = 0; ok && i < source.size(); ++i) {
        AppendVertexLine(chunk, motion.Apply(source[i]));
        if (chunk.size() >= (1u << 20)) {
            ok = output.Write(chunk);
            chunk.clear();
        }
    }
    std::string error;
    ok = ok && output.Write(chunk) && output.Commit(&error);
    if (!ok) {
        ReportMessage(StrFormat("Unable to create %s: %s", outputPath.c_str(),
                                (error.empty() ? output.Error() : error).c_str()));
    }
    return ok;
}

PairPointsResult PairPoints(const std::vector<CPoint3D>& source,
                            const std::vector<CPoint3D>& reference,
                            const std::vector<IndexPair>& pairs) {
    PairPointsResult res;
    std::unordered_map<std::uint64_t, size_t> firstOf; // pair -> where it first came
    for (size_t k = 0; k < pairs.size(); ++k) {
        const IndexPair& p = pairs[k];
        if (p.source >= source.size() || p.reference >= reference.size()) {
            const bool src = p.source >= source.size();
            res.message = StrFormat(
                "Unable to register: pair %zu (%u:%u) names %s vertex %u, but the %s file has "
                "%zu vertices",
                k + 1, p.source, p.reference, src ? "source" : "reference",
                src ? p.source : p.reference, src ? "source" : "reference",
                src ? source.size() : reference.size());
            res.source.clear();
            res.reference.clear();
            return res;
        }
        // A pair given twice would weigh twice in the fit.
        const std::uint64_t key = (std::uint64_t{p.source} << 32) | p.reference;
        if (const auto [first, added] = firstOf.emplace(key, k); !added) {
            res.message = StrFormat("Unable to register: pair %zu (%u:%u) repeats pair %zu", k + 1,
                                    p.source, p.reference, first->second + 1);
            res.source.clear();
            res.reference.clear();
            return res;
        }
        res.source.push_back(source[p.source]);
        res.reference.push_back(reference[p.reference]);
    }
    return res;
}

RegisterFilesResult RegisterVertexFiles(const std::string& sourcePath,
                                        const std::string& referencePath,
                                        const RegisterFilesOptions& options) {
    RegisterFilesResult res;
    res.outputPath = TransformedPath(sourcePath);
    const auto source = ReadVertexFile(sourcePath);
    if (!source) {
        res.message = StrFormat("Unable to open %s", sourcePath.c_str());
        return res;
    }
    const auto reference = ReadVertexFile(referencePath);
    if (!reference) {
        res.message = StrFormat("Unable to open %s", referencePath.c_str());
        return res;
    }

    res.automatic = options.pairs.empty();
    if (res.automatic) {
        CorrespondenceOptions search;
        search.toleranceM = options.toleranceM;
        CorrespondenceResult found = FindCorrespondences(*source, *reference, search);
        res.toleranceM = found.toleranceM;
        if (!found.Found()) {
            return Refused(std::move(res), found.message);
        }
        res.pairs = std::move(found.pairs);
        res.fit = std::move(found.fit);
    } else {
        res.pairs = options.pairs;
        PairPointsResult points = PairPoints(*source, *reference, res.pairs);
        if (!points.Ok()) {
            return Refused(std::move(res), points.message);
        }
        for (const size_t k : FlagOutlierPairs(points.source, points.reference)) {
            res.outliers.push_back(res.pairs[k]);
        }
        if (options.dropOutliers && !res.outliers.empty()) {
            std::vector<IndexPair> kept;
            for (const IndexPair& p : res.pairs) {
                if (std::find(res.outliers.begin(), res.outliers.end(), p) == res.outliers.end()) {
                    kept.push_back(p);
                }
            }
            res.pairs = std::move(kept);
            res.outliersDropped = true;
            points = PairPoints(*source, *reference, res.pairs);
        }
        res.fit = RegisterLeastSquares(points.source, points.reference);
        if (!res.fit.Ok()) {
            const std::string message = res.fit.message;
            return Refused(std::move(res), message);
        }
    }

    if (!WriteMovedVertices(res.outputPath, *source, res.fit.motion)) {
        res.message = StrFormat("Unable to create %s", res.outputPath.c_str());
        return res;
    }
    res.nVertices = source->size();
    res.status = RegisterFilesResult::Status::kWritten;
    return res;
}
