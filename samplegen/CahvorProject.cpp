#include "samplegen/CahvorProject.h"

CameraModel PosedCamera::Posed(CameraId id, const ImageRecord& record) {
    CameraModel model(id);
    model.m_pose = PoseOf(record);
    return model;
}

PosedCamera::PosedCamera(CameraId id, const ImageRecord& record)
    : m_record(record), m_projection(Posed(id, record), true) {}

CPoint3D PosedCamera::Ray(double col, double row) const {
    return m_projection.PixelToRay({col, row})->direction;
}

bool PosedCamera::Project(const CPoint3D& point, ImagePoint& pixel) const {
    const auto p = m_projection.PointToPixel(point);
    if (!p) {
        return false;
    }
    pixel = *p;
    return true;
}
