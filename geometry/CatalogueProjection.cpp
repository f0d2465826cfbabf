#include "geometry/CatalogueProjection.h"

CatalogueProjection::CatalogueProjection(CameraId id, const CataloguePose& pose)
    : m_model(id), m_bApplyPointing(pose.applyPointing), m_ptOffset(pose.offset), m_bTurn(true),
      m_qTurn(FromAxisAngleDeg(kZAxis, -pose.azCorrDeg)) {
    m_model.m_pose = pose.pose;
    Bind();
}

CatalogueProjection::CatalogueProjection(const CameraModel& model, bool applyPointing)
    : m_model(model), m_bApplyPointing(applyPointing) {
    Bind();
}

void CatalogueProjection::Bind() {
    m_qHead = HeadRotation(m_model, m_bApplyPointing);
    CPoint3D direction;
    CameraPoseRay(m_model, 0.0, 0.0, m_bApplyPointing, m_ptCentre, direction);
}

std::optional<Ray> CatalogueProjection::PixelToRay(const ImagePoint& pixel) const {
    if (m_model.m_nCameraId < 0) {
        return std::nullopt;
    }
    CPoint3D centre;
    CPoint3D direction;
    CameraPoseRay(m_model, pixel.x, pixel.y, m_bApplyPointing, centre, direction);
    const CPoint3D d = direction.Normalized();
    if (d == CPoint3D()) {
        return std::nullopt;
    }
    if (!m_bTurn) {
        return Ray{centre, d};
    }
    return Ray{RotateVector(centre + m_ptOffset, m_qTurn), RotateVector(d, m_qTurn)};
}

std::optional<ImagePoint> CatalogueProjection::PointToPixel(const CPoint3D& point) const {
    if (m_model.m_nCameraId < 0) {
        return std::nullopt;
    }
    // Undo, in reverse order, what the ray casting does: the azimuth turn,
    // the offset, the flip to Z up, the vehicle attitude and the head
    // rotation. Rotating by a conjugate undoes a rotation up to a positive
    // scale, which the projection does not see.
    const CPoint3D unturned =
        m_bTurn ? RotateVector(point, m_qTurn.Conjugate()) - m_ptOffset : point;
    CPoint3D v = (unturned - m_ptCentre).FlipYZ();
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
