// Forward CAHVOR projection (3-D point -> image position) and catalogue cameras
// posed by an image record exactly as the measurement places them. The
// measurement itself only ever casts rays; the sample generator needs the
// other direction to render images and to know where a point appears.
#pragma once

#include "analysis/Measurement.h"
#include "geometry/Camera.h"
#include "geometry/ImageRecord.h"

// Image position of the direction p (from the camera centre, model frame) with
// the radial distortion applied: zeta = p.O, lambda = p - zeta O,
// tau = lambda.lambda / zeta^2, mu = r0 + r1 tau + r2 tau^2, p' = p + mu lambda,
// column = p'.H / p'.A, row = p'.V / p'.A. False when p does not lie in front
// of the camera (p'.A <= 0 or zeta <= 0).
bool ProjectModelVector(const CameraModel& model, const CPoint3D& p, ImagePoint& pixel);

// A catalogue camera with its image record attached. Rays come from
// CameraPoseRay with the head pointing applied, as a stereo measurement of
// two images that both have records casts them; Project is their inverse.
class PosedCamera {
public:
    PosedCamera(CameraId id, const ImageRecord& record);
    PosedCamera(const PosedCamera& other);
    PosedCamera& operator=(const PosedCamera& other);

    const CameraModel& Model() const { return m_model; }
    const ImageRecord& Record() const { return m_record; }
    // Camera centre in the Z-up output frame.
    const CPoint3D& Centre() const { return m_ptCentre; }

    // Unit viewing ray of a pixel in the output frame.
    CPoint3D Ray(double col, double row) const;
    // Image position of a point given in the output frame; false when the
    // point is not in front of the camera.
    bool Project(const CPoint3D& point, ImagePoint& pixel) const;

private:
    void Bind();

    ImageRecord m_record;
    CameraModel m_model;
    CPoint3D m_ptCentre;
    CQuat m_qHead; // HeadRotation with the pointing applied
};
