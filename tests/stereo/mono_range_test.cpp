// Range from one image on a surface: a pinhole camera 1.5 m above level
// ground, looking 30 degrees down, against planes whose answers are known;
// the refusals (sky, grazing and parallel rays, a plane behind the camera);
// planes from text and from measured points.
#include "geometry/ProductModels.h"
#include "stereo/MonoRange.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kHeight = 1.5;
constexpr double kFocal = 1000.0; // pixels
constexpr double kCentre = 511.5;

// Output frame, Z up; image x to the right (-Y), y down.
CameraModelCahv LevelCamera(double downDeg) {
    const double e = downDeg * kPi / 180.0;
    ModelParameters m;
    m.type = ModelType::Cahv;
    m.c = {0.0, 0.0, kHeight};
    m.a = {std::cos(e), 0.0, -std::sin(e)};
    const CPoint3D right{0.0, -1.0, 0.0};
    const CPoint3D down = Cross(m.a, right);
    m.h = right * kFocal + m.a * kCentre;
    m.v = down * kFocal + m.a * kCentre;
    return CameraModelCahv(m);
}

// The row whose ray leaves the camera depressionDeg below the horizontal
// (the middle column), for a camera looking downDeg down.
double RowAt(double depressionDeg, double downDeg) {
    return kCentre + kFocal * std::tan((depressionDeg - downDeg) * kPi / 180.0);
}

TEST(MonoRange, TheGroundPlaneGivesTheRangeOfTheRayAndItsSigmaGrowsAsTheRayFlattens) {
    const CameraModelCahv camera = LevelCamera(30.0);
    const MonoSurface ground = GroundSurface();
    double lastSurfaceShare = 0.0;
    for (const double depression : {45.0, 30.0, 15.0, 8.0}) {
        const MonoRangeResult r =
            MeasureOnSurface(camera, {kCentre, RowAt(depression, 30.0)}, ground);
        ASSERT_TRUE(r.ok) << depression << ": " << r.problem;
        const double d = kHeight / std::tan(depression * kPi / 180.0);
        EXPECT_NEAR(r.position.m_dX, d, 1e-9 * d);
        EXPECT_NEAR(r.position.m_dY, 0.0, 1e-9);
        EXPECT_NEAR(r.position.m_dZ, 0.0, 1e-9);
        EXPECT_NEAR(r.rangeM, d, 1e-9 * d);
        EXPECT_NEAR(r.azimuthDeg, 0.0, 1e-9);
        EXPECT_NEAR(r.incidenceDeg, depression, 1e-6);
        ASSERT_TRUE(r.uncertainty);
        // Lowering the ground by dh moves the point dh / tan(depression) away.
        EXPECT_NEAR(r.rangeSigmaSurfaceM, 0.1 / std::tan(depression * kPi / 180.0), 1e-4 * d);
        EXPECT_GT(r.rangeSigmaSurfaceM, lastSurfaceShare);
        lastSurfaceShare = r.rangeSigmaSurfaceM;
        // Half a pixel of depression angle on the ground: d = h / tan(dep).
        const double dep = depression * kPi / 180.0;
        const double off = (depression - 30.0) * kPi / 180.0;
        const double perPixel =
            kHeight / (std::sin(dep) * std::sin(dep)) * std::cos(off) * std::cos(off) / kFocal;
        EXPECT_NEAR(r.rangeSigmaPixelM, 0.5 * perPixel, 0.05 * perPixel);
        EXPECT_NEAR(r.uncertainty->rangeSigmaM,
                    std::hypot(r.rangeSigmaPixelM, r.rangeSigmaSurfaceM), 1e-6 * d);
    }
    // A settable height sigma scales the surface's share alone.
    const MonoRangeResult exact =
        MeasureOnSurface(camera, {kCentre, RowAt(20.0, 30.0)}, GroundSurface(0.0));
    const MonoRangeResult loose =
        MeasureOnSurface(camera, {kCentre, RowAt(20.0, 30.0)}, GroundSurface(0.3));
    ASSERT_TRUE(exact.ok && loose.ok);
    EXPECT_EQ(exact.rangeSigmaSurfaceM, 0.0);
    EXPECT_NEAR(loose.rangeSigmaSurfaceM, 0.3 / std::tan(20.0 * kPi / 180.0), 1e-3);
    EXPECT_NEAR(loose.rangeSigmaPixelM, exact.rangeSigmaPixelM, 1e-9);
}

// Each vehicle's ground lies where its camera heights put it below the
// frame's origin, whether the camera comes from the catalogue or a product's
// frame; a lander whose ground is not known is refused, not guessed.
TEST(MonoRange, TheGroundPlaneLiesWhereEachVehiclesGroundIs) {
    const auto depth = [](const char* name) {
        return GroundOfCatalogueCamera(*ParseCameraId(name)).depthM;
    };
    // MER: mast cameras 1.5 m above the ground, 1.25 m above the origin.
    for (const char* mer : {"OppyNavL", "OppyPanR", "SprtNavR", "SprtPanL"}) {
        ASSERT_TRUE(depth(mer)) << mer;
        EXPECT_NEAR(*depth(mer), 0.25, 0.01) << mer;
    }
    ASSERT_TRUE(depth("PhnxSSIR"));
    EXPECT_NEAR(*depth("PhnxSSIR"), 1.195, 0.01);
    EXPECT_EQ(depth("MSLNavBL"), 0.0);
    EXPECT_FALSE(GroundOfCatalogueCamera(-1).depthM);

    EXPECT_EQ(
        GroundOfProductFrame("ROVER_NAV_FRAME", "NLF_0672_0726598021_113ECM_N0320604NCAM0").depthM,
        0.0);
    EXPECT_EQ(GroundOfProductFrame("ROVER_FRAME", "1N137057367EFF4000P1916L0M1").depthM,
              depth("OppyNavL"));
    EXPECT_EQ(GroundOfProductFrame("LANDER_FRAME", "RS016EFF897648211_10E40MBM1").depthM,
              depth("PhnxSSIL"));
    const VehicleGround insight =
        GroundOfProductFrame("LANDER_FRAME", "D000M0005_597065013EDR_F0000_0461M1");
    EXPECT_FALSE(insight.depthM);
    EXPECT_EQ(insight.vehicle, "InSight");
    // A raw-feed record gives every model as in the rover navigation frame:
    // the lander's name still tells.
    EXPECT_FALSE(
        GroundOfProductFrame("ROVER_NAV_FRAME", "D000M0005_597065013EDR_F0000_0461M1").depthM);

    // The plane lies that far below the origin: a ray 30 degrees down from
    // 1.5 m above the origin meets the MER ground (1.75 m below the camera)
    // further out than the origin's plane.
    const CameraModelCahv camera = LevelCamera(30.0);
    MonoCamera mer;
    mer.ground = GroundOfCatalogueCamera(*ParseCameraId("OppyNavL"));
    const SurfaceResult ground = VehicleGroundSurface(mer, 0.2);
    ASSERT_TRUE(ground.surface) << ground.problem;
    EXPECT_DOUBLE_EQ(ground.surface->heightSigmaM, 0.2);
    const MonoRangeResult r =
        MeasureOnSurface(camera, {kCentre, RowAt(30.0, 30.0)}, *ground.surface);
    ASSERT_TRUE(r.ok) << r.problem;
    EXPECT_NEAR(r.position.m_dZ, -*mer.ground.depthM, 1e-9);
    EXPECT_NEAR(r.position.m_dX, (kHeight + *mer.ground.depthM) / std::tan(kPi / 6.0), 1e-9);

    MonoCamera lander;
    lander.ground = insight;
    const SurfaceResult none = VehicleGroundSurface(lander);
    EXPECT_FALSE(none.surface);
    EXPECT_NE(none.problem.find("InSight"), std::string::npos) << none.problem;
    EXPECT_NE(none.problem.find("fitted to measured points"), std::string::npos) << none.problem;
}

TEST(MonoRange, SkyGrazingParallelAndBehindAreRefusedWithTheirReasons) {
    const CameraModelCahv camera = LevelCamera(0.0);
    // Above the horizon: the ray rises and never meets the ground.
    const MonoRangeResult sky =
        MeasureOnSurface(camera, {kCentre, RowAt(-10.0, 0.0)}, GroundSurface());
    EXPECT_FALSE(sky.ok);
    EXPECT_NE(sky.problem.find("above the horizon"), std::string::npos) << sky.problem;
    // Just below the horizon: it meets the ground 17 m away at 4.9 degrees.
    const MonoRangeResult grazing =
        MeasureOnSurface(camera, {kCentre, RowAt(4.9, 0.0)}, GroundSurface());
    EXPECT_FALSE(grazing.ok);
    EXPECT_NE(grazing.problem.find("grazing"), std::string::npos) << grazing.problem;
    EXPECT_TRUE(MeasureOnSurface(camera, {kCentre, RowAt(5.1, 0.0)}, GroundSurface()).ok);
    // Exactly along the horizon: parallel to the ground, and to a wall beside it.
    EXPECT_FALSE(MeasureOnSurface(camera, {kCentre, kCentre}, GroundSurface()).ok);
    const auto wall = PlaneSurface(0.0, 1.0, 0.0, -5.0);
    ASSERT_TRUE(wall.surface);
    const MonoRangeResult parallel = MeasureOnSurface(camera, {kCentre, kCentre}, *wall.surface);
    EXPECT_FALSE(parallel.ok);
    EXPECT_NE(parallel.problem.find("grazing"), std::string::npos) << parallel.problem;
    // A wall 5 m behind the camera: every forward ray points away from it.
    const auto behind = PlaneSurface(1.0, 0.0, 0.0, 5.0);
    ASSERT_TRUE(behind.surface);
    const MonoRangeResult back = MeasureOnSurface(camera, {kCentre, kCentre}, *behind.surface);
    EXPECT_FALSE(back.ok);
    EXPECT_NE(back.problem.find("behind the camera"), std::string::npos) << back.problem;
    // The same wall 5 m ahead is met straight on.
    const auto ahead = PlaneSurface(-2.0, 0.0, 0.0, 10.0);
    ASSERT_TRUE(ahead.surface);
    const MonoRangeResult front = MeasureOnSurface(camera, {kCentre, kCentre}, *ahead.surface);
    ASSERT_TRUE(front.ok) << front.problem;
    EXPECT_NEAR(front.position.m_dX, 5.0, 1e-9);
    EXPECT_NEAR(front.incidenceDeg, 90.0, 1e-6);
    // A pixel the model cannot cast (behind a pinhole's focal plane is fine
    // for CAHV; a NaN pixel is not).
    EXPECT_FALSE(MeasureOnSurface(camera, {NAN, 3.0}, GroundSurface()).ok);
}

TEST(MonoRange, PlanesFromTextAndFromPointsCarryTheirUncertainty) {
    const auto p = ParsePlane("0,0,2,0.6", 0.05);
    ASSERT_TRUE(p.surface) << p.problem;
    EXPECT_EQ(p.surface->normal, CPoint3D(0.0, 0.0, 1.0));
    EXPECT_DOUBLE_EQ(p.surface->offset, 0.3);
    EXPECT_EQ(p.surface->heightSigmaM, 0.05);
    EXPECT_EQ(p.surface->kind, SurfaceKind::GivenPlane);
    for (const char* bad : {"0,0,1", "0,0,0,1", "a,b,c,d", "0,0,1,0,5", "0;0;1;0", "0,0,1,nan"}) {
        EXPECT_FALSE(ParsePlane(bad).surface) << bad;
    }
    EXPECT_FALSE(ParsePlane("0,0,1,0", -1.0).surface);

    // Points on z = -0.3 + 0.1 x, scattered by +-2 cm across the plane.
    std::vector<CPoint3D> points;
    for (int i = 0; i < 12; ++i) {
        const double x = 2.0 + i % 4, y = -1.0 + i / 4;
        points.push_back({x, y, -0.3 + 0.1 * x + ((i % 2) != 0 ? 0.02 : -0.02)});
    }
    const auto fitted = FittedSurface(points);
    ASSERT_TRUE(fitted.surface) << fitted.problem;
    const MonoSurface& f = *fitted.surface;
    EXPECT_EQ(f.kind, SurfaceKind::FittedPlane);
    EXPECT_EQ(f.fittedPoints, 12);
    const CPoint3D n = CPoint3D(-0.1, 0.0, 1.0).Normalized();
    EXPECT_NEAR(Dot(f.normal, n), 1.0, 1e-4);
    // The scatter is the surface's sigma (with n - 3 degrees of freedom).
    EXPECT_NEAR(f.heightSigmaM, 0.02 * std::sqrt(12.0 / 9.0 * 13.0 / 12.0), 0.003);
    const MonoRangeResult r = MeasureOnSurface(LevelCamera(30.0), {kCentre, RowAt(30.0, 30.0)}, f);
    ASSERT_TRUE(r.ok) << r.problem;
    EXPECT_NEAR(r.position.m_dZ, -0.3 + 0.1 * r.position.m_dX, 0.01);
    EXPECT_GT(r.rangeSigmaSurfaceM, 0.0);
    // The points' own covariances raise it.
    Covariance3 c{};
    c[0][0] = c[1][1] = c[2][2] = 0.09;
    const auto loose = FittedSurface(points, std::vector<std::optional<Covariance3>>(12, c));
    ASSERT_TRUE(loose.surface);
    EXPECT_GT(loose.surface->heightSigmaM, f.heightSigmaM);
    // Too few points, or points on one line.
    EXPECT_FALSE(FittedSurface({{1, 0, 0}, {2, 0, 0}}).surface);
    EXPECT_FALSE(FittedSurface({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}).surface);
}

} // namespace
