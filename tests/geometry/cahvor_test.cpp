// Vector/quaternion arithmetic, the camera catalogue and the CAHVOR
// back-projection.
#include "geometry/CahvorBackProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/StereoIntersection.h"
#include "base/Messages.h"
#include "geometry/Point3D.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace {

void ExpectNear(const CPoint3D& a, const CPoint3D& b, double tol) {
    EXPECT_NEAR(a.m_dX, b.m_dX, tol);
    EXPECT_NEAR(a.m_dY, b.m_dY, tol);
    EXPECT_NEAR(a.m_dZ, b.m_dZ, tol);
}

// The catalogue as published, one camera per line: name, then C, A, H, V, O,
// R (three values each), head attitude (s, x, y, z) and pivot (x, y, z).
// Read as text, independently of the compiled-in table.
const char* const kCatalogueText = R"(
OppyNavL 0.41197 0.105641 -1.249215 -0.972195 -0.193555 0.131811 -247.726578 -1296.609863 67.858466 -331.07028 -63.484371 1279.291928 -0.964543 -0.215917 0.151779 0.00096 -0.002183 0.018547 -0.102653 0.065924 0.006818 0.992507 0.4573 0.0261 -1.0962
OppyNavR 0.452404 -0.090348 -1.248825 -0.967006 -0.212014 0.14124 -246.433204 -1294.549308 69.794922 -329.064749 -75.301543 1273.320289 -0.959404 -0.246709 0.136667 0.001281 -0.011721 0.036593 -0.102653 0.065924 0.006818 0.992507 0.4573 0.0261 -1.0962
OppyPanL 0.382152 0.149178 -1.246381 -0.965675 -0.22424 0.131104 315.089938 -3647.728413 47.302857 -20.801368 -26.864694 3660.536632 -0.962756 -0.233389 0.13649 0.000998 0.003762 -0.057232 -0.102653 0.065924 0.006818 0.992507 0.4573 0.0261 -1.0962
OppyPanR 0.443429 -0.142099 -1.246638 -0.974596 -0.180627 0.132429 176.69083 -3612.502474 64.120658 -34.618632 -6.528287 3620.840003 -0.973043 -0.185358 0.137249 0.013087 0.023504 -0.374157 -0.102653 0.065924 0.006818 0.992507 0.4573 0.0261 -1.0962
SprtNavL 0.427748 0.11446 -1.248564 -0.989991 -0.011243 0.140682 -450.458717 -1193.412639 75.082092 -344.660526 4.426849 1249.216269 -0.98714 0.115434 0.110584 0.019876 -0.014281 0.020876 -0.016658 0.070093 0.001171 0.997401 0.4578 0.0278 -1.0967
SprtNavR 0.435019 -0.085753 -1.249092 -0.988104 -0.049381 0.145646 -452.075834 -1233.255239 79.557598 -342.762187 -13.628939 1273.248298 -0.989044 -0.039669 0.142189 0.0003 -0.004874 0.018766 -0.016658 0.070093 0.001171 0.997401 0.4578 0.0278 -1.0967
SprtPanL 0.401265 0.163027 -1.245082 -0.989679 -0.046318 0.135607 -349.960356 -3576.595824 44.320764 -10.046627 -28.461764 3591.399075 -0.991056 -0.047812 0.124591 0.022997 0.024872 -0.407146 -0.016658 0.070093 0.001171 0.997401 0.4578 0.0278 -1.0967
SprtPanR 0.413705 -0.135215 -1.246372 -0.990622 -0.007005 0.136451 -474.046354 -3554.067848 56.808555 -4.611697 -13.887297 3586.811043 -0.993079 0.017077 0.116202 0.022082 -0.033675 0.611672 -0.016658 0.070093 0.001171 0.997401 0.4578 0.0278 -1.0967
PhnxSSIL -0.36574 0.055607 -0.804866 -0.019707 0.999792 0.005334 -4205.562939 453.753701 7.537686 -5.802463 518.49499 4198.399878 -0.025911 0.999413 0.022422 0.000323 -0.020572 -0.272812 0.70649632 -0.70768316 -0.00447781 0.00523956 -0.36574 0.055607 -0.804866
PhnxSSIR -0.517322 0.056722 -0.805075 0.035452 0.999364 -0.00396 -4217.438 657.123982 1.725217 26.831761 519.775846 4235.093289 0.033558 0.999437 0.000032 0.000006 -0.001921 -0.371042 0.70626485 -0.70773808 0.01250253 -0.0118517 -0.517322 0.056722 -0.805075
MSLNavAL 0.919577 0.345256 -1.987225 0.99988 0.01098 0.01094 490.02493 1231.763481 -3.042639 492.93483 13.778703 1231.460873 0.99959 0.027364 0.008413 0.000274 -0.004951 0.021485 0.99999 0.00001 -0.00325 -0.00104 0.80436 0.55942 -1.90608
MSLNavAR 0.918496 0.76885 -1.987065 0.999939 -0.00132 0.011008 502.749189 1205.712037 9.43477 486.867495 -4.602833 1211.505435 0.996805 0.01651 -0.078154 0.008154 -0.008592 0.007793 0.99999 0.00001 -0.00325 -0.00104 0.80436 0.55942 -1.90608
MSLNavBL 0.919405 0.345366 -1.939156 0.999998 0.001181 0.001677 506.619697 1225.271705 0.319745 498.866724 1.091344 1225.630176 0.999969 -0.007128 0.00343 0.000072 -0.000111 0.007809 0.99999 0.00001 -0.00325 -0.00104 0.80436 0.55942 -1.90608
MSLNavBR 0.919104 0.768966 -1.939388 0.999917 0.001877 0.012745 506.023947 1221.274362 0.304092 503.353968 7.116666 1226.460468 0.99986 0.001297 0.016707 0.000016 0.00171 -0.004983 0.99999 0.00001 -0.00325 -0.00104 0.80436 0.55942 -1.90608
)";

} // namespace

TEST(Vectors, NormalizedAngleProjectionAndComponent) {
    EXPECT_EQ(CPoint3D().Normalized(), CPoint3D(0, 0, 0));
    ExpectNear(CPoint3D(3, 0, 4).Normalized(), {0.6, 0, 0.8}, 1e-15);
    EXPECT_DOUBLE_EQ(AngleDeg({1, 0, 0}, {0, 2, 0}), 90.0);
    EXPECT_EQ(AngleDeg({1, 2, 3}, {1, 2, 3}), 0.0);
    EXPECT_EQ(AngleDeg({1, 0, 0}, {-1, 0, 0}), 180.0);
    // A cosine that rounds just below -1 is clamped rather than giving NaN.
    const CPoint3D a(0.1, 0.2, 0.3);
    EXPECT_FALSE(std::isnan(AngleDeg(a, -a * 3.0)));
    EXPECT_NEAR(AngleDeg(a, -a * 3.0), 180.0, 1e-6);
    EXPECT_EQ(AngleDeg({0, 0, 0}, {1, 0, 0}), 0.0);
    EXPECT_EQ(SignedComponent(kZAxis, {0, 0, -5}), -5.0);
    EXPECT_EQ(SignedComponent(kOrigin, {1, 2, 3}), 0.0);
    EXPECT_NEAR(SignedComponent({0, 0, 2}, {1, 1, 3}), 3.0, 1e-15);
    EXPECT_EQ(ProjectOntoPlane(kZAxis, {1, 2, 3}), CPoint3D(1, 2, 0));
    EXPECT_EQ(ProjectOntoPlane(kOrigin, {1, 2, 3}), CPoint3D(0, 0, 0));
    EXPECT_EQ(CPoint3D(1, 2, 3).FlipYZ(), CPoint3D(1, -2, -3));
    EXPECT_EQ(Cross(kXAxis, kYAxis), kZAxis);
    EXPECT_EQ(CPoint3D::Invalid(), CPoint3D(DBL_MAX, DBL_MAX, DBL_MAX));
    EXPECT_EQ(CPoint3D::Invalid().m_dX, 1.7976931348623157e308);
}

TEST(Quaternions, ProductRotationAndInverse) {
    EXPECT_EQ(kPi, std::acos(-1.0));
    const CQuat q(0.3, {-0.2, 0.5, 0.7});
    EXPECT_EQ(CQuat() * q, q);
    EXPECT_EQ(RotateVector({1.5, -2, 3}, CQuat()), CPoint3D(1.5, -2, 3));
    const CQuat qi = q * q.Inverse();
    EXPECT_NEAR(qi.m_dS, 1.0, 1e-15);
    ExpectNear(qi.m_ptVec, kOrigin, 1e-15);
    ExpectNear(RotateVector(kXAxis, FromAxisAngleDeg(kZAxis, 90)), kYAxis, 1e-15);
    // Hamilton product is not commutative: i*j = k, j*i = -k.
    EXPECT_EQ((CQuat(0, kXAxis) * CQuat(0, kYAxis)).m_ptVec, kZAxis);
    EXPECT_EQ((CQuat(0, kYAxis) * CQuat(0, kXAxis)).m_ptVec, -kZAxis);
    const CQuat rb = RotationBetween({1, 0, 0}, {0, 1, 0});
    EXPECT_NEAR(rb.m_dS, std::sqrt(2.0) / 2, 1e-15);
    ExpectNear(rb.m_ptVec, {0, 0, std::sqrt(2.0) / 2}, 1e-15);
    EXPECT_EQ(RotationBetween({1, 0, 0}, {-1, 0, 0}), CQuat(0, {0, 0, 1}));
    // RotateVector uses the conjugate: a non-unit quaternion scales by |q|^2;
    // RotateTriple uses the inverse and does not.
    const CQuat twice(2, {0, 0, 0});
    EXPECT_EQ(RotateVector(kXAxis, twice), CPoint3D(4, 0, 0));
    EXPECT_EQ(RotateTriple({kXAxis, kYAxis, kZAxis}, twice)[0], kXAxis);
    // Quaternions are never normalised implicitly.
    const CQuat nonUnit = FromAxisAngleDeg({0, 0, 2}, 60);
    EXPECT_NEAR(nonUnit.m_ptVec.m_dZ, 2 * std::sin(kPi / 6), 1e-15);
}

TEST(Triples, CentroidNormalDifferenceRotation) {
    const PointTriple t{CPoint3D(0, 0, 0), CPoint3D(2, 0, 0), CPoint3D(0, 2, 0)};
    EXPECT_EQ(TripleCentroid(t), CPoint3D(2.0 / 3, 2.0 / 3, 0));
    EXPECT_EQ(TripleNormal(t), kZAxis);
    EXPECT_EQ(TripleNormal({CPoint3D(0, 0, 0), CPoint3D(1, 1, 1), CPoint3D(2, 2, 2)}),
              CPoint3D(0, 0, 0));
    const PointTriple d = TripleDifference(t, {kXAxis, kXAxis, kXAxis});
    EXPECT_EQ(d[1], CPoint3D(1, 0, 0));
    const PointTriple r = RotateTriple(t, FromAxisAngleDeg(kZAxis, 90));
    ExpectNear(r[1], {0, 2, 0}, 1e-15);
    ExpectNear(r[2], {-2, 0, 0}, 1e-15);
    EXPECT_EQ(PointTriple{}[2], CPoint3D());
}

TEST(Catalogue, EveryValueMatchesThePublishedTables) {
    std::istringstream in(kCatalogueText);
    std::string name;
    int id = 0;
    while (in >> name) {
        ASSERT_LT(id, kCameraCount);
        double v[25];
        for (double& x : v) {
            ASSERT_TRUE(in >> x);
        }
        const CameraModel m(id);
        EXPECT_STREQ(CameraName(id), name.c_str());
        const CPoint3D* vecs[] = {&m.m_ptC, &m.m_ptA, &m.m_ptH, &m.m_ptV, &m.m_ptO, &m.m_ptR};
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(*vecs[k], CPoint3D(v[3 * k], v[3 * k + 1], v[3 * k + 2]))
                << name << " vector "
                << "CAHVOR"[k];
        }
        EXPECT_EQ(m.m_qModelPointing, CQuat(v[18], {v[19], v[20], v[21]})) << name;
        EXPECT_EQ(m.m_ptPivot, CPoint3D(v[22], v[23], v[24])) << name;
        EXPECT_EQ(m.m_nCameraId, id);
        ++id;
    }
    EXPECT_EQ(id, kCameraCount);
}

TEST(Catalogue, LoadingRulesAndPixelAngles) {
    const CameraModel r(1);
    EXPECT_EQ(r.m_ptC, CPoint3D(0.452404, -0.090348, -1.248825));
    EXPECT_EQ(r.m_ptR, CPoint3D(0.001281, -0.011721, 0.036593));
    EXPECT_EQ(CameraModel(8).m_ptPivot, CameraModel(8).m_ptC);
    EXPECT_EQ(CameraModel(9).m_ptPivot, CameraModel(9).m_ptC);
    for (int bad : {-1, 14, 1000}) {
        const CameraModel m(bad);
        EXPECT_EQ(m.m_nCameraId, bad);
        EXPECT_EQ(m.m_ptC, CPoint3D());
        EXPECT_EQ(m.m_ptH, CPoint3D());
        EXPECT_EQ(m.m_qModelPointing, CQuat());
    }
    EXPECT_EQ(CameraModel(0).m_ptPivot, CPoint3D(0.4573, 0.0261, -1.0962));
    EXPECT_EQ(CameraModel(7).m_ptPivot, CPoint3D(0.4578, 0.0278, -1.0967));
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(CameraModel(i).m_qModelPointing, CameraModel(0).m_qModelPointing);
        EXPECT_EQ(CameraModel(4 + i).m_ptPivot, CameraModel(4).m_ptPivot);
    }
    EXPECT_EQ(PixelAngleForCamera(-1), 0.0);
    EXPECT_EQ(PixelAngleForCamera(0), 0.0468677);
    EXPECT_EQ(PixelAngleForCamera(13), 0.0468677);
    EXPECT_EQ(PixelAngleForCamera(6), 0.01600068);
    EXPECT_EQ(PixelAngleForCamera(9), 0.01375099);
    EXPECT_EQ(PixelAngleForCamera(14), 0.0);
    EXPECT_EQ(ParseCameraId("OppyNavL"), 0);
    EXPECT_EQ(ParseCameraId("13"), 13);
    EXPECT_EQ(ParseCameraId("none"), -1);
    EXPECT_FALSE(ParseCameraId("14").has_value());
    EXPECT_FALSE(ParseCameraId("oppynavl").has_value());
}

TEST(Cahvor, KnownRaysAndImageCentres) {
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    ExpectNear(CameraModel(0).PixelToRay(512, 512), {-0.969351, -0.202369, 0.139302}, 2e-6);
    ExpectNear(CameraModel(1).PixelToRay(512, 512), {-0.969062, -0.203541, 0.139607}, 2e-6);
    for (int id = 0; id < kCameraCount; ++id) {
        const CameraModel m(id);
        const CPoint3D d = m.PixelToRay(Dot(m.m_ptA, m.m_ptH), Dot(m.m_ptA, m.m_ptV));
        EXPECT_LT((d - m.m_ptA).Length(), 0.003) << CameraName(id);
        EXPECT_NEAR(d.Length(), 1.0, 1e-15);
        // Far outside the image a direction still comes back.
        EXPECT_NEAR(m.PixelToRay(-5000, 9000).Length(), 1.0, 1e-12);
    }
    EXPECT_TRUE(sink.m_vMessages.empty());
}

TEST(Cahvor, DistortionSolver) {
    // Without distortion mu = 0 is the root at once.
    double f = 0, df = 0;
    RadialResidual({0, 0, 0}, 0.25, 3.0, f, df);
    EXPECT_EQ(f, -0.25);
    EXPECT_EQ(df, -1.0);
    EXPECT_EQ(SolveRadialMu({0, 0, 0}, 0.0, 2.0, 1e-5, 0.7), 0.0);
    // tau = 0: f = (1 + r0)(1 - mu) - 1, root r0 / (1 + r0).
    EXPECT_NEAR(SolveRadialMu({0.05, 0.3, 0.2}, 0.0, 2.0, 1e-5, 0.0), 0.05 / 1.05, 1e-6);
    // OppyNavL at (512, 512): mu is about 0.000958.
    const CameraModel m(0);
    CPoint3D r = Cross(m.m_ptV - m.m_ptA * 512.0, m.m_ptH - m.m_ptA * 512.0);
    r = (-r).Normalized();
    const double zeta = Dot(r, m.m_ptO);
    const CPoint3D lambda = r - m.m_ptO * zeta;
    const double tau = Dot(lambda, lambda) / (zeta * zeta);
    EXPECT_NEAR(SolveRadialMu(m.m_ptR, 0.0, 2.0, 1e-5, tau), 0.000958, 2e-6);
    // A model with no distortion returns the plain CAHV direction.
    CameraModel plain(0);
    plain.m_ptR = CPoint3D();
    const CPoint3D cahv =
        (-Cross(plain.m_ptV - plain.m_ptA * 100.0, plain.m_ptH - plain.m_ptA * 200.0)).Normalized();
    const CPoint3D got = plain.PixelToRay(200, 100);
    EXPECT_NEAR((got - cahv).Length(), 0.0, 1e-15);
}

TEST(Cahvor, SolverMessagesGoThroughTheSink) {
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    // f(mu) = 0.2 (1 - mu) - 1 is negative at 0, 2 and -2: unbracketed.
    SolveRadialMu({-0.8, 0.0, 0.0}, 0.0, 2.0, 1e-5, 1.0);
    ASSERT_FALSE(sink.m_vMessages.empty());
    EXPECT_EQ(sink.m_vMessages.front(), "Unbracketed Root Error (notify author of cam/coords)");
    // NaN input never converges: the iteration limit message and mu = 0.
    sink.m_vMessages.clear();
    EXPECT_EQ(SolveRadialMu({0.1, 0.1, 0.1}, 0.0, 2.0, 1e-5, std::nan("")), 0.0);
    ASSERT_FALSE(sink.m_vMessages.empty());
    EXPECT_EQ(sink.m_vMessages.back(), "Error: Maximum number of iterations exceeded");
}

TEST(Cahvor, AzimuthElevationConventions) {
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    double az = 0, el = 0;
    CameraModel m(0);
    m.PixelAzEl(512, 512, az, el);
    EXPECT_NEAR(az, -0.02, 0.01);
    EXPECT_NEAR(el, -0.41, 0.01);
    // With an identity record: the same direction in the site frame, the same
    // sign conventions (azimuth toward +Y of the vehicle, elevation up).
    m.m_pose = CameraPose{};
    double az2 = 0, el2 = 0;
    m.PixelAzEl(512, 512, az2, el2);
    EXPECT_NEAR(az2, az, 1e-9);
    EXPECT_NEAR(el2, el, 1e-9);
    // The record's head azimuth turns about +Z (toward the vehicle's right);
    // its elevation turns about +Y by minus the value, which in the Z-down
    // vehicle frame tips the view down by that amount.
    m.m_pose->headAzimuthDeg = 30;
    m.m_pose->headElevationDeg = 10;
    m.PixelAzEl(512, 512, az2, el2);
    EXPECT_NEAR(az2, az + 30, 0.2);
    EXPECT_NEAR(el2, el - 10, 0.2);
    // A pixel right of the centre column is to the right: positive azimuth.
    m.m_pose.reset();
    m.PixelAzEl(900, 512, az2, el2);
    EXPECT_GT(az2, 5.0);
    m.PixelAzEl(512, 100, az2, el2);
    EXPECT_GT(el2, 5.0); // a row near the top looks up
    EXPECT_NEAR(AzimuthDeg({1, 1, 0}), 45, 1e-12);
    EXPECT_NEAR(AzimuthDeg({1, -1, 0}), -45, 1e-12);
    EXPECT_EQ(AzimuthDeg({-1, 0, 0}), -180);
}
