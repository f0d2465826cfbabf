#include "analysis/CatalogueProjection.h"

namespace {

// Image position of the model-frame direction p with the radial distortion
// applied: zeta = p.O, lambda = p - zeta O, tau = lambda.lambda / zeta^2,
// mu = r0 + r1 tau + r2 tau^2, p' = p + mu lambda, column = p'.H / p'.A,
// row = p'.V / p'.A.
std::optional<ImagePoint> ProjectModelDirection(const CameraModel& model, const CPoint3D& p) {
    const double zeta = Dot(p, model.m_ptO);
    if (!(zeta > 0.0)) {
        return std::nullopt;
    }
    const CPoint3D lambda = p - model.m_ptO * zeta;
    const double tau = Dot(lambda, lambda) / (zeta * zeta);
    const CPoint3D& r = model.m_ptR;
    const double mu = r.m_dX + r.m_dY * tau + r.m_dZ * tau * tau;
    const CPoint3D pd = p + lambda * mu;
    const double a = Dot(pd, model.m_ptA);
    if (!(a > 0.0)) {
        return std::nullopt;
    }
    return ImagePoint{Dot(pd, model.m_ptH) / a, Dot(pd, model.m_ptV) / a};
}

} // namespace

CatalogueProjection::CatalogueProjection(CameraId id, CataloguePose pose)
    : m_model(id), m_pose(std::move(pose)) {
    Bind();
}

CatalogueProjection::CatalogueProjection(const CatalogueProjection& other)
    : m_model(other.m_model), m_pose(other.m_pose) {
    Bind();
}

CatalogueProjection& CatalogueProjection::operator=(const CatalogueProjection& other) {
    m_model = other.m_model;
    m_pose = other.m_pose;
    Bind();
    return *this;
}

void CatalogueProjection::Bind() {
    m_model.m_pImage = m_pose.record ? &*m_pose.record : nullptr;
    m_qHead = HeadRotation(m_model, m_pose.applyPointing);
    m_qTurn = FromAxisAngleDeg(kZAxis, -m_pose.azCorrDeg);
    CPoint3D direction;
    CameraPoseRay(m_model, 0.0, 0.0, m_pose.applyPointing, m_ptCentre, direction);
}

std::optional<Ray> CatalogueProjection::PixelToRay(const ImagePoint& pixel) const {
    if (m_model.m_nCameraId < 0) {
        return std::nullopt;
    }
    CPoint3D centre;
    CPoint3D direction;
    CameraPoseRay(m_model, pixel.x, pixel.y, m_pose.applyPointing, centre, direction);
    const CPoint3D d = direction.Normalized();
    if (d == CPoint3D()) {
        return std::nullopt;
    }
    return Ray{RotateVector(centre + m_pose.offset, m_qTurn), RotateVector(d, m_qTurn)};
}

std::optional<ImagePoint> CatalogueProjection::PointToPixel(const CPoint3D& point) const {
    if (m_model.m_nCameraId < 0) {
        return std::nullopt;
    }
    // Undo, in reverse order, what the ray casting does: the azimuth turn,
    // the offset, the flip to Z up, the vehicle attitude and the head
    // rotation. Rotating by a conjugate undoes a rotation up to a positive
    // scale, which the projection does not see.
    const CPoint3D unturned = RotateVector(point, m_qTurn.Conjugate()) - m_pose.offset;
    CPoint3D p = (unturned - m_ptCentre).FlipYZ();
    if (m_model.m_pImage != nullptr) {
        p = RotateVector(p, m_model.m_pImage->m_qAttitude.Conjugate());
    }
    return ProjectModelDirection(m_model, RotateVector(p, m_qHead.Conjugate()));
}
