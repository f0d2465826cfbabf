#include "registration/LeastSquaresRegistration.h"

#include "base/Format.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

Eigen::Vector3d ToEigen(const CPoint3D& p) {
    return {p.m_dX, p.m_dY, p.m_dZ};
}

CPoint3D FromEigen(const Eigen::Vector3d& v) {
    return {v.x(), v.y(), v.z()};
}

bool IsFinite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

Eigen::Vector3d Centroid(const std::vector<CPoint3D>& points) {
    // Summed about the first point so that far-away clouds keep their
    // precision.
    const Eigen::Vector3d origin = ToEigen(points.front());
    Eigen::Vector3d sum = Eigen::Vector3d::Zero();
    for (const CPoint3D& p : points) {
        sum += ToEigen(p) - origin;
    }
    return origin + sum / static_cast<double>(points.size());
}

LeastSquaresResult Refuse(LeastSquaresResult::Status status, std::string message) {
    LeastSquaresResult r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

} // namespace

LeastSquaresResult RegisterLeastSquares(const std::vector<CPoint3D>& source,
                                        const std::vector<CPoint3D>& reference) {
    if (source.size() != reference.size() || source.size() < 3) {
        return Refuse(LeastSquaresResult::Status::kTooFewPairs,
                      StrFormat("Unable to register: %zu vertex pairs given, at least 3 needed",
                                std::min(source.size(), reference.size())));
    }
    for (size_t i = 0; i < source.size(); ++i) {
        if (!IsFinite(source[i]) || !IsFinite(reference[i])) {
            return Refuse(LeastSquaresResult::Status::kNotFinite,
                          StrFormat("Unable to register: pair %zu has a coordinate that is not "
                                    "a number",
                                    i));
        }
    }
    const Eigen::Vector3d cS = Centroid(source);
    const Eigen::Vector3d cR = Centroid(reference);
    Eigen::Matrix3d cross = Eigen::Matrix3d::Zero();
    Eigen::Matrix3d scatter = Eigen::Matrix3d::Zero();
    Eigen::Matrix3d referenceScatter = Eigen::Matrix3d::Zero();
    for (size_t i = 0; i < source.size(); ++i) {
        const Eigen::Vector3d s = ToEigen(source[i]) - cS;
        const Eigen::Vector3d r = ToEigen(reference[i]) - cR;
        cross.noalias() += s * r.transpose();
        scatter.noalias() += s * s.transpose();
        referenceScatter.noalias() += r * r.transpose();
    }
    LeastSquaresResult res;
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> spread(scatter, Eigen::EigenvaluesOnly);
    const Eigen::Vector3d lambda = spread.eigenvalues(); // ascending
    res.spreadRatio = lambda(2) > 0.0 ? std::sqrt(std::max(lambda(1), 0.0) / lambda(2)) : 0.0;
    if (!(res.spreadRatio > kCollinearRefusal)) {
        return Refuse(LeastSquaresResult::Status::kCollinear,
                      "Unable to register: the source vertices of the pairs lie on one line "
                      "or coincide, so they do not fix a rotation");
    }
    // The reference side fixes the frame as much as the source side: on one
    // line (or one vertex) it leaves a rotation free, and a fit would be
    // a guess reported as a result.
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> referenceSpread(referenceScatter,
                                                                         Eigen::EigenvaluesOnly);
    const Eigen::Vector3d mu = referenceSpread.eigenvalues(); // ascending
    const double referenceRatio = mu(2) > 0.0 ? std::sqrt(std::max(mu(1), 0.0) / mu(2)) : 0.0;
    if (!(referenceRatio > kCollinearRefusal)) {
        return Refuse(LeastSquaresResult::Status::kCollinear,
                      "Unable to register: the reference vertices of the pairs lie on one line "
                      "or coincide, so they do not fix a rotation");
    }

    res.nearlyCollinear = res.spreadRatio < kNearlyCollinearSpread;
    if (res.nearlyCollinear) {
        res.warning = StrFormat("The source vertices of the pairs are nearly collinear (spread "
                                "ratio %.4f): the rotation about their line is poorly determined",
                                res.spreadRatio);
    }

    // Kabsch: with cross = U S V^T the best proper rotation is
    // V diag(1, 1, d) U^T, d = sign(det(V U^T)) guarding against a mirror.
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(cross, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::Matrix3d& u = svd.matrixU();
    const Eigen::Matrix3d& v = svd.matrixV();
    Eigen::Vector3d diag(1.0, 1.0, (v * u.transpose()).determinant() < 0.0 ? -1.0 : 1.0);
    const Eigen::Matrix3d rotation = v * diag.asDiagonal() * u.transpose();
    Eigen::Quaterniond q(rotation);
    q.normalize();
    if (q.w() < 0.0) {
        q.coeffs() = -q.coeffs();
    }
    res.motion.rotation = CQuat(q.w(), {q.x(), q.y(), q.z()});
    res.motion.translationM = FromEigen(cR - rotation * cS);

    res.residualsM.reserve(source.size());
    double sum2 = 0.0;
    for (size_t i = 0; i < source.size(); ++i) {
        const double d = (res.motion.Apply(source[i]) - reference[i]).Length();
        res.residualsM.push_back(d);
        sum2 += d * d;
    }
    res.rmsM = std::sqrt(sum2 / static_cast<double>(source.size()));
    res.status = LeastSquaresResult::Status::kOk;
    return res;
}

std::vector<std::size_t> FlagOutlierPairs(const std::vector<CPoint3D>& source,
                                          const std::vector<CPoint3D>& reference) {
    constexpr double kFloorM = 1e-6;
    constexpr size_t kMinRemaining = 4;
    std::vector<size_t> active(std::min(source.size(), reference.size()));
    std::iota(active.begin(), active.end(), size_t{0});
    std::vector<size_t> flagged;
    while (active.size() > kMinRemaining) {
        std::vector<CPoint3D> s;
        std::vector<CPoint3D> r;
        for (const size_t i : active) {
            s.push_back(source[i]);
            r.push_back(reference[i]);
        }
        const LeastSquaresResult fit = RegisterLeastSquares(s, r);
        if (!fit.Ok()) {
            break;
        }
        const auto worst =
            static_cast<size_t>(std::max_element(fit.residualsM.begin(), fit.residualsM.end()) -
                                fit.residualsM.begin());
        double rest2 = 0.0;
        for (size_t k = 0; k < fit.residualsM.size(); ++k) {
            if (k != worst) {
                rest2 += fit.residualsM[k] * fit.residualsM[k];
            }
        }
        const double sigmaRest = std::sqrt(rest2 / static_cast<double>(active.size() - 1));
        const double worstM = fit.residualsM[worst];
        if (!(worstM > 3.0 * sigmaRest && worstM > kFloorM)) {
            break;
        }
        flagged.push_back(active[worst]);
        active.erase(active.begin() + static_cast<std::ptrdiff_t>(worst));
    }
    std::sort(flagged.begin(), flagged.end());
    return flagged;
}
