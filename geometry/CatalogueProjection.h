// A catalogue camera as an ICameraProjection in the Z-up output frame, with
// its rays cast exactly as the stereo intersection casts them.
#pragma once

#include "geometry/CahvorProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/Projection.h"

class CatalogueProjection : public ICameraProjection {
public:
    // applyPointing: whether the pose's head pointing turns the rays, as the
    // stereo intersection decides for a pair (both images have poses).
    CatalogueProjection(const CameraModel& model, bool applyPointing);

    const CameraModel& Model() const { return m_model; }
    // Camera centre in the output frame.
    const CPoint3D& Centre() const { return m_ptCentre; }

    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override;
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override;

private:
    CameraModel m_model;
    bool m_bApplyPointing;
    CQuat m_qHead; // HeadRotation as the rays use it
    CPoint3D m_ptCentre;
};
