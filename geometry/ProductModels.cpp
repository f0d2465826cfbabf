#include "geometry/ProductModels.h"

#include "geometry/CahvorProjection.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool Finite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

// A ray to hand out: a finite origin and a unit direction (a direction
// normalised after an overflow comes out zero or NaN).
std::optional<Ray> FiniteRay(const CPoint3D& origin, const CPoint3D& direction) {
    if (!Finite(origin) || !(std::fabs(Dot(direction, direction) - 1.0) < 1e-9)) {
        return std::nullopt;
    }
    return Ray{origin, direction};
}

// A ray along a direction of any length: one square root, one division.
inline std::optional<Ray> UnitRay(const CPoint3D& origin, const CPoint3D& direction) {
    const double n2 = Dot(direction, direction);
    if (!(n2 > 0.0)) {
        return std::nullopt;
    }
    return FiniteRay(origin, direction * (1.0 / std::sqrt(n2)));
}

std::optional<ImagePoint> FinitePixel(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return std::nullopt;
    }
    return ImagePoint{x, y};
}

// The image-plane ray of a pixel, (V - yA) x (H - xA): a CAHV ray up to scale.
CPoint3D PlaneRay(const ModelParameters& m, const ImagePoint& pixel) {
    return Cross(m.v - m.a * pixel.y, m.h - m.a * pixel.x);
}

// Whether the radial distortion still spreads the image outward at an
// undistorted radius of sqrt(rho2) (tangent of the field angle for CAHVOR):
// d/drho [rho (1 + r0 + r1 rho^2 + r2 rho^4)] > 0. Beyond the first radius
// where it is not, the model folds the image back over itself and a point
// there would appear on a pixel that belongs to another direction.
bool Unfolded(const CPoint3D& r, double rho2) {
    return 1.0 + r.m_dX + rho2 * (3.0 * r.m_dY + 5.0 * r.m_dZ * rho2) > 0.0;
}

// Newton steps of the CAHVOR back-projection: the iteration stops once the
// remaining error, estimated from the last step and the curvature, moves the
// ray by less than this many radians.
constexpr double kCahvorAngleTolerance = 1e-13;
constexpr int kCahvorMaxSteps = 20;

// CAHVORE iterations, as the published model runs them.
constexpr double kCahvoreTolerance = 1e-8;
constexpr int kCahvoreMaxSteps = 100;

} // namespace

// ---- CAHV -------------------------------------------------------------------

CameraModelCahv::CameraModelCahv(const ModelParameters& parameters)
    : m_params(parameters), m_bFlip(Dot(parameters.a, Cross(parameters.v, parameters.h)) < 0.0) {}

std::optional<Ray> CameraModelCahv::PixelToRay(const ImagePoint& pixel) const {
    CPoint3D r = PlaneRay(m_params, pixel);
    if (m_bFlip) {
        r = -r;
    }
    const double n2 = Dot(r, r);
    if (!(n2 > 0.0)) {
        return std::nullopt;
    }
    return FiniteRay(m_params.c, r * (1.0 / std::sqrt(n2)));
}

std::optional<ImagePoint> CameraModelCahv::PointToPixel(const CPoint3D& point) const {
    const CPoint3D p = point - m_params.c;
    const double along = Dot(p, m_params.a);
    if (!(along > 0.0)) {
        return std::nullopt;
    }
    return FinitePixel(Dot(p, m_params.h) / along, Dot(p, m_params.v) / along);
}

// ---- CAHVOR -----------------------------------------------------------------

CameraModelCahvor::CameraModelCahvor(const ModelParameters& parameters)
    : m_params(parameters), m_bFlip(Dot(parameters.a, Cross(parameters.v, parameters.h)) < 0.0),
      m_dK1(1.0 + parameters.r.m_dX) {}

std::optional<Ray> CameraModelCahvor::PixelToRay(const ImagePoint& pixel) const {
    CPoint3D r = PlaneRay(m_params, pixel);
    if (m_bFlip) {
        r = -r;
    }
    const CPoint3D& o = m_params.o;
    const double zeta = Dot(r, o);
    if (!(zeta > 0.0)) {
        return std::nullopt;
    }
    const CPoint3D lambda = r - o * zeta;
    const double lambda2 = Dot(lambda, lambda);
    const double zeta2 = zeta * zeta;
    const double tau = lambda2 / zeta2;
    // f(u) = k1 u + b1 u^3 + b2 u^5 - 1 with the distortion of the distorted
    // radius as the start: exact for a linear term, and otherwise close
    // enough that Newton's method converges quadratically from the first step
    // (one step for most of a Navcam image). The start is formed from
    // lambda2 and zeta2 directly, so that its division runs alongside tau's.
    const CPoint3D& rr = m_params.r;
    const double k1 = m_dK1;
    double u =
        zeta2 * zeta2 / ((k1 * zeta2 + rr.m_dY * lambda2) * zeta2 + rr.m_dZ * (lambda2 * lambda2));
    const double b1 = rr.m_dY * tau;
    const double b2 = rr.m_dZ * (tau * tau);
    // The ray turns by d(angle)/du = sqrt(tau) / (1 + u^2 tau) <= sqrt(tau)
    // per unit of u; compare squares to avoid the root.
    const double limit2 = kCahvorAngleTolerance * kCahvorAngleTolerance;
    bool converged = false;
    for (int i = 0; i < kCahvorMaxSteps; ++i) {
        const double u2 = u * u;
        const double f = u * (k1 + u2 * (b1 + u2 * b2)) - 1.0;
        const double df = k1 + u2 * (3.0 * b1 + 5.0 * u2 * b2);
        const double invDf = 1.0 / df;
        const double step = f * invDf;
        // Newton: the error after this step is about |f'' / (2 f')| step^2.
        const double curvature = (3.0 * b1 * u + 10.0 * b2 * u2 * u) * invDf;
        const double remaining = curvature * step * step;
        u -= step;
        if (remaining * remaining * tau <= limit2 && std::fabs(step) < 1.0) {
            converged = true;
            break;
        }
    }
    if (!converged || !(u > 0.0) || !Unfolded(m_params.r, u * u * tau)) {
        return std::nullopt;
    }
    const CPoint3D d = o * zeta + lambda * u;
    const double n2 = Dot(d, d);
    if (!(n2 > 0.0)) {
        return std::nullopt;
    }
    return FiniteRay(m_params.c, d * (1.0 / std::sqrt(n2)));
}

std::optional<ImagePoint> CameraModelCahvor::PointToPixel(const CPoint3D& point) const {
    const CPoint3D p = point - m_params.c;
    const double zeta = Dot(p, m_params.o);
    const CPoint3D lambda = p - m_params.o * zeta;
    if (!Unfolded(m_params.r, Dot(lambda, lambda) / (zeta * zeta))) {
        return std::nullopt;
    }
    const std::optional<ImagePoint> px =
        ProjectCahvorVector(m_params.a, m_params.h, m_params.v, m_params.o, m_params.r, p);
    if (!px) {
        return std::nullopt;
    }
    return FinitePixel(px->x, px->y);
}

// ---- CAHVORE ----------------------------------------------------------------

CameraModelCahvore::CameraModelCahvore(const ModelParameters& parameters)
    : m_params(parameters),
      m_dLinearity(LinearityOf(parameters.mtype, parameters.mparm).value_or(kNaN)),
      m_dInvVolume(1.0 / Dot(parameters.a, Cross(parameters.v, parameters.h))) {}

double CameraModelCahvore::Pupil(double theta) const {
    const double t2 = theta * theta;
    return m_params.e.m_dX + t2 * (m_params.e.m_dY + t2 * m_params.e.m_dZ);
}

std::optional<Ray> CameraModelCahvore::PixelToRay(const ImagePoint& pixel) const {
    const double lin = m_dLinearity;
    if (!std::isfinite(lin)) {
        return std::nullopt;
    }
    const CPoint3D& o = m_params.o;
    const CPoint3D rp = PlaneRay(m_params, pixel) * m_dInvVolume;
    const double zetaP = Dot(rp, o);
    if (!(zetaP > 0.0)) {
        return std::nullopt;
    }
    const CPoint3D lambdaP = rp - o * zetaP;
    const double lambdaLen = std::sqrt(Dot(lambdaP, lambdaP));
    const double chiP = lambdaLen / zetaP;
    if (!std::isfinite(chiP)) {
        return std::nullopt;
    }
    if (chiP < 1e-8) {
        return UnitRay(m_params.c, o);
    }
    // (1 + r0) chi + r1 chi^3 + r2 chi^5 = chi'
    const double k1 = 1.0 + m_params.r.m_dX;
    const double r1 = m_params.r.m_dY;
    const double r2 = m_params.r.m_dZ;
    // Start from the distortion at the distorted angle, exact for a linear
    // term: one or two Newton steps fewer than starting at chi' itself.
    const double cp2 = chiP * chiP;
    double chi = chiP / (k1 + cp2 * (r1 + cp2 * r2));
    if (!(chi > 0.0)) {
        chi = chiP;
    }
    bool converged = false;
    for (int i = 0; i < kCahvoreMaxSteps; ++i) {
        const double c2 = chi * chi;
        const double f = chi * (k1 + c2 * (r1 + c2 * r2)) - chiP;
        const double df = k1 + c2 * (3.0 * r1 + 5.0 * r2 * c2);
        const double step = f / df;
        chi -= step;
        if (std::fabs(step) < kCahvoreTolerance) {
            converged = true;
            break;
        }
    }
    if (!converged || !(chi > 0.0) || !Unfolded(m_params.r, chi * chi)) {
        return std::nullopt;
    }
    double theta = chi;
    if (lin > 1e-15) {
        theta = std::atan(lin * chi) / lin;
    } else if (lin < -1e-15) {
        const double s = lin * chi;
        if (!(s >= -1.0 && s <= 1.0)) {
            return std::nullopt;
        }
        theta = std::asin(s) / lin;
    }
    if (!(theta > 0.0 && theta < kPi)) {
        return std::nullopt;
    }
    const double sinT = std::sin(theta);
    const double cosT = std::cos(theta);
    const double shift = (theta / sinT - 1.0) * Pupil(theta);
    const CPoint3D origin = m_params.c + o * shift;
    // sin(theta) along lambda' and cos(theta) along O, as the model gives it
    // (unit only for a unit O).
    return UnitRay(origin, lambdaP * (sinT / lambdaLen) + o * cosT);
}

std::optional<ImagePoint> CameraModelCahvore::PointToPixel(const CPoint3D& point) const {
    const double lin = m_dLinearity;
    if (!std::isfinite(lin)) {
        return std::nullopt;
    }
    const CPoint3D& o = m_params.o;
    const CPoint3D p = point - m_params.c;
    const double zeta = Dot(p, o);
    const CPoint3D lambdaVec = p - o * zeta;
    const double lambda = lambdaVec.Length();
    const CPoint3D& e = m_params.e;
    // Field angle of the ray that passes through the point from its own
    // entrance-pupil position.
    double theta = std::atan2(lambda, zeta);
    bool converged = false;
    for (int i = 0; i < kCahvoreMaxSteps; ++i) {
        const double sinT = std::sin(theta);
        const double cosT = std::cos(theta);
        const double t2 = theta * theta;
        const double pupil = e.m_dX + t2 * (e.m_dY + t2 * e.m_dZ);
        const double pupilSlope = theta * (2.0 * e.m_dY + 4.0 * e.m_dZ * t2);
        const double upsilon =
            zeta * cosT + lambda * sinT - (1.0 - cosT) * pupil - (theta - sinT) * pupilSlope;
        const double step = (zeta * sinT - lambda * cosT - (theta - sinT) * pupil) / upsilon;
        theta -= step;
        if (std::fabs(step) < kCahvoreTolerance) {
            converged = true;
            break;
        }
    }
    if (!converged || !(theta >= 0.0 && theta < kPi) ||
        theta * std::fabs(lin) >= kPi / 2.0 - 1e-15) {
        return std::nullopt;
    }
    CPoint3D rp = p;
    if (theta >= 1e-8) {
        double chi = theta;
        if (lin > 1e-15) {
            chi = std::tan(lin * theta) / lin;
        } else if (lin < -1e-15) {
            chi = std::sin(lin * theta) / lin;
        }
        const double c2 = chi * chi;
        if (!(chi > 0.0) || !Unfolded(m_params.r, c2)) {
            return std::nullopt;
        }
        const double mu = m_params.r.m_dX + c2 * (m_params.r.m_dY + c2 * m_params.r.m_dZ);
        rp = o * (lambda / chi) + lambdaVec * (1.0 + mu);
    }
    const double along = Dot(rp, m_params.a);
    if (!(along > 0.0)) {
        return std::nullopt;
    }
    return FinitePixel(Dot(rp, m_params.h) / along, Dot(rp, m_params.v) / along);
}

// ---- Any model ----------------------------------------------------------------

std::optional<Ray> ProductCameraModel::PixelToRay(const ImagePoint& pixel) const {
    return std::visit([&](const auto& m) { return m.PixelToRay(pixel); }, m_model);
}

std::optional<ImagePoint> ProductCameraModel::PointToPixel(const CPoint3D& point) const {
    return std::visit([&](const auto& m) { return m.PointToPixel(point); }, m_model);
}

const ModelParameters& ProductCameraModel::Parameters() const {
    return std::visit([](const auto& m) -> const ModelParameters& { return m.Parameters(); },
                      m_model);
}

ModelType ProductCameraModel::Type() const {
    return Parameters().type;
}

CameraModelResult MakeCameraModel(const ModelParameters& parameters) {
    ModelValidationResult check = ValidateModel(parameters);
    if (!check.ok) {
        return {std::nullopt, std::move(check.message)};
    }
    switch (parameters.type) {
    case ModelType::Cahv:
        return {ProductCameraModel(CameraModelCahv(parameters)), {}};
    case ModelType::Cahvor:
        return {ProductCameraModel(CameraModelCahvor(parameters)), {}};
    case ModelType::Cahvore:
        return {ProductCameraModel(CameraModelCahvore(parameters)), {}};
    }
    return {std::nullopt, "unknown camera model type"};
}
