// Checking camera-model parameters before use, and what the models do with
// parameters nobody checked: never a crash, a hang or a NaN passed on.
#include "geometry/ProductModels.h"

#include "product_model_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace fixtures;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string Rejection(const ModelParameters& p) {
    const ModelValidationResult r = ValidateModel(p);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(MakeCameraModel(p).model.has_value());
    EXPECT_EQ(MakeCameraModel(p).message, r.message);
    return r.message;
}

bool Finite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

} // namespace

TEST(ModelValidation, RealModelsPassAndDerivedValuesDescribeTheImagePlane) {
    EXPECT_TRUE(ValidateModel(M20Navcam()).ok) << ValidateModel(M20Navcam()).message;
    EXPECT_TRUE(ValidateModel(WideCahvor()).ok);
    // The principal point's ray is the axis; one focal length off it, the
    // ray is 45 degrees away (CAHV: no distortion to bend it).
    ModelParameters cahv = WideCahvor();
    cahv.type = ModelType::Cahv;
    const ModelDerivedValues d = DeriveValues(cahv);
    const ProductCameraModel m = Make(cahv);
    EXPECT_LT(AngleRad(m.PixelToRay({d.hc, d.vc})->direction, cahv.a), 1e-12);
    EXPECT_NEAR(AngleRad(m.PixelToRay({d.hc + d.hs, d.vc})->direction, cahv.a), kPi / 4, 1e-12);
    EXPECT_NEAR(AngleRad(m.PixelToRay({d.hc, d.vc - d.vs})->direction, cahv.a), kPi / 4, 1e-12);
}

TEST(ModelValidation, BrokenModelsAreRefusedWithAReason) {
    ModelParameters p = M20Navcam();
    p.a = p.a * 0.5;
    EXPECT_NE(Rejection(p).find("axis A"), std::string::npos);
    p = M20Navcam();
    p.o = p.o * 1.2;
    EXPECT_NE(Rejection(p).find("optical axis O"), std::string::npos);
    p = M20Navcam();
    p.o = -p.o;
    EXPECT_NE(Rejection(p).find("optical axis O"), std::string::npos);
    p = M20Navcam();
    p.h = p.a * 2000.0; // no horizontal focal length
    EXPECT_NE(Rejection(p).find("hs"), std::string::npos);
    p = M20Navcam();
    p.v = p.h + p.a * 10.0; // V along H on the image plane
    EXPECT_NE(Rejection(p).find("parallel"), std::string::npos);
    p = M20Navcam();
    p.r.m_dX = -1.0;
    EXPECT_NE(Rejection(p).find("r0"), std::string::npos);
    p = M20Navcam();
    p.mtype = 4;
    EXPECT_NE(Rejection(p).find("MTYPE 4"), std::string::npos);
    p = M20Navcam();
    p.mtype = 3;
    p.mparm = kNaN;
    EXPECT_NE(Rejection(p).find("MPARM"), std::string::npos);
    p = M20Navcam();
    p.e.m_dY = kInf;
    EXPECT_NE(Rejection(p).find("E vector"), std::string::npos);
    p = M20Navcam();
    p.c.m_dZ = kNaN;
    EXPECT_NE(Rejection(p).find("C vector"), std::string::npos);
}

TEST(ModelValidation, ComponentsAModelTypeDoesNotUseAreNotLookedAt) {
    ModelParameters p = WideCahvor();
    p.type = ModelType::Cahv;
    p.o = {kNaN, 0, 0};
    p.r = {kInf, 0, 0};
    p.mtype = 99;
    EXPECT_TRUE(ValidateModel(p).ok);
    p.type = ModelType::Cahvor;
    EXPECT_FALSE(ValidateModel(p).ok);
    p = WideCahvor();
    p.e = {kNaN, kNaN, kNaN};
    p.mtype = -7;
    EXPECT_TRUE(ValidateModel(p).ok);
}

// Seeded garbage: components that are typical, scaled, zero, huge, tiny,
// negative, infinite or NaN, mixed at random. A model either is refused
// with a message or answers every query with a finite value or none.
TEST(ModelValidation, GarbageParametersNeverCrashHangOrLeakNaN) {
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> pick(0, 9);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const auto mutate = [&](double v) {
        switch (pick(rng)) {
        case 0:
            return kNaN;
        case 1:
            return pick(rng) < 5 ? kInf : -kInf;
        case 2:
            return 0.0;
        case 3:
            return v * 1e200;
        case 4:
            return v * 1e-200;
        case 5:
            return -v;
        case 6:
            return unit(rng) * 1e4;
        default:
            return v * (1.0 + 0.3 * unit(rng));
        }
    };
    const auto mutateVector = [&](const CPoint3D& p) {
        if (pick(rng) < 6) {
            return p;
        }
        return CPoint3D(mutate(p.m_dX), mutate(p.m_dY), mutate(p.m_dZ));
    };
    const ModelParameters bases[] = {M20Navcam(), M20WithPupil(3, 0.37), WideCahvor()};
    int accepted = 0;
    for (int i = 0; i < 6000; ++i) {
        ModelParameters p = bases[i % 3];
        p.type = static_cast<ModelType>(pick(rng) % 3);
        p.c = mutateVector(p.c);
        p.a = mutateVector(p.a);
        p.h = mutateVector(p.h);
        p.v = mutateVector(p.v);
        p.o = mutateVector(p.o);
        p.r = mutateVector(p.r);
        p.e = mutateVector(p.e);
        if (pick(rng) < 3) {
            p.mtype = pick(rng) - 3;
            p.mparm = mutate(0.5);
        }
        const ModelValidationResult check = ValidateModel(p);
        EXPECT_EQ(check.ok, check.message.empty());
        if (check.ok) {
            ++accepted;
            for (const CPoint3D* v : {&p.c, &p.a, &p.h, &p.v}) {
                EXPECT_TRUE(Finite(*v));
            }
        }
        // Checked or not, the models answer finitely or not at all.
        const CameraModelCahv cahv(p);
        const CameraModelCahvor cahvor(p);
        const CameraModelCahvore cahvore(p);
        const ICameraProjection* models[] = {&cahv, &cahvor, &cahvore};
        const ImagePoint pixels[] = {{0, 0}, {511.5, 511.5}, {1e9, -3}, {kNaN, 1}};
        const CPoint3D points[] = {p.c + p.a * 5.0, {3, 1, 0}, {kInf, 0, 0}, {kNaN, 0, 0}};
        for (const ICameraProjection* m : models) {
            for (const ImagePoint& px : pixels) {
                if (const std::optional<Ray> r = m->PixelToRay(px)) {
                    EXPECT_TRUE(Finite(r->origin) && Finite(r->direction));
                    EXPECT_NEAR(r->direction.Length(), 1.0, 1e-9);
                }
            }
            for (const CPoint3D& pt : points) {
                if (const std::optional<ImagePoint> px = m->PointToPixel(pt)) {
                    EXPECT_TRUE(std::isfinite(px->x) && std::isfinite(px->y));
                }
            }
        }
    }
    // The mutations leave enough models intact for the accepted branch to run.
    EXPECT_GT(accepted, 300);
}
