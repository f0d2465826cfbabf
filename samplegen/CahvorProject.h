// Catalogue cameras posed by an image record exactly as the measurement
// places them, for rendering the samples and knowing where a point appears.
#pragma once

#include "geometry/CatalogueProjection.h"
#include "imagedb/ImageRecord.h"

// A catalogue camera with its image record attached. Rays are cast as a
// stereo measurement of two images that both have records casts them;
// Project is their inverse.
class PosedCamera {
public:
    PosedCamera(CameraId id, const ImageRecord& record);

    const CameraModel& Model() const { return m_projection.Model(); }
    const ImageRecord& Record() const { return m_record; }
    // Camera centre in the Z-up output frame.
    const CPoint3D& Centre() const { return m_projection.Centre(); }

    // Unit viewing ray of a pixel in the output frame.
    CPoint3D Ray(double col, double row) const;
    // Image position of a point given in the output frame; false when the
    // point is not in front of the camera.
    bool Project(const CPoint3D& point, ImagePoint& pixel) const;

private:
    static CameraModel Posed(CameraId id, const ImageRecord& record);

    ImageRecord m_record;
    CatalogueProjection m_projection;
};
