// The product camera models: both directions of CAHV, CAHVOR and CAHVORE,
// the identities between them, the Mars 2020 reference vector, agreement with
// the catalogue back-projection, and validation of garbage parameters.
#include "geometry/CahvorProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/ProductModels.h"
#include "geometry/StereoIntersection.h"

#include "base/Messages.h"
#include "product_model_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace fixtures;

namespace {

struct NamedModel {
    std::string name;
    ModelParameters params;
    double width;
    double height;
    // Pixel round trips: CAHVOR inverts exactly only for a unit O; the
    // catalogue's O are unit to 1e-5.
    double roundTripPx = 1e-6;
};

// Every model type over its whole image; CAHVORE with a moving pupil for each
// MTYPE, a general linearity on both sides of zero included.
std::vector<NamedModel> AllModels() {
    std::vector<NamedModel> out;
    ModelParameters cahv = WideCahvor();
    cahv.type = ModelType::Cahv;
    out.push_back({"CAHV", cahv, 1024, 1024});
    out.push_back({"CAHVOR wide", WideCahvor(), 1024, 1024});
    for (int id = 0; id < kCameraCount; ++id) {
        out.push_back(
            {CameraName(id), CatalogueModelParameters(CameraModel(id)), 1024, 1024, 2e-5});
    }
    out.push_back({"M20 Navcam", WithUnitO(M20Navcam()), kM20Width, kM20Height});
    out.push_back({"CAHVORE MTYPE 1", WithUnitO(M20WithPupil(1, 0.0)), kM20Width, kM20Height});
    out.push_back({"CAHVORE MTYPE 2", WithUnitO(M20WithPupil(2, 0.0)), kM20Width, kM20Height});
    out.push_back(
        {"CAHVORE MTYPE 3 L 0.37", WithUnitO(M20WithPupil(3, 0.37)), kM20Width, kM20Height});
    out.push_back(
        {"CAHVORE MTYPE 3 L -0.3", WithUnitO(M20WithPupil(3, -0.3)), kM20Width, kM20Height});
    return out;
}

// Long-double solution of the CAHVOR back-projection, iterated to the end.
CPoint3D ReferenceCahvorRay(const ModelParameters& m, const ImagePoint& px) {
    using L = long double;
    const CPoint3D r0 = Cross(m.v - m.a * px.y, m.h - m.a * px.x);
    const L s = Dot(m.a, Cross(m.v, m.h)) < 0 ? -1 : 1;
    const L r[3] = {s * r0.m_dX, s * r0.m_dY, s * r0.m_dZ};
    const L o[3] = {m.o.m_dX, m.o.m_dY, m.o.m_dZ};
    const L zeta = r[0] * o[0] + r[1] * o[1] + r[2] * o[2];
    L lam[3];
    for (int i = 0; i < 3; ++i) {
        lam[i] = r[i] - zeta * o[i];
    }
    const L tau = (lam[0] * lam[0] + lam[1] * lam[1] + lam[2] * lam[2]) / (zeta * zeta);
    const L k1 = 1 + L(m.r.m_dX), b1 = L(m.r.m_dY) * tau, b2 = L(m.r.m_dZ) * tau * tau;
    L u = 1;
    for (int i = 0; i < 200; ++i) {
        const L f = k1 * u + b1 * u * u * u + b2 * u * u * u * u * u - 1;
        const L df = k1 + 3 * b1 * u * u + 5 * b2 * u * u * u * u;
        u -= f / df;
    }
    L d[3];
    for (int i = 0; i < 3; ++i) {
        d[i] = zeta * o[i] + u * lam[i];
    }
    const L n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    return {double(d[0] / n), double(d[1] / n), double(d[2] / n)};
}

} // namespace

TEST(ProductModels, EveryModelRoundTripsPixelRayPixelOverTheWholeImage) {
    for (const NamedModel& nm : AllModels()) {
        const ProductCameraModel model = Make(nm.params);
        double worst = 0;
        for (const ImagePoint& px : Grid(nm.width, nm.height, 24)) {
            const std::optional<Ray> ray = model.PixelToRay(px);
            ASSERT_TRUE(ray) << nm.name << " " << px.x << "," << px.y;
            EXPECT_NEAR(ray->direction.Length(), 1.0, 1e-14) << nm.name;
            // Near and far points: a non-central model puts them on one
            // pixel only when the ray's own origin is right.
            for (double distance : {0.3, 4.0, 250.0}) {
                const std::optional<ImagePoint> back =
                    model.PointToPixel(ray->origin + ray->direction * distance);
                ASSERT_TRUE(back) << nm.name << " " << px.x << "," << px.y;
                worst = std::max(worst, Distance(*back, px));
            }
        }
        EXPECT_LT(worst, nm.roundTripPx) << nm.name;
    }
}

TEST(ProductModels, EveryModelRoundTripsPointPixelRayThroughThePoint) {
    std::mt19937 rng(12);
    for (const NamedModel& nm : AllModels()) {
        const ProductCameraModel model = Make(nm.params);
        std::uniform_real_distribution<double> col(0, nm.width - 1), row(0, nm.height - 1),
            range(0.2, 60.0);
        for (int i = 0; i < 300; ++i) {
            // A point somewhere in the field at a random distance.
            const ImagePoint aim{col(rng), row(rng)};
            const std::optional<Ray> aimRay = model.PixelToRay(aim);
            ASSERT_TRUE(aimRay);
            const double dist = range(rng);
            const CPoint3D point =
                aimRay->origin + aimRay->direction * dist + CPoint3D(0.001, -0.002, 0.0015) * dist;
            const std::optional<ImagePoint> px = model.PointToPixel(point);
            ASSERT_TRUE(px) << nm.name;
            const std::optional<Ray> ray = model.PixelToRay(*px);
            ASSERT_TRUE(ray) << nm.name;
            const CPoint3D toPoint = point - ray->origin;
            const double miss = Cross(toPoint, ray->direction).Length();
            EXPECT_LT(miss, 1e-10 * dist * nm.roundTripPx / 1e-6) << nm.name;
            EXPECT_GT(Dot(toPoint, ray->direction), 0.0) << nm.name;
        }
    }
}

TEST(ProductModels, PointsBehindOrOutsideTheFieldHaveNoPixel) {
    for (const NamedModel& nm : AllModels()) {
        const ProductCameraModel model = Make(nm.params);
        const ModelParameters& p = nm.params;
        EXPECT_FALSE(model.PointToPixel(p.c)) << nm.name;
        // Behind the camera: a fisheye's distortion folds the image back
        // long before, so no model may put such a point on a pixel.
        EXPECT_FALSE(model.PointToPixel(p.c - p.a * 3.0)) << nm.name;
        EXPECT_FALSE(model.PointToPixel(p.c - p.a * 3.0 + p.h.Normalized() * 0.1)) << nm.name;
    }
    // A perspective CAHVORE stops at 90 degrees off its axis; a fisheye sees
    // beyond.
    const ModelParameters persp = M20WithPupil(1, 0);
    const CPoint3D side = persp.c + Cross(persp.o, kZAxis).Normalized() * 5.0 - persp.o * 0.5;
    EXPECT_FALSE(Make(persp).PointToPixel(side));
    EXPECT_TRUE(Make(M20WithPupil(2, 0)).PointToPixel(side));
}

TEST(ProductModels, CahvoreRaysStartAlongTheOpticalAxisAsTheFieldAngleGrows) {
    const ModelParameters p = M20WithPupil(2, 0);
    const ProductCameraModel model = Make(p);
    const ModelDerivedValues d = DeriveValues(p);
    const std::optional<Ray> centre = model.PixelToRay({d.hc, d.vc});
    const std::optional<Ray> edge = model.PixelToRay({0, 0});
    ASSERT_TRUE(centre && edge);
    EXPECT_LT((centre->origin - p.c).Length(), 1e-6);
    const CPoint3D shift = edge->origin - p.c;
    EXPECT_GT(shift.Length(), 1e-4);
    EXPECT_LT(AngleRad(shift, p.o), 1e-9);
    // Without E every ray starts at C.
    const ProductCameraModel central = Make(M20Navcam());
    for (const ImagePoint& px : Grid(kM20Width, kM20Height, 4)) {
        EXPECT_LT((central.PixelToRay(px)->origin - M20Navcam().c).Length(), 1e-7);
    }
}

TEST(ProductModels, CahvoreMtypeOneWithoutPupilIsCahvorAndCahvorWithoutDistortionIsCahv) {
    // Both read O as the record gives it (unit only to 7.5e-6).
    ModelParameters e = M20Navcam();
    e.e = {};
    e.mtype = 1;
    ModelParameters o = e;
    o.type = ModelType::Cahvor;
    const ProductCameraModel cahvore = Make(e);
    const ProductCameraModel cahvor = Make(o);
    for (const ImagePoint& px : Grid(kM20Width, kM20Height, 12)) {
        const Ray a = *cahvore.PixelToRay(px);
        const Ray b = *cahvor.PixelToRay(px);
        EXPECT_LT(AngleRad(a.direction, b.direction), 1e-12);
        EXPECT_EQ(a.origin, b.origin);
        const CPoint3D point = a.origin + a.direction * 7.0;
        EXPECT_LT(Distance(*cahvore.PointToPixel(point), *cahvor.PointToPixel(point)), 1e-8);
    }
    // CAHVOR with O = A and R = 0 is CAHV.
    ModelParameters plain = WideCahvor();
    plain.o = plain.a;
    plain.r = {};
    ModelParameters cahvParams = plain;
    cahvParams.type = ModelType::Cahv;
    const ProductCameraModel undistorted = Make(plain);
    const ProductCameraModel cahv = Make(cahvParams);
    for (const ImagePoint& px : Grid(1024, 1024, 12)) {
        EXPECT_LT(AngleRad(undistorted.PixelToRay(px)->direction, cahv.PixelToRay(px)->direction),
                  1e-14);
        const CPoint3D point = plain.c + cahv.PixelToRay(px)->direction * 3.0;
        EXPECT_LT(Distance(*undistorted.PointToPixel(point), *cahv.PointToPixel(point)), 1e-9);
    }
}

TEST(ProductModels, CahvoreFisheyeIsNotCahvorEvenWithoutPupilTerms) {
    // MTYPE 2 means linearity 0 (not MPARM, not the MTYPE number).
    ModelParameters fish = M20Navcam();
    fish.o = fish.o.Normalized();
    fish.e = {};
    fish.mparm = 1.0; // ignored for MTYPE 2
    ModelParameters o = fish;
    o.type = ModelType::Cahvor;
    EXPECT_EQ(CameraModelCahvore(fish).Linearity(), 0.0);
    const ProductCameraModel a = Make(fish);
    const ProductCameraModel b = Make(o);
    const CPoint3D corner = a.PixelToRay({0, 0})->direction;
    EXPECT_GT(AngleRad(corner, b.PixelToRay({0, 0})->direction), 0.01);
    // MTYPE 3 takes its linearity from MPARM.
    fish.mtype = 3;
    fish.mparm = 1.0;
    EXPECT_LT(AngleRad(Make(fish).PixelToRay({0, 0})->direction, b.PixelToRay({0, 0})->direction),
              1e-12);
}

TEST(ProductModels, M20NavcamMatchesThePublishedReferenceVector) {
    const ProductCameraModel model = Make(M20Navcam());
    // Six printed digits: allow their rounding.
    const struct {
        ImagePoint px;
        CPoint3D direction;
    } cases[] = {{{643.5, 483.5}, {0.834613, -0.549475, 0.038570}},
                 {{0, 0}, {0.721276, -0.675630, -0.152568}}};
    for (const auto& c : cases) {
        const std::optional<Ray> ray = model.PixelToRay(c.px);
        ASSERT_TRUE(ray);
        EXPECT_LT(AngleRad(ray->direction, c.direction), 1.5e-6) << c.px.x;
        const std::optional<ImagePoint> back = model.PointToPixel(ray->origin + ray->direction);
        ASSERT_TRUE(back);
        // O as the record gives it is unit only to 7.5e-6: the two directions
        // are inverses to about 0.007 px in the corners.
        EXPECT_LT(Distance(*back, c.px), 0.01);
    }
}

// Pixels, rays and ray origins of the missions' ground software for the
// record's Navcam (O off unit length by 7.5e-6) and for a general-linearity
// model with a moving pupil whose O is 0.4 % long: theirs use O as given,
// and so do ours, to a billionth of a pixel.
TEST(ProductModels, CahvoreUsesOAsGivenAndAgreesWithTheMissionsGroundSoftware) {
    ModelParameters general = M20WithPupil(3, 0.37);
    general.o = general.o * 1.004;
    const struct {
        ModelParameters params;
        struct {
            ImagePoint px;
            CPoint3D origin;
            CPoint3D direction; // theirs, not normalised for a long O
        } rays[3];
        struct {
            CPoint3D point;
            ImagePoint px;
        } points[2];
    } cases[] = {
        {M20Navcam(),
         {{{643.5, 483.5},
           {0.95084899867934458, 0.34975299995117848, -1.8942900009064969},
           {0.83461272051448709, -0.54947504474812259, 0.038570341162073862}},
          {{0, 0},
           {0.95084899403141387, 0.34975299977935564, -1.8942900040968327},
           {0.72127555163825774, -0.67563027830741884, -0.15256843567004835}},
          {{5119, 3839},
           {0.95084899501849263, 0.34975299981584557, -1.8942900034193026},
           {0.10948696245279976, 0.69198749451531649, 0.71355261148218996}}},
         {{{3.1, 1.2, -0.4}, {3441.806740734613, 1946.6663594359429}},
          {{10, -6, 2.5}, {804.64931785336512, 1568.9220219137483}}}},
        {general,
         {{{643.5, 483.5},
           {0.95176830224465059, 0.34978698440600758, -1.8936589917085467},
           {0.83972459826614421, -0.53487878586272486, 0.0553438801866451}},
          {{0, 0},
           {0.95292716667725652, 0.34982982485333008, -1.8928635481317468},
           {0.74588679975251226, -0.65269151982902307, -0.11536034114400828}},
          {{5119, 3839},
           {0.95275222076210242, 0.34982335752112831, -1.8929836308615136},
           {0.15023769789402724, 0.67224408623130638, 0.72180423831140805}}},
         {{{3.1, 1.2, -0.4}, {3444.9465652315157, 1946.6802337596505}},
          {{10, -6, 2.5}, {772.72712219240429, 1562.2679733878776}}}},
    };
    for (const auto& c : cases) {
        const ProductCameraModel model = Make(c.params);
        const double focal = DeriveValues(c.params).hs;
        for (const auto& r : c.rays) {
            const std::optional<Ray> ray = model.PixelToRay(r.px);
            ASSERT_TRUE(ray);
            EXPECT_NEAR(ray->direction.Length(), 1.0, 1e-15);
            EXPECT_LT(AngleRad(ray->direction, r.direction) * focal, 1e-9) << r.px.x;
            EXPECT_LT((ray->origin - r.origin).Length(), 1e-12) << r.px.x;
        }
        for (const auto& p : c.points) {
            const std::optional<ImagePoint> px = model.PointToPixel(p.point);
            ASSERT_TRUE(px);
            EXPECT_LT(Distance(*px, p.px), 1e-9) << p.point.m_dX;
        }
    }
}

TEST(ProductModels, CahvorBackProjectionConvergesToATrillionthOfARadian) {
    std::vector<std::pair<std::string, ModelParameters>> models = {{"wide", WideCahvor()}};
    for (int id = 0; id < kCameraCount; ++id) {
        models.emplace_back(CameraName(id), CatalogueModelParameters(CameraModel(id)));
    }
    for (const auto& [name, p] : models) {
        const CameraModelCahvor model(p);
        double worst = 0;
        for (const ImagePoint& px : Grid(1024, 1024, 40)) {
            const std::optional<Ray> ray = model.PixelToRay(px);
            ASSERT_TRUE(ray) << name;
            worst = std::max(worst, AngleRad(ray->direction, ReferenceCahvorRay(p, px)));
        }
        EXPECT_LT(worst, 1e-12) << name;
    }
}

TEST(ProductModels, CahvorAgreesWithTheCatalogueBackProjectionWithinItsSolverTolerance) {
    // The catalogue solver stops once its step in mu is below 1e-5; the ray
    // r - mu lambda (r unit, zeta = r.O its part along O) then turns by at most
    // 1e-5 |lambda| / |r - mu lambda| <= 1e-5 |lambda| / zeta. The product
    // model must stay within that of it everywhere.
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    for (int id = 0; id < kCameraCount; ++id) {
        const CameraModel cat(id);
        const CameraModelCahvor product(CatalogueModelParameters(cat));
        for (const ImagePoint& px : Grid(1024, 1024, 32)) {
            const CPoint3D c = cat.PixelToRay(px.x, px.y);
            const std::optional<Ray> p = product.PixelToRay(px);
            ASSERT_TRUE(p);
            CPoint3D r = Cross(cat.m_ptV - cat.m_ptA * px.y, cat.m_ptH - cat.m_ptA * px.x);
            r = (Dot(cat.m_ptA, Cross(cat.m_ptV, cat.m_ptH)) < 0 ? -r : r).Normalized();
            const CPoint3D lambda = r - cat.m_ptO * Dot(r, cat.m_ptO);
            const double bound = 1e-5 * lambda.Length() / Dot(r, cat.m_ptO);
            EXPECT_LE(AngleRad(c, p->direction), bound * 1.01 + 1e-15)
                << CameraName(id) << " " << px.x << "," << px.y;
            EXPECT_EQ(p->origin, cat.m_ptC);
        }
    }
    EXPECT_TRUE(sink.m_vMessages.empty());
}

TEST(ProductModels, TheCatalogueForwardProjectionIsTheProductCahvorForwardProjection) {
    for (int id = 0; id < kCameraCount; ++id) {
        const CameraModel cat(id);
        const CameraModelCahvor product(CatalogueModelParameters(cat));
        for (const ImagePoint& px : Grid(1024, 1024, 8)) {
            const CPoint3D d = cat.PixelToRay(px.x, px.y);
            ImagePoint viaCatalogue;
            ASSERT_TRUE(ProjectModelVector(cat, (cat.m_ptC + d * 3.0) - cat.m_ptC, viaCatalogue));
            const std::optional<ImagePoint> viaProduct = product.PointToPixel(cat.m_ptC + d * 3.0);
            ASSERT_TRUE(viaProduct);
            EXPECT_EQ(*viaProduct, viaCatalogue);
        }
    }
}
