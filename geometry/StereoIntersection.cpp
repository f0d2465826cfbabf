#include "geometry/StereoIntersection.h"

#include "base/Messages.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

CPoint3D ClosestApproach(CPoint3D& a, CPoint3D& b, const CPoint3D& pa, const CPoint3D& pb,
                         double& ta, double& tb) {
    a = a.Normalized();
    b = b.Normalized();
    const CPoint3D c = Cross(a, b);
    const double len = std::sqrt(Dot(c, c));
    const double n = len * len;
    if (n == 0.0) {
        ta = 0.0;
        tb = 0.0;
        return CPoint3D::Invalid();
    }
    const CPoint3D w = pb - pa;
    ta = Dot(w, Cross(b, c)) / n;
    tb = Dot(w, Cross(a, c)) / n;
    return ((pa + a * ta) + (pb + b * tb)) * 0.5;
}

CStereoIntersector::CStereoIntersector(const CameraModel& left, const CameraModel& right, bool b2D,
                                       const CPoint3D* rlVector, double azCorrL, double azCorrR)
    : m_b2D(b2D), m_bHasRL(rlVector != nullptr), m_ptRL(rlVector ? *rlVector : CPoint3D()) {
    m_left.model = &left;
    m_right.model = &right;
    // The plain intersection applies the image pointing only when both images
    // have poses; the R-L variant always does (both have poses).
    m_bApplyPointing = m_bHasRL || (left.m_pose && right.m_pose);
    m_left.turn = FromAxisAngleDeg(kZAxis, -azCorrL);
    m_right.turn = FromAxisAngleDeg(kZAxis, -azCorrR);
}

const CStereoIntersector::Ray& CStereoIntersector::CastRay(Side& side, bool right, double x,
                                                           double y) {
    for (const Ray& r : side.cache) {
        // Bitwise equality: the same pixel, down to the sign of a zero.
        if (r.used && std::bit_cast<std::uint64_t>(r.x) == std::bit_cast<std::uint64_t>(x) &&
            std::bit_cast<std::uint64_t>(r.y) == std::bit_cast<std::uint64_t>(y)) {
            for (const std::string& m : r.messages) {
                ReportMessage(m);
            }
            return r;
        }
    }
    Ray& r = side.cache[side.next];
    side.next = (side.next + 1) % side.cache.size();
    r.x = x;
    r.y = y;
    r.used = true;
    r.messages.clear();
    CPoint3D c;
    CPoint3D d;
    {
        CollectingMessageSink sink;
        ScopedMessageSink scope(&sink);
        CameraPoseRay(*side.model, x, y, m_bApplyPointing, c, d);
        r.messages = std::move(sink.m_vMessages);
    }
    for (const std::string& m : r.messages) {
        ReportMessage(m);
    }
    if (right && m_bHasRL) {
        c = m_ptRL + c;
    }
    if (m_b2D) {
        d = ProjectOntoPlane(kZAxis, d).Normalized();
    }
    r.centre = RotateVector(c, side.turn);
    r.direction = RotateVector(d, side.turn);
    return r;
}

CPoint3D CStereoIntersector::Intersect(double xL, double yL, double xR, double yR, double& range) {
    const Ray& left = CastRay(m_left, false, xL, yL);
    CPoint3D dL = left.direction;
    const CPoint3D cL = left.centre;
    const Ray& right = CastRay(m_right, true, xR, yR);
    CPoint3D dR = right.direction;
    double tL = 0.0;
    double tR = 0.0;
    const CPoint3D p = ClosestApproach(dL, dR, cL, right.centre, tL, tR);
    if (tL < 0.0 || tR < 0.0) {
        range = DBL_MAX;
        return CPoint3D::Invalid();
    }
    range = p.Length();
    // Parallel rays give the invalid point, whose length overflows; a range
    // that is not a finite number is a failure like a crossing behind a camera.
    if (!(range < DBL_MAX)) {
        range = DBL_MAX;
        return CPoint3D::Invalid();
    }
    return p;
}

CPoint3D StereoIntersect(const CameraModel& left, const CameraModel& right, bool b2D, double xL,
                         double yL, double xR, double yR, double azCorrL, double azCorrR,
                         double& range) {
    CStereoIntersector in(left, right, b2D, nullptr, azCorrL, azCorrR);
    return in.Intersect(xL, yL, xR, yR, range);
}

CPoint3D StereoIntersectRL(const CameraModel& left, const CameraModel& right, bool b2D,
                           const CPoint3D& rlVector, double xL, double yL, double xR, double yR,
                           double azCorrL, double azCorrR, double& range) {
    CStereoIntersector in(left, right, b2D, &rlVector, azCorrL, azCorrR);
    return in.Intersect(xL, yL, xR, yR, range);
}
