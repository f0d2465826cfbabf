#include "stereo/ImageEllipse.h"

#include <algorithm>
#include <cmath>
#include <numbers>

ImageEllipseResult ProjectErrorEllipse(const ICameraProjection& camera, const CPoint3D& point,
                                       const Covariance3& c) {
    ImageEllipseResult res;
    const auto centre = camera.PointToPixel(point);
    if (!centre) {
        res.message = "the point does not project into the image";
        return res;
    }
    // Central differences a tenth of the point's spread wide: the projection
    // is close to linear over the ellipsoid, and the step stays well above
    // rounding at the point's distance.
    const double spread = std::sqrt(std::max(0.0, (c[0][0] + c[1][1] + c[2][2]) / 3.0));
    const double step = std::max({0.1 * spread, 1e-9 * point.Length(), 1e-9});
    double jac[2][3] = {};
    for (int k = 0; k < 3; ++k) {
        CPoint3D d;
        (k == 0 ? d.m_dX : k == 1 ? d.m_dY : d.m_dZ) = step;
        const auto plus = camera.PointToPixel(point + d);
        const auto minus = camera.PointToPixel(point - d);
        if (!plus || !minus) {
            res.message = "points next to the point do not project into the image";
            return res;
        }
        jac[0][k] = (plus->x - minus->x) / (2.0 * step);
        jac[1][k] = (plus->y - minus->y) / (2.0 * step);
    }
    ImageEllipse& e = res.ellipse;
    e.centrePx = *centre;
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) {
                for (int l = 0; l < 3; ++l) {
                    s += jac[i][k] * c[k][l] * jac[j][l];
                }
            }
            e.covariancePx2[i][j] = s;
        }
    }
    // Eigenvalues of the symmetric 2x2 matrix.
    const double a = e.covariancePx2[0][0];
    const double b = 0.5 * (e.covariancePx2[0][1] + e.covariancePx2[1][0]);
    const double d = e.covariancePx2[1][1];
    const double mean = 0.5 * (a + d);
    const double radius = std::hypot(0.5 * (a - d), b);
    e.semiMajorPx = std::sqrt(std::max(0.0, mean + radius));
    e.semiMinorPx = std::sqrt(std::max(0.0, mean - radius));
    e.majorAngleRad = 0.5 * std::atan2(2.0 * b, a - d);
    if (!std::isfinite(e.semiMajorPx) || !std::isfinite(e.majorAngleRad)) {
        res.message = "the spread does not project to a finite ellipse";
        return res;
    }
    res.ok = true;
    return res;
}

std::vector<ImagePoint> EllipseOutline(const ImageEllipse& e, const ImagePoint& centre,
                                       int segments) {
    std::vector<ImagePoint> points;
    segments = std::max(segments, 3);
    points.reserve(static_cast<std::size_t>(segments));
    const double ca = std::cos(e.majorAngleRad);
    const double sa = std::sin(e.majorAngleRad);
    // The angle advances by turning (cos t, sin t) a step at a time: one
    // sine and cosine per outline rather than per point (views draw many).
    const double step = 2.0 * std::numbers::pi / segments;
    const double cs = std::cos(step);
    const double ss = std::sin(step);
    double ct = 1.0;
    double st = 0.0;
    for (int i = 0; i < segments; ++i) {
        const double u = e.semiMajorPx * ct;
        const double v = e.semiMinorPx * st;
        points.push_back({centre.x + u * ca - v * sa, centre.y + u * sa + v * ca});
        const double next = ct * cs - st * ss;
        st = st * cs + ct * ss;
        ct = next;
    }
    return points;
}
