#include "tools/CahvorProject.h"

PosedCamera::PosedCamera(CameraId id, const ImageRecord& record) : m_record(record), m_model(id) {
    Bind();
}

PosedCamera::PosedCamera(const PosedCamera& other)
    : m_record(other.m_record), m_model(other.m_model) {
    Bind();
}

PosedCamera& PosedCamera::operator=(const PosedCamera& other) {
    m_record = other.m_record;
    m_model = other.m_model;
    Bind();
    return *this;
}

void PosedCamera::Bind() {
    m_model.m_pImage = &m_record;
    m_qHead = HeadRotation(m_model, true);
    CPoint3D direction;
    CameraPoseRay(m_model, 0.0, 0.0, true, m_ptCentre, direction);
}

CPoint3D PosedCamera::Ray(double col, double row) const {
    CPoint3D centre;
    CPoint3D direction;
    CameraPoseRay(m_model, col, row, true, centre, direction);
    return direction.Normalized();
}

bool PosedCamera::Project(const CPoint3D& point, ImagePoint& pixel) const {
    // Undo, in reverse order, what CameraPoseRay does to a model-frame ray:
    // the flip to Z up, the vehicle attitude and the head rotation. Rotating
    // by a conjugate undoes a rotation up to a positive scale, which the
    // projection does not see.
    const CPoint3D site = (point - m_ptCentre).FlipYZ();
    const CPoint3D vehicle = RotateVector(site, m_record.m_qAttitude.Conjugate());
    const CPoint3D model = RotateVector(vehicle, m_qHead.Conjugate());
    return ProjectModelVector(m_model, model, pixel);
}
