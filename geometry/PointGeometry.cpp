#include "geometry/PointGeometry.h"

#include <Eigen/Eigenvalues>

#include <cmath>
#include <numbers>

namespace {

constexpr double kDegPerRad = 180.0 / std::numbers::pi;

double Spread(const Covariance3& c, const double g[3]) {
    double s = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            s += g[i] * c[i][j] * g[j];
        }
    }
    return std::sqrt(std::max(s, 0.0));
}

// Clockwise from +X seen from above, as the range calculation's azimuth.
double Bearing(double dx, double dy) {
    return (dx == 0.0 && dy == 0.0) ? 0.0 : std::atan2(-dy, dx) * kDegPerRad;
}

} // namespace

PointPairResult ComparePoints(const CPoint3D& first, const Covariance3& c1, const CPoint3D& second,
                              const Covariance3& c2) {
    Covariance3 c{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            c[i][j] = c1[i][j] + c2[i][j];
        }
    }
    const double dx = second.m_dX - first.m_dX;
    const double dy = second.m_dY - first.m_dY;
    const double dz = second.m_dZ - first.m_dZ;
    const double h2 = dx * dx + dy * dy;
    const double h = std::sqrt(h2);
    const double l2 = h2 + dz * dz;
    const double l = std::sqrt(l2);

    PointPairResult r;
    r.distanceM.value = l;
    r.horizontalDistanceM.value = h;
    r.heightDifferenceM.value = dz;
    r.slopeDeg.value = l > 0.0 ? std::atan2(dz, h) * kDegPerRad : 0.0;
    r.bearingDeg.value = Bearing(dx, dy);

    const double up[3] = {0.0, 0.0, 1.0};
    r.heightDifferenceM.sigma = Spread(c, up);
    if (l > 0.0) {
        const double g[3] = {dx / l, dy / l, dz / l};
        r.distanceM.sigma = Spread(c, g);
    }
    if (h > 0.0) {
        const double g[3] = {dx / h, dy / h, 0.0};
        r.horizontalDistanceM.sigma = Spread(c, g);
        const double s[3] = {-dz * dx / (h * l2), -dz * dy / (h * l2), h / l2};
        r.slopeDeg.sigma = Spread(c, s) * kDegPerRad;
        const double b[3] = {dy / h2, -dx / h2, 0.0};
        r.bearingDeg.sigma = Spread(c, b) * kDegPerRad;
    }
    return r;
}

PlaneFitResult FitPlane(const std::vector<CPoint3D>& points) {
    PlaneFitResult r;
    if (points.size() < 3) {
        r.message = "A plane needs at least three points";
        return r;
    }
    Eigen::Vector3d mean = Eigen::Vector3d::Zero();
    for (const CPoint3D& p : points) {
        mean += Eigen::Vector3d(p.m_dX, p.m_dY, p.m_dZ);
    }
    mean /= static_cast<double>(points.size());
    Eigen::Matrix3d scatter = Eigen::Matrix3d::Zero();
    for (const CPoint3D& p : points) {
        const Eigen::Vector3d d = Eigen::Vector3d(p.m_dX, p.m_dY, p.m_dZ) - mean;
        scatter += d * d.transpose();
    }
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eig(scatter);
    if (eig.info() != Eigen::Success) {
        r.message = "The plane could not be fitted";
        return r;
    }
    // Eigenvalues ascend: the smallest spread is the normal, and the middle
    // one must be real spread, or the points lie on a line.
    const Eigen::Vector3d values = eig.eigenvalues();
    if (!(values(1) > 1e-12 * std::max(values(2), 1e-300))) {
        r.message = "The points lie on one line";
        return r;
    }
    Eigen::Vector3d n = eig.eigenvectors().col(0).normalized();
    if (n.z() < 0.0) {
        n = -n;
    }
    double sum = 0.0;
    for (const CPoint3D& p : points) {
        const double d = n.dot(Eigen::Vector3d(p.m_dX, p.m_dY, p.m_dZ) - mean);
        sum += d * d;
    }
    r.ok = true;
    r.centroid = {mean.x(), mean.y(), mean.z()};
    r.normal = {n.x(), n.y(), n.z()};
    r.dipDeg = std::acos(std::min(1.0, n.z())) * kDegPerRad;
    // The normal of an upward-facing plane leans toward the way down.
    r.dipDirectionDeg = Bearing(n.x(), n.y());
    r.rmsDistanceM = std::sqrt(sum / static_cast<double>(points.size()));
    return r;
}
