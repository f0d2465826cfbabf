// A catalogue camera as a point <-> pixel projection in the Z-up output frame,
// posed exactly as the range calculation casts its rays: head pointing and
// vehicle attitude from the image record when the pair uses them, the R-L
// displacement and the azimuth correction of its side.
#pragma once

#include "geometry/Camera.h"
#include "geometry/ImageRecord.h"
#include "geometry/Projection.h"

#include <optional>

struct CataloguePose {
    std::optional<ImageRecord> record; // the image's database record, if any
    // Whether the head pointing and attitude are applied: the calculation
    // does so when both images of the pair have records (or with an R-L vector).
    bool applyPointing = false;
    CPoint3D offset;        // added to the camera centre (the R-L vector, right side)
    double azCorrDeg = 0.0; // azimuth correction of this side, degrees
};

class CatalogueProjection : public ICameraProjection {
public:
    CatalogueProjection(CameraId id, CataloguePose pose);
    CatalogueProjection(const CatalogueProjection& other);
    CatalogueProjection& operator=(const CatalogueProjection& other);

    const CameraModel& Model() const { return m_model; }

    // Solver messages of the back-projection go to the current message sink.
    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override;
    // Forward CAHVOR (radial distortion applied); no value behind the camera.
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override;

private:
    void Bind();

    CameraModel m_model;
    CataloguePose m_pose;
    CQuat m_qHead;       // model frame -> vehicle frame
    CQuat m_qTurn;       // the azimuth correction
    CPoint3D m_ptCentre; // before the offset and the turn
};
