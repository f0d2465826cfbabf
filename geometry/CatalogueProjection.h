// A catalogue camera as an ICameraProjection in the Z-up output frame, its
// rays cast exactly as the stereo intersection casts them: head pointing and
// vehicle attitude of the pose when the pair uses them, the R-L displacement
// and the azimuth correction of its side.
#pragma once

#include "geometry/CahvorProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/Projection.h"

#include <optional>

struct CataloguePose {
    std::optional<CameraPose> pose; // the image's pose, if known
    // Whether the head pointing turns the rays: the stereo intersection does
    // so when both images of the pair have poses (or with an R-L vector).
    bool applyPointing = false;
    CPoint3D offset;        // added to the camera centre (the R-L vector, right side)
    double azCorrDeg = 0.0; // azimuth correction of this side, degrees
};

class CatalogueProjection : public ICameraProjection {
public:
    CatalogueProjection(CameraId id, const CataloguePose& pose);
    // A model as it is (its own pose, if any), no offset and no correction.
    CatalogueProjection(const CameraModel& model, bool applyPointing);

    const CameraModel& Model() const { return m_model; }
    // Camera centre in the output frame (before the offset and the turn).
    const CPoint3D& Centre() const { return m_ptCentre; }

    // Solver messages of the back-projection go to the current message sink.
    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override;
    // Forward CAHVOR (radial distortion applied); no value behind the camera.
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override;

private:
    void Bind();

    CameraModel m_model;
    bool m_bApplyPointing = false;
    CPoint3D m_ptOffset;
    bool m_bTurn = false; // the azimuth correction is applied, as the intersection does
    CQuat m_qTurn;
    CQuat m_qHead;       // model frame -> vehicle frame, as the rays use it
    CPoint3D m_ptCentre; // before the offset and the turn
};
