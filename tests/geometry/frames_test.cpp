// Frames and poses: quaternion rotation matrices, chained and inverted poses,
// camera models moved between frames, the output frame, the subframe
// adjustment, and the intersection of two general rays.
#include "geometry/CahvorProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/Frames.h"
#include "geometry/RayIntersection.h"
#include "geometry/StereoIntersection.h"
#include "geometry/Subframe.h"

#include "base/Messages.h"
#include "product_model_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace fixtures;

namespace {

void ExpectNear(const CPoint3D& a, const CPoint3D& b, double tol) {
    EXPECT_NEAR(a.m_dX, b.m_dX, tol);
    EXPECT_NEAR(a.m_dY, b.m_dY, tol);
    EXPECT_NEAR(a.m_dZ, b.m_dZ, tol);
}

CQuat RandomUnitQuat(std::mt19937& rng) {
    std::normal_distribution<double> g;
    const CQuat q(g(rng), {g(rng), g(rng), g(rng)});
    const double n = std::sqrt(q.m_dS * q.m_dS + Dot(q.m_ptVec, q.m_ptVec));
    return q / n;
}

FramePose RandomPose(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-50, 50);
    return {RandomUnitQuat(rng), {u(rng), u(rng), u(rng)}};
}

} // namespace

TEST(Frames, RotationMatrixIsTheQuaternionRotationAndOrthonormal) {
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        const CQuat q = RandomUnitQuat(rng);
        const Matrix3 m = RotationMatrix(q);
        const CPoint3D v(1.5, -0.25, 3.0);
        // An independent route: the Hamilton product q (0; v) q*.
        ExpectNear(m * v, RotateVector(v, q), 1e-13);
        const Matrix3 i3 = m * Transpose(m);
        ExpectNear(i3.rows[0], kXAxis, 1e-14);
        ExpectNear(i3.rows[1], kYAxis, 1e-14);
        ExpectNear(i3.rows[2], kZAxis, 1e-14);
        EXPECT_NEAR(Dot(Cross(m.rows[0], m.rows[1]), m.rows[2]), 1.0, 1e-14);
        // A label's quaternion a little off unit length still rotates.
        ExpectNear(RotationMatrix(q / (1.0 / 1.0001)) * v, m * v, 1e-12);
    }
    // Scalar first: (cos 45, 0, 0, sin 45) turns +X to +Y about +Z.
    const double h = std::sqrt(0.5);
    ExpectNear(RotationMatrix(CQuat(h, {0, 0, h})) * kXAxis, kYAxis, 1e-15);
}

TEST(Frames, ComposedAndInvertedPosesMapPointsLikeTheStepsTheyReplace) {
    std::mt19937 rng(8);
    for (int i = 0; i < 100; ++i) {
        const FramePose outer = RandomPose(rng);
        const FramePose inner = RandomPose(rng);
        const CPoint3D p(0.3, -2.0, 1.25);
        ExpectNear(PointToReference(ComposePoses(outer, inner), p),
                   PointToReference(outer, PointToReference(inner, p)), 1e-12);
        ExpectNear(PointToReference(InversePose(outer), PointToReference(outer, p)), p, 1e-12);
        ExpectNear(PointFromReference(outer, PointToReference(outer, p)), p, 1e-12);
        ExpectNear(VectorFromReference(outer, VectorToReference(outer, p)), p, 1e-13);
        const FramePose none = ComposePoses(outer, InversePose(outer));
        ExpectNear(PointToReference(none, p), p, 1e-12);
    }
    EXPECT_FALSE(IsUsablePose({CQuat(0, {}), {}}));
    EXPECT_FALSE(IsUsablePose({CQuat(), {std::nan(""), 0, 0}}));
    EXPECT_TRUE(IsUsablePose({CQuat(0.999, {0.01, 0, 0}), {1, 2, 3}}));
}

TEST(Frames, AMovedModelSeesTheMovedPointOnTheSamePixel) {
    std::mt19937 rng(9);
    const ModelParameters models[] = {WideCahvor(), M20Navcam(), M20WithPupil(3, 0.37)};
    for (const ModelParameters& m : models) {
        const ProductCameraModel before = Make(m);
        for (int i = 0; i < 20; ++i) {
            const FramePose initial = RandomPose(rng);
            const FramePose final = RandomPose(rng);
            const std::optional<ModelParameters> moved = MoveModel(m, initial, final);
            ASSERT_TRUE(moved);
            EXPECT_EQ(moved->r, m.r);
            EXPECT_EQ(moved->e, m.e);
            const ProductCameraModel after = Make(*moved);
            // The body carries the point with it: body coordinates stay.
            const CPoint3D point = before.PixelToRay({300, 400})->origin +
                                   before.PixelToRay({300, 400})->direction * 6.0;
            const CPoint3D inBody = PointFromReference(initial, point);
            const CPoint3D movedPoint = PointToReference(final, inBody);
            const ImagePoint a = *before.PointToPixel(point);
            const std::optional<ImagePoint> b = after.PointToPixel(movedPoint);
            ASSERT_TRUE(b);
            EXPECT_LT(Distance(a, *b), 1e-7);
            // And back again.
            const ModelParameters back = *MoveModel(*moved, final, initial);
            ExpectNear(back.c, m.c, 1e-11);
            ExpectNear(back.h, m.h, 1e-9);
        }
    }
    // A vehicle-frame model in the site frame and back.
    const FramePose rover = RandomPose(rng);
    const ModelParameters site = *ModelToReference(M20Navcam(), rover);
    ExpectNear(site.c, PointToReference(rover, M20Navcam().c), 1e-12);
    ExpectNear(ModelFromReference(site, rover)->v, M20Navcam().v, 1e-9);
    EXPECT_FALSE(MoveModel(M20Navcam(), {CQuat(0, {}), {}}, FramePose{}));
}

TEST(Frames, AProductModelOfACatalogueCameraCastsTheCatalogueRaysInTheOutputFrame) {
    // The catalogue places a camera by turning it about its pivot with the
    // head pointing, then by the vehicle attitude, then flipping Y and Z.
    // The same camera as a product model: moved rigidly about the pivot, its
    // rays taken to the output frame with the attitude.
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    const CameraPose record{37.0, -12.0,
                            FromAxisAngleDeg(CPoint3D(0.1, -0.2, 1.0).Normalized(), 23.0)};
    for (CameraId id : {0, 7, 10}) {
        CameraModel cat(id);
        cat.m_pose = record;
        const CQuat head = HeadRotation(cat, true);
        const double n = std::sqrt(head.m_dS * head.m_dS + Dot(head.m_ptVec, head.m_ptVec));
        const std::optional<ModelParameters> inVehicle = MoveModel(
            CatalogueModelParameters(cat), {CQuat(), cat.m_ptPivot}, {head / n, cat.m_ptPivot});
        ASSERT_TRUE(inVehicle);
        const ProductCameraModel product = Make(*inVehicle);
        for (const ImagePoint& px : Grid(1024, 1024, 6)) {
            CPoint3D centre;
            CPoint3D direction;
            CameraPoseRay(cat, px.x, px.y, true, centre, direction);
            const Ray out = OutputRayFromVehicle(*product.PixelToRay(px), record.vehicleAttitude);
            ExpectNear(out.origin, centre, 1e-12);
            EXPECT_LT(AngleRad(out.direction, direction), 2e-6) << id;
            // The output frame is Z up: undoing it gives the vehicle ray.
            ExpectNear(VehicleFromOutputTurned(out.direction, record.vehicleAttitude),
                       product.PixelToRay(px)->direction, 1e-14);
        }
    }
    EXPECT_EQ(OutputFromVehicle({1, 2, 3}), CPoint3D(1, -2, -3));
    EXPECT_EQ(VehicleFromOutput(OutputFromVehicle({1, 2, 3})), CPoint3D(1, 2, 3));
    // A camera centre above the ground (negative z in the vehicle frame) is
    // above it in the output frame too.
    EXPECT_GT(OutputRayFromVehicle({{0, 0, -1.9}, kXAxis}, std::nullopt).origin.m_dZ, 0.0);
}

TEST(Subframe, ShiftAndDownsamplingMoveEveryPixelAsTheDetectorGeometrySays) {
    // Mars 2020: a subframe at first sample 1273, first line 953 has its
    // principal point 1272, 952 px lower; downsampling by 2 halves the focal
    // lengths.
    const ModelParameters full = M20Navcam();
    const double a2 = Dot(full.a, full.a);
    const ModelDerivedValues f = DeriveValues(full);
    const ModelDerivedValues s = DeriveValues(*AdjustToSubframe(full, {1273, 953, 1}));
    EXPECT_NEAR(f.hc - s.hc, 1272 * a2, 1e-9);
    EXPECT_NEAR(f.vc - s.vc, 952 * a2, 1e-9);
    EXPECT_NEAR(s.hs, f.hs, 1e-9);
    const ModelDerivedValues h = DeriveValues(*AdjustToSubframe(full, {1, 1, 2}));
    EXPECT_NEAR(h.hs, f.hs / 2, 1e-9);
    EXPECT_NEAR(h.vs, f.vs / 2, 1e-9);
    // Every model type: a point lands where the full-frame pixel maps to.
    const SubframeGeometry geometries[] = {{1273, 953, 1}, {1, 1, 2}, {641, 481, 4}, {9, 5, 3}};
    for (const ModelParameters& m :
         {WideCahvor(), WithUnitO(M20Navcam()), WithUnitO(M20WithPupil(3, 0.37))}) {
        const ProductCameraModel fullModel = Make(m);
        for (const SubframeGeometry& g : geometries) {
            const ProductCameraModel sub = Make(*AdjustToSubframe(m, g));
            for (const ImagePoint& px : Grid(1000, 900, 5)) {
                const Ray ray = *fullModel.PixelToRay(px);
                const CPoint3D point = ray.origin + ray.direction * 5.0;
                const ImagePoint expected = SubframePixelFromFullFrame(px, g);
                EXPECT_LT(Distance(*sub.PointToPixel(point), expected), 1e-7);
                EXPECT_LT(AngleRad(sub.PixelToRay(expected)->direction, ray.direction), 1e-11);
            }
        }
    }
    EXPECT_FALSE(AdjustToSubframe(full, {1, 1, 0}));
    EXPECT_FALSE(AdjustToSubframe(full, {1, 1, -2}));
    EXPECT_FALSE(AdjustToSubframe(full, {std::nan(""), 1, 1}));
    EXPECT_FALSE(AdjustToSubframe(full, {1, 1, std::numeric_limits<double>::infinity()}));
}

TEST(RayIntersection, SkewRaysMeetAtTheMidpointOfTheirClosestPoints) {
    // Two rays 0.2 m apart vertically, crossing in plan view at (10, 0).
    const Ray left{{0, 0.5, 0}, CPoint3D(10, -0.5, 0).Normalized()};
    const Ray right{{0, -0.5, 0.2}, CPoint3D(10, 0.5, 0) * 3.0};
    const RayIntersectionResult r = IntersectRays(left, right);
    ASSERT_TRUE(r.ok()) << r.message;
    ExpectNear(r.point, {10, 0, 0.1}, 1e-12);
    EXPECT_NEAR(r.missDistance, 0.2, 1e-12);
    ExpectNear(r.closestOnFirst, {10, 0, 0}, 1e-12);
    ExpectNear(r.closestOnSecond, {10, 0, 0.2}, 1e-12);
    EXPECT_NEAR(r.tFirst, std::hypot(10, 0.5), 1e-12);
    EXPECT_NEAR(r.tSecond, std::hypot(10, 0.5), 1e-12);
}

TEST(RayIntersection, CrossingsBehindACameraParallelRaysAndNaNAreFailures) {
    // Lines meeting at (6, 0, 0): 6 m along the first ray, 1.4 m back along
    // the second.
    const Ray first{{0, 0, 0}, {1, 0, 0}};
    const Ray away{{5, 1, 0}, {-1, 1, 0}};
    const RayIntersectionResult behind = IntersectRays(first, away);
    EXPECT_EQ(behind.status, RayIntersectionStatus::BehindSecond);
    EXPECT_FALSE(behind.message.empty());
    EXPECT_EQ(IntersectRays(away, first).status, RayIntersectionStatus::BehindFirst);
    EXPECT_TRUE(IntersectRays(first, {{5, 1, 0}, {1, -1, 0}}).ok());
    // Touching exactly at an origin (t = 0) is not in front either.
    EXPECT_FALSE(IntersectRays({{0, 0, 0}, {1, 0, 0}}, {{5, -1, 0}, {-5, 1, 0}}).ok());
    const Ray a{{0, 0.5, 0}, {1, -0.05, 0}};
    const Ray parallel{{0, -0.5, 0}, {1, -0.05, 0}};
    EXPECT_EQ(IntersectRays(a, parallel).status, RayIntersectionStatus::Parallel);
    // Nearly parallel: 1e-10 rad apart is refused by default, accepted when
    // the caller allows it.
    const Ray almost{{0, -0.5, 0}, {1, -0.05 + 1e-10, 0}};
    EXPECT_EQ(IntersectRays(a, almost).status, RayIntersectionStatus::Parallel);
    EXPECT_NE(IntersectRays(a, almost, {1e-12}).status, RayIntersectionStatus::Parallel);
    const double nan = std::nan("");
    EXPECT_EQ(IntersectRays(a, {{nan, 0, 0}, {1, 0, 0}}).status, RayIntersectionStatus::Invalid);
    EXPECT_EQ(IntersectRays(a, {{0, 0, 0}, {0, 0, 0}}).status, RayIntersectionStatus::Invalid);
    EXPECT_EQ(IntersectRays(a, {{0, 0, 0}, {nan, 1, 0}}).status, RayIntersectionStatus::Invalid);
}
