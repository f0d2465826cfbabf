#include "geometry/CameraModel.h"

void CameraModel::LoadCatalogue(CameraId id) {
    m_nCameraId = id;
    const CatalogueEntry* e = CatalogueEntryOf(id);
    if (e == nullptr) {
        return;
    }
    m_ptC = e->c;
    m_ptA = e->a;
    m_ptH = e->h;
    m_ptV = e->v;
    m_ptO = e->o;
    m_ptR = e->r;
    m_qModelPointing = e->pointing;
    m_ptPivot = e->pivot;
}

double AzimuthDeg(const CPoint3D& v) {
    const double a = AngleDeg(ProjectOntoPlane(kZAxis, v), kXAxis);
    return SignedComponent(kZAxis, Cross(kXAxis, v)) > 0.0 ? a : -a;
}

CQuat HeadRotation(const CameraModel& model, bool applyPointing) {
    CQuat p;
    if (applyPointing && model.m_pose) {
        p = FromAxisAngleDeg(kZAxis, model.m_pose->headAzimuthDeg) *
            FromAxisAngleDeg(kYAxis, -model.m_pose->headElevationDeg);
    }
    return p * model.m_qModelPointing.Inverse();
}

void CameraModel::PixelAzEl(double x, double y, double& azimuth, double& elevation) const {
    const CPoint3D d = PixelToRay(x, y);
    if (!m_pose) {
        // Vehicle frame, +Z down.
        const CPoint3D v = RotateVector(d, HeadRotation(*this, false));
        azimuth = AzimuthDeg(v);
        elevation = AngleDeg(v, kZAxis) - 90.0;
    } else {
        // Output frame, Z up: azimuths turn the other way.
        const CPoint3D v =
            RotateVector(RotateVector(d, HeadRotation(*this, true)), m_pose->vehicleAttitude)
                .FlipYZ();
        azimuth = -AzimuthDeg(v);
        elevation = 90.0 - AngleDeg(v, kZAxis);
    }
}

void CameraPoseRay(const CameraModel& model, double x, double y, bool applyPointing,
                   CPoint3D& centre, CPoint3D& direction) {
    const CQuat q = HeadRotation(model, applyPointing);
    CPoint3D d = RotateVector(model.PixelToRay(x, y), q);
    const CQuat pivot(0.0, model.m_ptPivot);
    CPoint3D c = (pivot + (q * (CQuat(0.0, model.m_ptC) - pivot)) * q.Inverse()).m_ptVec;
    if (model.m_pose) {
        c = RotateVector(c, model.m_pose->vehicleAttitude);
        d = RotateVector(d, model.m_pose->vehicleAttitude);
    }
    centre = c.FlipYZ();
    direction = d.FlipYZ();
}
