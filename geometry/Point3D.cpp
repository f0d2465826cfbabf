#include "geometry/Point3D.h"

#include <cmath>

const double kPi = std::acos(-1.0);

double AngleDeg(const CPoint3D& a, const CPoint3D& b) {
    const double m = a.Length() * b.Length();
    if (m < DBL_EPSILON) {
        return 0.0;
    }
    double c = Dot(a, b) / m;
    if (c >= 1.0) {
        c = 1.0;
    } else if (c <= -1.0) {
        c = -1.0;
    }
    return std::acos(c) * 180.0 / kPi;
}

CPoint3D ProjectOntoPlane(const CPoint3D& n, const CPoint3D& v) {
    const double n2 = n.m_dX * n.m_dX + n.m_dY * n.m_dY + n.m_dZ * n.m_dZ;
    if (n2 == 0.0) {
        return {0.0, 0.0, 0.0};
    }
    return v - (n * Dot(v, n)) / n2;
}

double SignedComponent(const CPoint3D& axis, const CPoint3D& v) {
    const double a2 = axis.m_dX * axis.m_dX + axis.m_dY * axis.m_dY + axis.m_dZ * axis.m_dZ;
    if (a2 == 0.0) {
        return 0.0;
    }
    const double d = Dot(v, axis);
    const CPoint3D w = (axis * d) / a2;
    return d < 0.0 ? -w.Length() : w.Length();
}

CQuat RotationBetween(const CPoint3D& u, const CPoint3D& v) {
    const CPoint3D uh = u.Normalized();
    const CPoint3D vh = v.Normalized();
    const double s = std::sqrt(2.0 * (1.0 + Dot(uh, vh)));
    if (s == 0.0) {
        return {0.0, {0.0, 0.0, 1.0}};
    }
    return {s * 0.5, Cross(uh, vh) / s};
}

CQuat FromAxisAngleDeg(const CPoint3D& axis, double deg) {
    const double h = deg * kPi / 180.0 * 0.5;
    if (h == 0.0) {
        // cos(+-0) is 1 and sin(+-0) is +-0 exactly: skip the library calls
        // for the common "no turn" case.
        return {1.0, axis * h};
    }
    return {std::cos(h), axis * std::sin(h)};
}

PointTriple TripleDifference(const PointTriple& a, const PointTriple& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

CPoint3D TripleCentroid(const PointTriple& t) {
    return ((t[1] + t[0]) + t[2]) / 3.0;
}

CPoint3D TripleNormal(const PointTriple& t) {
    return Cross(t[1] - t[0], t[2] - t[0]).Normalized();
}

PointTriple RotateTriple(const PointTriple& t, const CQuat& q) {
    const CQuat qi = q.Inverse();
    PointTriple r;
    for (int i = 0; i < 3; ++i) {
        r[i] = ((q * CQuat(0.0, t[i])) * qi).m_ptVec;
    }
    return r;
}
