// Stereo intersection of two rays, both variants and the user options.
#include "geometry/CameraModel.h"
#include "geometry/StereoIntersection.h"
#include "base/Messages.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace {

struct Pair {
    CameraModel left{0};
    CameraModel right{1};
};

CPoint3D Intersect(const Pair& p, double xL, double yL, double xR, double yR, double& range,
                   bool b2D = false, double azL = 0, double azR = 0) {
    return StereoIntersect(p.left, p.right, b2D, xL, yL, xR, yR, azL, azR, range);
}

} // namespace

TEST(Stereo, OpportunityNavcamExample) {
    Pair p;
    double range = 0;
    const CPoint3D pt = Intersect(p, 512, 700, 480, 700, range);
    EXPECT_NEAR(pt.m_dX, 8.4670, 5e-4);
    EXPECT_NEAR(pt.m_dY, 0.0633, 5e-4);
    EXPECT_NEAR(pt.m_dZ, -0.0411, 5e-4);
    EXPECT_NEAR(range, 8.4674, 5e-4);
    EXPECT_EQ(range, pt.Length());
}

TEST(Stereo, DivergingRaysFailBehindTheCameras) {
    Pair p;
    double range = 0;
    const CPoint3D pt = Intersect(p, 480, 700, 560, 700, range);
    EXPECT_EQ(range, DBL_MAX);
    EXPECT_EQ(pt, CPoint3D::Invalid());
}

TEST(Stereo, ParallelRaysAreAFailureNotAnInfiniteRange) {
    // Two identical cameras and pixels give exactly parallel rays.
    Pair p;
    p.right = p.left;
    p.right.m_ptC = p.right.m_ptC + CPoint3D(0, 0.2, 0);
    p.right.m_ptPivot = p.right.m_ptPivot + CPoint3D(0, 0.2, 0);
    double range = 0;
    const CPoint3D pt = Intersect(p, 512, 512, 512, 512, range);
    EXPECT_EQ(range, DBL_MAX);
    EXPECT_EQ(pt, CPoint3D::Invalid());
    // In 2D mode, a ray straight down has no horizontal part: also a failure.
    CPoint3D a(0, 0, 1), b(0, 0, 1);
    double ta = 1, tb = 1;
    EXPECT_EQ(ClosestApproach(a, b, kOrigin, kXAxis, ta, tb), CPoint3D::Invalid());
    EXPECT_EQ(ta, 0.0);
    EXPECT_EQ(tb, 0.0);
}

TEST(Stereo, ClosestApproachOfCrossingLines) {
    CPoint3D a(2, 0, 0), b(0, 3, 0);
    double ta = 0, tb = 0;
    const CPoint3D p = ClosestApproach(a, b, {-4, 1, 0}, {1, -6, 0}, ta, tb);
    EXPECT_EQ(a, kXAxis); // normalised in place
    EXPECT_EQ(b, kYAxis);
    EXPECT_NEAR(p.m_dX, 1, 1e-12);
    EXPECT_NEAR(p.m_dY, 1, 1e-12);
    EXPECT_NEAR(ta, 5, 1e-12);
    EXPECT_NEAR(tb, 7, 1e-12);
    // Skew lines: the midpoint of the shortest segment.
    CPoint3D c = kXAxis, d = kYAxis;
    const CPoint3D m = ClosestApproach(c, d, {0, 0, 0}, {0, 0, 2}, ta, tb);
    EXPECT_NEAR(m.m_dZ, 1.0, 1e-12);
}

TEST(Stereo, TwoDimensionalModeUsesTheMeanCameraHeight) {
    Pair p;
    double range = 0;
    const CPoint3D pt = Intersect(p, 512, 700, 480, 700, range, true);
    ASSERT_NE(range, DBL_MAX);
    EXPECT_NEAR(pt.m_dZ, 1.2514, 1e-4);
    CPoint3D cL, dL, cR, dR;
    CameraPoseRay(p.left, 512, 700, false, cL, dL);
    CameraPoseRay(p.right, 480, 700, false, cR, dR);
    EXPECT_NEAR(pt.m_dZ, 0.5 * (cL.m_dZ + cR.m_dZ), 1e-12);
}

TEST(Stereo, EqualAzimuthCorrectionsTurnTheResult) {
    Pair p;
    double r0 = 0, r1 = 0;
    const CPoint3D a = Intersect(p, 512, 700, 480, 700, r0);
    const CPoint3D b = Intersect(p, 512, 700, 480, 700, r1, false, 10, 10);
    EXPECT_NEAR(r1, r0, 1e-9);
    // Output frame is Z up with +Y left: azimuth toward the right is -AzimuthDeg.
    EXPECT_NEAR(-AzimuthDeg(b) - (-AzimuthDeg(a)), 10.0, 1e-9);
}

TEST(Stereo, RecordsPointingAndTheRLVariant) {
    Pair p;
    p.left.m_pose = p.right.m_pose = CameraPose{20, -15, FromAxisAngleDeg(kZAxis, 5)};
    double r = 0, rRL = 0;
    const CPoint3D a = Intersect(p, 512, 700, 480, 700, r);
    const CPoint3D b =
        StereoIntersectRL(p.left, p.right, false, kOrigin, 512, 700, 480, 700, 0, 0, rRL);
    ASSERT_NE(r, DBL_MAX);
    EXPECT_EQ(a, b);
    EXPECT_EQ(r, rRL);
    // Moving the right vehicle changes the answer.
    const CPoint3D c =
        StereoIntersectRL(p.left, p.right, false, {0, 0.5, 0}, 512, 700, 480, 700, 0, 0, rRL);
    EXPECT_GT((c - a).Length(), 0.01);
}

TEST(Stereo, OneRecordAppliesItsAttitudeButNoPointing) {
    Pair plain;
    double r0 = 0;
    const CPoint3D base = Intersect(plain, 512, 700, 480, 700, r0);
    Pair p;
    p.left.m_pose = CameraPose{};
    p.left.m_pose->headAzimuthDeg = 40; // ignored: the other side has no pose
    double r1 = 0;
    EXPECT_EQ(Intersect(p, 512, 700, 480, 700, r1), base);
    p.left.m_pose->vehicleAttitude = FromAxisAngleDeg(kZAxis, 3); // the one side's attitude is used
    const CPoint3D turned = Intersect(p, 512, 700, 480, 700, r1);
    EXPECT_GT((turned - base).Length(), 1e-3);
}

TEST(Stereo, SharedIntersectorMatchesSingleCallsAndReplaysMessages) {
    Pair p;
    p.left.m_pose = CameraPose{12, 0, CQuat()};
    p.right.m_pose = CameraPose{0, 7, CQuat()};
    const CPoint3D rl(0.3, -0.1, 0.05);
    const double offsets[9][4] = {{0, 0, 0, 0},  {-1, 1, 0, 0}, {-1, 1, -1, 1},
                                  {0, 0, -1, 1}, {0, 0, 0, 0},  {1, 1, 0, 0},
                                  {1, 1, 1, 1},  {0, 0, 1, 1},  {0, 0, 0, 0}};
    for (const bool b2D : {false, true}) {
        for (const CPoint3D* v : {static_cast<const CPoint3D*>(nullptr), &rl}) {
            CStereoIntersector in(p.left, p.right, b2D, v, 1.5, -2.0);
            for (const auto& o : offsets) {
                double r1 = 0, r2 = 0;
                const CPoint3D a = in.Intersect(512 + o[0], 700 + o[1], 480 + o[2], 700 + o[3], r1);
                const CPoint3D b =
                    v ? StereoIntersectRL(p.left, p.right, b2D, *v, 512 + o[0], 700 + o[1],
                                          480 + o[2], 700 + o[3], 1.5, -2.0, r2)
                      : StereoIntersect(p.left, p.right, b2D, 512 + o[0], 700 + o[1], 480 + o[2],
                                        700 + o[3], 1.5, -2.0, r2);
                EXPECT_EQ(a, b);
                EXPECT_EQ(r1, r2);
            }
        }
    }
    // A camera whose distortion cannot be bracketed complains on every cast;
    // reusing a cached ray repeats the complaint, as casting it again would.
    CameraModel bad(0);
    bad.m_ptR = CPoint3D(-0.8, 0, 0);
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    CStereoIntersector in(bad, p.right, false, nullptr, 0, 0);
    double range = 0;
    in.Intersect(512, 700, 480, 700, range);
    const size_t once = sink.m_vMessages.size();
    ASSERT_GT(once, 0u);
    in.Intersect(512, 700, 480, 700, range);
    EXPECT_EQ(sink.m_vMessages.size(), 2 * once);
}
