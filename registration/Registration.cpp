#include "registration/Registration.h"

#include "base/AtomicFile.h"
#include "base/Format.h"
#include "base/Messages.h"
#include "base/Paths.h"
#include "registration/VertexFile.h"

#include <cmath>
#include <memory>
#include <tuple>

namespace {

double Norm2(const CQuat& q) {
    return q.m_dS * q.m_dS + Dot(q.m_ptVec, q.m_ptVec);
}

// Rotation of v by q, exact for a non-unit q.
CPoint3D RotateExact(const CPoint3D& v, const CQuat& q) {
    return ((q * CQuat(0.0, v)) * q.Inverse()).m_ptVec;
}

// The rotation that turns the source plane's normal onto the reference
// plane's: the shortest arc. For (nearly) opposite normals the shortest arc
// has no defined axis (the plain formula then turns about Z whatever the
// normals are, which leaves the planes apart); there the normal is first
// flipped by a half turn about an axis in the source plane, and the small
// rest is a shortest arc again.
CQuat PlaneAlignment(const CPoint3D& nS, const CPoint3D& nR) {
    const CQuat q1 = RotationBetween(nS, nR);
    if (nS.Length() == 0.0 || nR.Length() == 0.0) {
        return q1; // a degenerate triple: nothing to align
    }
    constexpr double kTolerance = 1e-9;
    if (std::fabs(Norm2(q1) - 1.0) <= kTolerance &&
        (RotateExact(nS, q1) - nR).Length() <= kTolerance) {
        return q1;
    }
    // The coordinate axis least aligned with nS gives a well-conditioned
    // axis perpendicular to it.
    const double ax = std::fabs(nS.m_dX);
    const double ay = std::fabs(nS.m_dY);
    const double az = std::fabs(nS.m_dZ);
    const CPoint3D helper = (ax <= ay && ax <= az) ? kXAxis : (ay <= az ? kYAxis : kZAxis);
    const CQuat flip(0.0, Cross(nS, helper).Normalized());
    return RotationBetween(-nS, nR) * flip;
}

} // namespace

Registration RegisterThreePoints(const PointTriple& s, const PointTriple& r) {
    Registration reg;
    const CPoint3D cS = TripleCentroid(s);
    const CPoint3D cR = TripleCentroid(r);
    reg.offset = cR - cS;
    const CPoint3D nS = TripleNormal(s);
    const CPoint3D nR = TripleNormal(r);
    PointTriple sc;
    PointTriple rc;
    for (int k = 0; k < 3; ++k) {
        sc[k] = s[k] - cS;
        rc[k] = r[k] - cR;
    }
    const CQuat q1 = PlaneAlignment(nS, nR);
    const PointTriple s2 = RotateTriple(sc, q1);

    // In-plane axes of the reference plane and the least-squares turn.
    const CPoint3D u = ProjectOntoPlane(nR, rc[0]).Normalized();
    const CPoint3D w = Cross(nR, u).Normalized();
    double s1 = 0.0;
    double s2sum = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double aU = SignedComponent(u, s2[k]);
        const double aW = SignedComponent(w, s2[k]);
        const double bU = SignedComponent(u, rc[k]);
        const double bW = SignedComponent(w, rc[k]);
        s1 += aU * bU + aW * bW;
        s2sum += aU * bW - aW * bU;
    }
    const double c = std::fabs(s1) / std::sqrt(s1 * s1 + s2sum * s2sum);
    const double candidates[4] = {-std::acos(-c), std::acos(-c), -std::acos(c), std::acos(c)};

    CQuat best; // identity
    for (const double theta : candidates) {
        if (!(s1 * std::cos(theta) + s2sum * std::sin(theta) > 0.0)) {
            continue;
        }
        const CQuat turn(std::cos(theta / 2.0), nR * std::sin(theta / 2.0));
        const PointTriple d = TripleDifference(RotateTriple(s2, turn), rc);
        const double residual = (d[1].Length() + d[0].Length()) + d[2].Length();
        if (residual < reg.dResidual) {
            best = turn;
            reg.dResidual = residual;
        }
    }
    reg.q = best * q1;
    return reg;
}

bool IsDegenerateTriple(const PointTriple& t) {
    const CPoint3D a = t[1] - t[0];
    const CPoint3D b = t[2] - t[0];
    const double la = a.Length();
    const double lb = b.Length();
    if (la == 0.0 || lb == 0.0 || (t[2] - t[1]).Length() == 0.0) {
        return true;
    }
    return !(Cross(a, b).Length() > 1e-9 * la * lb);
}

std::string TransformedPath(const std::string& sourcePath) {
    return PathFolder(sourcePath) + PathTitle(sourcePath) + "_trnsfrmd." +
           PathExtension(sourcePath);
}

namespace {

bool InRange(const std::array<std::uint32_t, 3>& indices, size_t count) {
    for (const std::uint32_t i : indices) {
        if (i >= count) {
            return false;
        }
    }
    return true;
}

PointTriple Pick(const std::vector<CPoint3D>& list, const std::array<std::uint32_t, 3>& idx) {
    return {list[idx[0]], list[idx[1]], list[idx[2]]};
}

std::string OutOfRangeMessage(const char* side, const std::array<std::uint32_t, 3>& idx,
                              size_t count) {
    return StrFormat("Unable to transform: the %s vertices %u, %u, %u are not all in the %s "
                     "file, which has %zu vertices (numbered from 0)",
                     side, idx[0], idx[1], idx[2], side, count);
}

std::string RefusalMessage(const char* side, const std::array<std::uint32_t, 3>& idx) {
    return StrFormat("Unable to transform: the %s vertices %u, %u, %u are collinear or "
                     "coincident, so they do not fix a frame",
                     side, idx[0], idx[1], idx[2]);
}

} // namespace

TransformResult TransformVertexFile(const std::string& sourcePath, const std::string& referencePath,
                                    const std::array<std::uint32_t, 3>& sourceIndices,
                                    const std::array<std::uint32_t, 3>& referenceIndices) {
    TransformResult res;
    res.sOutputPath = TransformedPath(sourcePath);
    // Both inputs are read whole before anything is written, so that a
    // reference named like the output is read as it was.
    const auto source = ReadVertexFile(sourcePath);
    if (!source) {
        return res;
    }
    const auto reference = ReadVertexFile(referencePath);
    if (!reference) {
        return res;
    }
    // Vertices that are not there fix no frame: refused like a degenerate
    // triple, and no file is touched.
    for (const auto& [side, list, idx] :
         {std::tuple{"source", &*source, &sourceIndices},
          std::tuple{"reference", &*reference, &referenceIndices}}) {
        if (!InRange(*idx, list->size())) {
            ReportMessage(OutOfRangeMessage(side, *idx, list->size()));
            res.status = TransformResult::Status::kRefused;
            return res;
        }
    }
    const PointTriple s = Pick(*source, sourceIndices);
    const PointTriple r = Pick(*reference, referenceIndices);
    const bool sourceBad = IsDegenerateTriple(s);
    if (sourceBad || IsDegenerateTriple(r)) {
        ReportMessage(sourceBad ? RefusalMessage("source", sourceIndices)
                                : RefusalMessage("reference", referenceIndices));
        res.status = TransformResult::Status::kRefused;
        return res;
    }
    // The output appears under its name only once it is complete; until
    // then it is a temporary file beside it.
    AtomicFileWriter output(res.sOutputPath);
    const auto cannotCreate = [&res, &output] {
        ReportMessage(
            StrFormat("Unable to create %s: %s", res.sOutputPath.c_str(), output.Error().c_str()));
        return res;
    };
    if (!output.Created()) {
        return cannotCreate();
    }
    {
        const Registration reg = RegisterThreePoints(s, r);
        const CPoint3D cS = TripleCentroid(s);
        const CPoint3D t = (cS - RotateVector(cS, reg.q) / Norm2(reg.q)) + reg.offset;
        std::string chunk;
        for (const CPoint3D& p : *source) {
            AppendVertexLine(chunk, RotateVector(p, reg.q) + t);
            if (chunk.size() >= (1u << 20)) {
                output.Write(chunk);
                chunk.clear();
            }
        }
        output.Write(chunk);
        res.nVertices = source->size();
        if (reg.dResidual < DBL_MAX) {
            res.residual = reg.dResidual;
        }
    }
    if (!output.Commit()) {
        res.nVertices = 0;
        res.residual.reset();
        return cannotCreate();
    }
    res.status = TransformResult::Status::kWritten;
    return res;
}
