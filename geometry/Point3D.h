// Vectors, quaternions and point triples: the value types every geometric
// quantity in Ranvista is held in. Plain double arithmetic, nothing allocates,
// nothing throws; quaternions are never normalised behind the caller's back.
#pragma once

#include <array>
#include <cfloat>
#include <cmath>

// pi, computed once at start-up as acos(-1).
extern const double kPi;

class CPoint3D {
public:
    double m_dX = 0.0;
    double m_dY = 0.0;
    double m_dZ = 0.0;

    constexpr CPoint3D() = default;
    constexpr CPoint3D(double x, double y, double z) : m_dX(x), m_dY(y), m_dZ(z) {}

    // The no-result point: all three components DBL_MAX.
    static constexpr CPoint3D Invalid() { return {DBL_MAX, DBL_MAX, DBL_MAX}; }

    double Length() const { return std::sqrt(m_dX * m_dX + m_dY * m_dY + m_dZ * m_dZ); }
    // Unit vector; (0,0,0) for the zero vector.
    CPoint3D Normalized() const;
    constexpr CPoint3D FlipYZ() const { return {m_dX, -m_dY, -m_dZ}; }

    constexpr bool operator==(const CPoint3D&) const = default;
};

constexpr CPoint3D operator+(const CPoint3D& a, const CPoint3D& b) {
    return {a.m_dX + b.m_dX, a.m_dY + b.m_dY, a.m_dZ + b.m_dZ};
}
constexpr CPoint3D operator-(const CPoint3D& a, const CPoint3D& b) {
    return {a.m_dX - b.m_dX, a.m_dY - b.m_dY, a.m_dZ - b.m_dZ};
}
constexpr CPoint3D operator-(const CPoint3D& a) {
    return {-a.m_dX, -a.m_dY, -a.m_dZ};
}
constexpr CPoint3D operator*(const CPoint3D& a, double s) {
    return {a.m_dX * s, a.m_dY * s, a.m_dZ * s};
}
constexpr CPoint3D operator/(const CPoint3D& a, double s) {
    return {a.m_dX / s, a.m_dY / s, a.m_dZ / s};
}
inline CPoint3D CPoint3D::Normalized() const {
    const double n2 = m_dX * m_dX + m_dY * m_dY + m_dZ * m_dZ;
    if (n2 == 0.0) {
        return {0.0, 0.0, 0.0};
    }
    return *this / std::sqrt(n2);
}

constexpr double Dot(const CPoint3D& a, const CPoint3D& b) {
    return a.m_dX * b.m_dX + a.m_dY * b.m_dY + a.m_dZ * b.m_dZ;
}
constexpr CPoint3D Cross(const CPoint3D& a, const CPoint3D& b) {
    return {a.m_dY * b.m_dZ - a.m_dZ * b.m_dY, a.m_dZ * b.m_dX - a.m_dX * b.m_dZ,
            a.m_dX * b.m_dY - a.m_dY * b.m_dX};
}

inline constexpr CPoint3D kXAxis{1.0, 0.0, 0.0};
inline constexpr CPoint3D kYAxis{0.0, 1.0, 0.0};
inline constexpr CPoint3D kZAxis{0.0, 0.0, 1.0};
inline constexpr CPoint3D kOrigin{0.0, 0.0, 0.0};

// Angle between a and b in degrees, 0 to 180; 0 when either is (nearly) zero.
double AngleDeg(const CPoint3D& a, const CPoint3D& b);
// The part of v perpendicular to n; (0,0,0) for a zero normal.
CPoint3D ProjectOntoPlane(const CPoint3D& n, const CPoint3D& v);
// Scalar projection of v onto axis; 0 for a zero axis.
double SignedComponent(const CPoint3D& axis, const CPoint3D& v);

class CQuat {
public:
    double m_dS = 1.0;
    CPoint3D m_ptVec;

    constexpr CQuat() = default;
    constexpr CQuat(double s, const CPoint3D& v) : m_dS(s), m_ptVec(v) {}

    constexpr CQuat Conjugate() const { return {m_dS, -m_ptVec}; }
    // Conjugate over the squared norm; no guard against a zero quaternion.
    CQuat Inverse() const;

    constexpr bool operator==(const CQuat&) const = default;
};

constexpr CQuat operator+(const CQuat& q, const CQuat& p) {
    return {q.m_dS + p.m_dS, q.m_ptVec + p.m_ptVec};
}
constexpr CQuat operator-(const CQuat& q, const CQuat& p) {
    return {q.m_dS - p.m_dS, q.m_ptVec - p.m_ptVec};
}
// Hamilton product.
constexpr CQuat operator*(const CQuat& q, const CQuat& p) {
    return {q.m_dS * p.m_dS - Dot(q.m_ptVec, p.m_ptVec),
            q.m_ptVec * p.m_dS + p.m_ptVec * q.m_dS + Cross(q.m_ptVec, p.m_ptVec)};
}
constexpr CQuat operator/(const CQuat& q, double s) {
    return {q.m_dS / s, q.m_ptVec / s};
}

inline CQuat CQuat::Inverse() const {
    const double n2 = m_dS * m_dS + m_ptVec.m_dX * m_ptVec.m_dX + m_ptVec.m_dY * m_ptVec.m_dY +
                      m_ptVec.m_dZ * m_ptVec.m_dZ;
    return Conjugate() / n2;
}

// Vector part of q * (0; v) * conjugate(q): scaled by |q|^2 for a non-unit q.
inline CPoint3D RotateVector(const CPoint3D& v, const CQuat& q) {
    return ((q * CQuat(0.0, v)) * q.Conjugate()).m_ptVec;
}
// Shortest-arc rotation taking the direction of u to that of v.
CQuat RotationBetween(const CPoint3D& u, const CPoint3D& v);
// (cos(h); axis * sin(h)) with h = deg * pi / 180 / 2; the axis is used as given.
CQuat FromAxisAngleDeg(const CPoint3D& axis, double deg);

using PointTriple = std::array<CPoint3D, 3>;

PointTriple TripleDifference(const PointTriple& a, const PointTriple& b);
CPoint3D TripleCentroid(const PointTriple& t);
CPoint3D TripleNormal(const PointTriple& t);
// Rotates each point by q * (0; p) * inverse(q): exact for non-unit q.
PointTriple RotateTriple(const PointTriple& t, const CQuat& q);
