#include "stereo/ProductStereo.h"

#include "geometry/CameraModel.h"
#include "geometry/Frames.h"
#include "geometry/RayIntersection.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

ProductStereoPair::ProductStereoPair(const ProductCamera& left, const ProductCamera& right,
                                     bool b2D, double azCorrLeft, double azCorrRight)
    : m_leftPose(left.pose), m_b2D(b2D), m_turnLeft(FromAxisAngleDeg(kZAxis, -azCorrLeft)),
      m_turnRight(FromAxisAngleDeg(kZAxis, -azCorrRight)) {
    CameraModelResult l = MakeCameraModel(left.model);
    CameraModelResult r = MakeCameraModel(right.model);
    if (!l.model || !r.model) {
        m_problem =
            !l.model ? "left camera model: " + l.message : "right camera model: " + r.message;
        return;
    }
    m_left = std::move(l.model);
    m_right = std::move(r.model);
    if (left.pose && IsUsablePose(left.pose->roverToSite)) {
        m_attitude = left.pose->roverToSite.rotation;
    }
    const bool sameVehicleFrame = left.frame == right.frame && left.frameIndex == right.frameIndex;
    if (sameVehicleFrame) {
        return;
    }
    // Two rover positions: the rays meet in the site frame, which needs both
    // positions and one site.
    if (!left.pose || !right.pose || !left.pose->offsetKnown || !right.pose->offsetKnown) {
        m_problem = "the two images were taken from different rover positions (motion counters " +
                    FrameIndexText(left.frameIndex) + " and " + FrameIndexText(right.frameIndex) +
                    ") and a position in the site frame is missing";
        return;
    }
    if (left.pose->site != right.pose->site) {
        m_problem = "the two images were taken at different sites (" +
                    std::to_string(left.pose->site) + " and " + std::to_string(right.pose->site) +
                    "); Ranvista does not chain sites";
        return;
    }
    if (!IsUsablePose(left.pose->roverToSite) || !IsUsablePose(right.pose->roverToSite)) {
        m_problem = "a rover pose in the site frame is not usable";
        return;
    }
    m_bInSite = true;
    m_rightInLeft = ComposePoses(InversePose(left.pose->roverToSite), right.pose->roverToSite);
}

std::optional<Ray> ProductStereoPair::UnturnedRay(bool right, double x, double y) const {
    const std::optional<ProductCameraModel>& model = right ? m_right : m_left;
    if (!model) {
        return std::nullopt;
    }
    std::optional<Ray> ray = model->PixelToRay({x, y});
    if (!ray) {
        return std::nullopt;
    }
    if (right && m_rightInLeft) {
        ray = Ray{PointToReference(*m_rightInLeft, ray->origin),
                  VectorToReference(*m_rightInLeft, ray->direction)};
    }
    return OutputRayFromVehicle(*ray, m_attitude);
}

std::optional<Ray> ProductStereoPair::OutputRay(bool right, double x, double y) const {
    const std::optional<Ray> out = UnturnedRay(right, x, y);
    if (!out) {
        return std::nullopt;
    }
    CPoint3D d = out->direction;
    if (m_b2D) {
        d = ProjectOntoPlane(kZAxis, d).Normalized();
    }
    const CQuat& turn = right ? m_turnRight : m_turnLeft;
    return Ray{RotateVector(out->origin, turn), RotateVector(d, turn)};
}

std::optional<Ray> ProductStereoPair::CameraRay(bool right, double x, double y) const {
    const std::optional<Ray> out = UnturnedRay(right, x, y);
    if (!out) {
        return std::nullopt;
    }
    const CQuat& turn = right ? m_turnRight : m_turnLeft;
    return Ray{RotateVector(out->origin, turn), RotateVector(out->direction, turn)};
}

std::optional<ImagePoint> ProductStereoPair::CameraPixel(bool right,
                                                         const CPoint3D& pointInOutput) const {
    const std::optional<ProductCameraModel>& model = right ? m_right : m_left;
    if (!model) {
        return std::nullopt;
    }
    // Undo in reverse order what CameraRay does. The azimuth turns are unit
    // quaternions; the attitude may be a little off unit length, and
    // rotating by it and back by its conjugate scales by its squared norm
    // twice.
    const CQuat& turn = right ? m_turnRight : m_turnLeft;
    CPoint3D p = RotateVector(pointInOutput, turn.Conjugate());
    if (m_attitude) {
        const double norm2 =
            m_attitude->m_dS * m_attitude->m_dS + Dot(m_attitude->m_ptVec, m_attitude->m_ptVec);
        p = VehicleFromOutputTurned(p, *m_attitude) / (norm2 * norm2);
    } else {
        p = VehicleFromOutput(p);
    }
    if (right && m_rightInLeft) {
        p = PointFromReference(*m_rightInLeft, p);
    }
    return model->PointToPixel(p);
}

CPoint3D ProductStereoPair::Intersect(double xL, double yL, double xR, double yR, double& range,
                                      double* missDistance) const {
    range = DBL_MAX;
    if (!m_problem.empty()) {
        return CPoint3D::Invalid();
    }
    const std::optional<Ray> l = OutputRay(false, xL, yL);
    const std::optional<Ray> r = OutputRay(true, xR, yR);
    if (!l || !r) {
        return CPoint3D::Invalid();
    }
    const RayIntersectionResult hit = IntersectRays(*l, *r);
    if (!hit.ok()) {
        return CPoint3D::Invalid();
    }
    const double length = hit.point.Length();
    if (!(length < DBL_MAX)) {
        return CPoint3D::Invalid();
    }
    range = length;
    if (missDistance != nullptr) {
        *missDistance = hit.missDistance;
    }
    return hit.point;
}

double ProductStereoPair::PixelAngleDeg(double x, double y) const {
    const std::optional<Ray> a = OutputRay(false, x, y);
    const std::optional<Ray> b = OutputRay(false, x + 1.0, y);
    if (!a || !b) {
        return 0.0;
    }
    return AngleDeg(a->direction, b->direction);
}

std::optional<ProductStereoPair::AzElResult> ProductStereoPair::PixelAzEl(bool right, double x,
                                                                          double y) const {
    // The ray as OutputRay casts it, never flattened.
    const std::optional<ProductCameraModel>& model = right ? m_right : m_left;
    std::optional<Ray> ray = model ? model->PixelToRay({x, y}) : std::nullopt;
    if (!ray) {
        return std::nullopt;
    }
    if (right && m_rightInLeft) {
        ray = Ray{PointToReference(*m_rightInLeft, ray->origin),
                  VectorToReference(*m_rightInLeft, ray->direction)};
    }
    const CPoint3D d = RotateVector(OutputRayFromVehicle(*ray, m_attitude).direction,
                                    right ? m_turnRight : m_turnLeft);
    return AzElResult{-AzimuthDeg(d), 90.0 - AngleDeg(d, kZAxis)};
}

std::optional<CPoint3D> ProductStereoPair::SitePosition(const CPoint3D& pointInOutput) const {
    if (!m_leftPose || !m_leftPose->offsetKnown || !m_attitude) {
        return std::nullopt;
    }
    const CPoint3D inVehicle = VehicleFromOutputTurned(pointInOutput, *m_attitude);
    return PointToReference(m_leftPose->roverToSite, inVehicle);
}
