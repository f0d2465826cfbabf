#include "geometry/CatalogueProjection.h"

CatalogueProjection::CatalogueProjection(const CameraModel& model, bool applyPointing)
    : m_model(model), m_bApplyPointing(applyPointing),
      m_qHead(HeadRotation(m_model, applyPointing)) {
    CPoint3D direction;
    CameraPoseRay(m_model, 0.0, 0.0, m_bApplyPointing, m_ptCentre, direction);
}

std::optional<Ray> CatalogueProjection::PixelToRay(const ImagePoint& pixel) const {
    Ray ray;
    CameraPoseRay(m_model, pixel.x, pixel.y, m_bApplyPointing, ray.origin, ray.direction);
    ray.direction = ray.direction.Normalized();
    return ray;
}

std::optional<ImagePoint> CatalogueProjection::PointToPixel(const CPoint3D& point) const {
    // Undo, in reverse order, what CameraPoseRay does to a model-frame ray:
    // the flip to Z up, the vehicle attitude and the head rotation. Rotating
    // by a conjugate undoes a rotation up to a positive scale, which the
    // projection does not see.
    CPoint3D v = (point - m_ptCentre).FlipYZ();
    if (m_model.m_pose) {
        v = RotateVector(v, m_model.m_pose->vehicleAttitude.Conjugate());
    }
    v = RotateVector(v, m_qHead.Conjugate());
    ImagePoint pixel;
    if (!ProjectModelVector(m_model, v, pixel)) {
        return std::nullopt;
    }
    return pixel;
}
