// A catalogue camera as an ICameraProjection in the Z-up output frame, with
// its rays cast exactly as the stereo intersection casts them.
#pragma once

#include "geometry/CameraModel.h"
#include "geometry/Projection.h"

// Image position of the direction p (from the camera centre, model frame) with
// the radial distortion applied: zeta = p.O, lambda = p - zeta O,
// tau = lambda.lambda / zeta^2, mu = r0 + r1 tau + r2 tau^2, p' = p + mu lambda,
// column = p'.H / p'.A, row = p'.V / p'.A. False when p does not lie in front
// of the camera (p'.A <= 0 or zeta <= 0).
bool ProjectModelVector(const CameraModel& model, const CPoint3D& p, ImagePoint& pixel);

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
