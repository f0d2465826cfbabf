#include "geometry/RayIntersection.h"

#include <cmath>

namespace {

bool Finite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

} // namespace

RayIntersectionResult IntersectRays(const Ray& first, const Ray& second,
                                    const RayIntersectionOptions& options) {
    RayIntersectionResult out;
    const CPoint3D a = first.direction.Normalized();
    const CPoint3D b = second.direction.Normalized();
    if (!Finite(first.origin) || !Finite(second.origin) || !Finite(a) || !Finite(b) ||
        Dot(a, a) == 0.0 || Dot(b, b) == 0.0) {
        out.message = "a ray has no finite origin or direction";
        return out;
    }
    // |a x b| = sin(angle), without the cancellation of 1 - (a.b)^2.
    const CPoint3D n = Cross(a, b);
    const double n2 = Dot(n, n);
    const double sinMin = std::sin(options.minAngleRad);
    if (!(n2 > sinMin * sinMin)) {
        out.status = RayIntersectionStatus::Parallel;
        out.message = "the rays are parallel";
        return out;
    }
    const CPoint3D w = second.origin - first.origin;
    out.tFirst = Dot(w, Cross(b, n)) / n2;
    out.tSecond = Dot(w, Cross(a, n)) / n2;
    out.closestOnFirst = first.origin + a * out.tFirst;
    out.closestOnSecond = second.origin + b * out.tSecond;
    out.point = (out.closestOnFirst + out.closestOnSecond) * 0.5;
    out.missDistance = (out.closestOnFirst - out.closestOnSecond).Length();
    if (!(out.tFirst > 0.0)) {
        out.status = RayIntersectionStatus::BehindFirst;
        out.message = "the rays cross behind the first camera";
    } else if (!(out.tSecond > 0.0)) {
        out.status = RayIntersectionStatus::BehindSecond;
        out.message = "the rays cross behind the second camera";
    } else {
        out.status = RayIntersectionStatus::Ok;
    }
    return out;
}
