// Catalogue cameras posed by an image record exactly as the measurement places
// them, projecting with the core's forward CAHVOR projection. The
// measurement itself only ever casts rays; the sample generator needs the
// other direction to render images and to know where a point appears.
#pragma once

#include "analysis/Measurement.h"
#include "geometry/CahvorProjection.h"
#include "geometry/Camera.h"
#include "geometry/ImageRecord.h"

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
