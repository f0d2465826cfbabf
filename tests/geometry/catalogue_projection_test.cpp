// The forward projection of catalogue cameras against the measurement's own
// back-projection and intersection.
#include "geometry/CatalogueProjection.h"
#include "geometry/StereoIntersection.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The back-projection stops its distortion solver once a step is below 1e-5
// and the catalogue's O vectors are unit only to about six digits: the two
// directions agree to about 1e-6 pixel (a micrometre at a kilometre), not to
// the last bit.
constexpr double kPixelTolerance = 1e-5;

CatalogueProjection Posed(CameraId id, const CameraPose& pose) {
    CameraModel model(id);
    model.m_pose = pose;
    return CatalogueProjection(model, true);
}

CPoint3D RayOf(const CatalogueProjection& cam, double x, double y) {
    return cam.PixelToRay({x, y})->direction;
}

CQuat TiltedVehicle() {
    const CQuat q = FromAxisAngleDeg(kZAxis, -140.0) * FromAxisAngleDeg(kYAxis, 7.0) *
                    FromAxisAngleDeg(kXAxis, 4.0);
    return q / std::sqrt(q.m_dS * q.m_dS + Dot(q.m_ptVec, q.m_ptVec));
}

} // namespace

TEST(ForwardProjection, InvertsPixelToRayOverTheWholeImageOfEveryCamera) {
    for (CameraId id = 0; id < kCameraCount; ++id) {
        const CameraModel model(id);
        double worst = 0.0;
        for (double y = 0.0; y <= 1023.0; y += 93.0) {
            for (double x = 0.0; x <= 1023.0; x += 93.0) {
                const CPoint3D ray = model.PixelToRay(x + 0.37, y + 0.61);
                for (double scale : {0.5, 7.0, 300.0}) {
                    ImagePoint p;
                    ASSERT_TRUE(ProjectModelVector(model, ray * scale, p)) << CameraName(id);
                    worst = std::max(worst, std::hypot(p.x - (x + 0.37), p.y - (y + 0.61)));
                }
            }
        }
        EXPECT_LT(worst, kPixelTolerance) << CameraName(id);
    }
}

TEST(ForwardProjection, RefusesDirectionsBehindTheCamera) {
    const CameraModel model(0);
    ImagePoint p;
    EXPECT_FALSE(ProjectModelVector(model, -model.PixelToRay(512.0, 512.0), p));
    EXPECT_FALSE(ProjectModelVector(model, CPoint3D(), p));
    // Perpendicular to the axis: on no image plane.
    EXPECT_FALSE(ProjectModelVector(model, Cross(model.m_ptA, kZAxis), p));
}

TEST(CatalogueProjection, PointToPixelUndoesTheRayOfHeadPointingAndAttitude) {
    for (const CameraPose& pose :
         {CameraPose{0.0, 0.0, CQuat()}, CameraPose{-35.0, 28.0, TiltedVehicle()},
          CameraPose{170.0, -20.0, CQuat()}}) {
        for (CameraId id : {0, 3, 9, 11}) {
            const CatalogueProjection cam = Posed(id, pose);
            // The centre is where the measurement puts it, whatever the pixel.
            CPoint3D centre;
            CPoint3D direction;
            CameraPoseRay(cam.Model(), 700.0, 100.0, true, centre, direction);
            EXPECT_LT((centre - cam.Centre()).Length(), 1e-12);
            for (const ImagePoint px :
                 {ImagePoint{3.5, 1020.25}, ImagePoint{512.0, 512.0}, ImagePoint{1000.75, 40.5}}) {
                for (double t : {1.0, 25.0, 400.0}) {
                    const auto back = cam.PointToPixel(cam.Centre() + RayOf(cam, px.x, px.y) * t);
                    ASSERT_TRUE(back);
                    EXPECT_NEAR(back->x, px.x, kPixelTolerance) << id << " t=" << t;
                    EXPECT_NEAR(back->y, px.y, kPixelTolerance) << id << " t=" << t;
                }
            }
        }
    }
}

TEST(CatalogueProjection, ProjectedPixelsIntersectBackToThePoint) {
    const CameraPose pose{-30.0, 28.0, TiltedVehicle()};
    const CatalogueProjection left = Posed(10, pose);
    const CatalogueProjection right = Posed(11, pose);
    const CPoint3D look = RayOf(left, 512.0, 512.0);
    for (double t : {2.5, 9.0, 30.0}) {
        const CPoint3D p = left.Centre() + look * t + CPoint3D(0.1, -0.2, 0.05);
        const auto pl = left.PointToPixel(p);
        const auto pr = right.PointToPixel(p);
        ASSERT_TRUE(pl && pr);
        double range = 0.0;
        const CPoint3D q = StereoIntersect(left.Model(), right.Model(), false, pl->x, pl->y, pr->x,
                                           pr->y, 0.0, 0.0, range);
        EXPECT_LT((q - p).Length(), 1e-7) << "t=" << t;
        EXPECT_NEAR(range, p.Length(), 1e-7);
    }
}
