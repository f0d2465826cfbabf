// Measuring with product camera models: the same numbers as the catalogue
// and its database records for the same cameras and poses, rays meeting in
// the site frame for two rover positions, refusals that say why.
#include "geometry/CahvorProjection.h"
#include "geometry/CatalogueProjection.h"
#include "geometry/Frames.h"
#include "geometry/StereoIntersection.h"
#include "stereo/ProductStereo.h"
#include "stereo/RangeCalc.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A catalogue camera as a product would carry it: its model moved about the
// pivot by the head pointing, in the vehicle frame; the vehicle attitude as
// the rover's rotation into its site frame, at the site origin.
ProductCamera AsProduct(CameraId id, const CameraPose& pose, const std::vector<long long>& index,
                        const CPoint3D& roverInSite = {}) {
    CameraModel cat(id);
    cat.m_pose = pose;
    const CQuat head = HeadRotation(cat, true);
    const double n = std::sqrt(head.m_dS * head.m_dS + Dot(head.m_ptVec, head.m_ptVec));
    ProductCamera camera;
    camera.model = *MoveModel(CatalogueModelParameters(cat), {CQuat(), cat.m_ptPivot},
                              {head / n, cat.m_ptPivot});
    camera.source = "pds3";
    camera.frame = "ROVER_FRAME";
    camera.frameIndex = index;
    camera.pose = SitePose{{pose.vehicleAttitude, roverInSite}, 7, true};
    camera.width = camera.height = 1024;
    return camera;
}

RangeCalcInput Pixels(double xL, double yL, double xR, double yR) {
    RangeCalcInput in;
    in.dLeftCol = xL;
    in.dLeftRow = yL;
    in.dRightCol = xR;
    in.dRightRow = yR;
    in.sLeftFile = "/p/1N137057367EFF4000P1916L0M1.IMG";
    in.sRightFile = "/p/1N137057367EFF4000P1916R0M1.IMG";
    return in;
}

} // namespace

TEST(ProductStereo, ACatalogueModelCarriedByAProductMeasuresWhatTheCatalogueAndRecordMeasure) {
    const CQuat tilt = FromAxisAngleDeg(CPoint3D(0.2, -0.1, 1.0).Normalized(), 17.0);
    const CQuat attitude =
        tilt / std::sqrt(tilt.m_dS * tilt.m_dS + Dot(tilt.m_ptVec, tilt.m_ptVec));
    const CameraPose pose{12.0, -22.0, attitude};
    for (const auto& [l, r] : {std::pair{0, 1}, std::pair{10, 11}}) {
        for (const auto& px :
             {std::array<double, 4>{512, 700, 480, 700}, std::array<double, 4>{300, 800, 270, 805},
              std::array<double, 4>{700, 600, 655, 598}}) {
            RangeCalcInput catalogue = Pixels(px[0], px[1], px[2], px[3]);
            catalogue.nCamLeft = l;
            catalogue.nCamRight = r;
            catalogue.leftPose = catalogue.rightPose = pose;
            RangeCalcInput product = catalogue;
            product.leftProduct = AsProduct(l, pose, {137, 0, 0, 13, 7});
            product.rightProduct = AsProduct(r, pose, {137, 0, 0, 13, 7});
            const RangeCalcResult a = CalculateRange(catalogue);
            const RangeCalcResult b = CalculateRange(product);
            ASSERT_TRUE(a.bOk && b.bOk) << l;
            // The catalogue's distortion solver stops after a step below 1e-5,
            // which leaves it converged far beyond that; the product model
            // solves to 1e-12 rad. The positions agree to a nanometre.
            EXPECT_LT((a.ptPosition - b.ptPosition).Length(), 1e-9) << l;
            EXPECT_NEAR(a.dRange, b.dRange, 1e-9);
            EXPECT_EQ(a.strRange, b.strRange);
            EXPECT_EQ(a.strAz, b.strAz);
            EXPECT_EQ(a.strEl, b.strEl);
            // The catalogue gives each camera one nominal pixel angle; a
            // product model's is the angle at the marked pixel itself.
            EXPECT_NEAR(a.dPixelSize, b.dPixelSize, 0.1 * a.dPixelSize);
            ASSERT_TRUE(b.missDistance);
            EXPECT_LT(*b.missDistance, 0.1 * a.dRange);
            // At the site origin the site frame is the output frame before
            // the flip: Z down and Y to the right.
            ASSERT_TRUE(b.sitePosition);
            const CPoint3D expected = b.ptPosition.FlipYZ();
            EXPECT_LT((*b.sitePosition - expected).Length(), 1e-9);
        }
    }
}

TEST(ProductStereo, WithoutDistortionTheTwoPathsAgreeToANanometre) {
    // With R = 0 both back-projections are exact: the frames, the turns and
    // the intersection are then compared bit for bit but for rounding.
    const CameraPose pose{-35.0, 8.0, FromAxisAngleDeg(kZAxis, 30.0)};
    RangeCalcInput catalogue = Pixels(512, 700, 480, 700);
    catalogue.nCamLeft = 0;
    catalogue.nCamRight = 1;
    catalogue.leftPose = catalogue.rightPose = pose;
    catalogue.dAzCorrLeft = 0.7;
    catalogue.dAzCorrRight = -0.3;
    RangeCalcInput product = catalogue;
    product.leftProduct = AsProduct(0, pose, {1});
    product.rightProduct = AsProduct(1, pose, {1});
    product.leftProduct->model.r = product.rightProduct->model.r = CPoint3D();
    // The catalogue side without distortion: its solver's first midpoint is exact.
    CameraModel l(0);
    CameraModel r(1);
    l.m_ptR = r.m_ptR = CPoint3D();
    l.m_pose = r.m_pose = pose;
    double range = 0;
    const CPoint3D expected = StereoIntersect(l, r, false, 512, 700, 480, 700, 0.7, -0.3, range);
    const RangeCalcResult b = CalculateRange(product);
    ASSERT_TRUE(b.bOk);
    EXPECT_LT((b.ptPosition - expected).Length(), 1e-9);
    EXPECT_NEAR(b.dRange, range, 1e-9);
}

TEST(ProductStereo, TwoRoverPositionsMeetInTheSiteFrame) {
    // The same camera pair seen from two rover positions 0.8 m apart: the
    // left image from the first, the right from the second. The rays meet at
    // the true point, which the result reports in the site frame too.
    const CameraPose pose{0.0, -10.0, CQuat()};
    const CPoint3D firstInSite(3.0, -2.0, 0.1);
    const CPoint3D secondInSite(3.0, -1.2, 0.1);
    const ProductCamera left = AsProduct(10, pose, {36, 1610}, firstInSite);
    const ProductCamera right = AsProduct(10, pose, {36, 1612}, secondInSite);
    // A point 6 m ahead of the first position, in the site frame (Z down).
    const CPoint3D truthInSite = firstInSite + CPoint3D(6.0, 0.4, 1.2);
    const auto pixelOf = [](const ProductCamera& c, const CPoint3D& inSite) {
        const CPoint3D inVehicle = PointFromReference(c.pose->roverToSite, inSite);
        return *MakeCameraModel(c.model).model->PointToPixel(inVehicle);
    };
    const ImagePoint pl = pixelOf(left, truthInSite);
    const ImagePoint pr = pixelOf(right, truthInSite);
    RangeCalcInput in = Pixels(pl.x, pl.y, pr.x, pr.y);
    in.leftProduct = left;
    in.rightProduct = right;
    const RangeCalcResult res = CalculateRange(in);
    ASSERT_TRUE(res.bOk) << (res.vMessages.empty() ? "" : res.vMessages[0]);
    ASSERT_TRUE(res.sitePosition);
    EXPECT_LT((*res.sitePosition - truthInSite).Length(), 1e-6);
    EXPECT_LT(*res.missDistance, 1e-6);
    // In the output frame the point lies ahead of the first position, up being +Z.
    EXPECT_NEAR(res.ptPosition.m_dZ, -1.2, 1e-6);

    // Different sites are not chained: refused, saying so.
    RangeCalcInput other = in;
    other.rightProduct->pose->site = 8;
    const RangeCalcResult refused = CalculateRange(other);
    EXPECT_FALSE(refused.bOk);
    ASSERT_FALSE(refused.vMessages.empty());
    EXPECT_NE(refused.vMessages[0].find("different sites"), std::string::npos);
    // Without a known position the offset cannot be derived.
    other = in;
    other.rightProduct->pose->offsetKnown = false;
    EXPECT_FALSE(CalculateRange(other).bOk);
}

TEST(ProductStereo, AProductThatCannotBeUsedFailsTheCalculationWithItsMessage) {
    RangeCalcInput in = Pixels(512, 700, 480, 700);
    in.nCamLeft = 0;
    in.nCamRight = 1;
    in.productProblem = "/p/x.IMG: no camera model in the label";
    const RangeCalcResult res = CalculateRange(in);
    EXPECT_FALSE(res.bOk);
    EXPECT_EQ(res.strRange, "Error");
    EXPECT_EQ(res.vMessages, std::vector<std::string>{in.productProblem});
}

TEST(ProductStereo, EachSideProjectsPointsOntoThePixelsWhoseRaysTheCalculationMeets) {
    // A slightly non-unit attitude (as labels round it), azimuth corrections
    // and two rover positions: any frame undone in the wrong order, or the
    // attitude's norm left in, moves the pixels.
    const CQuat tilt = FromAxisAngleDeg(CPoint3D(0.3, -0.2, 1.0).Normalized(), 23.0);
    const CameraPose pose{15.0, -18.0, CQuat(1.04 * tilt.m_dS, tilt.m_ptVec * 1.04)};
    const CPoint3D firstInSite(3.0, -2.0, 0.1);
    for (const bool twoPositions : {false, true}) {
        const ProductCamera left = AsProduct(0, pose, {36, 1610}, firstInSite);
        const ProductCamera right =
            AsProduct(1, pose, {36, twoPositions ? 1612 : 1610},
                      twoPositions ? CPoint3D(3.5, -1.1, 0.2) : firstInSite);
        auto pair = std::make_shared<const ProductStereoPair>(left, right, false, 0.7, -0.3);
        ASSERT_TRUE(pair->Problem().empty()) << pair->Problem();
        const ProductPairSide l(pair, false);
        const ProductPairSide r(pair, true);
        for (const ImagePoint& px : {ImagePoint{512, 700}, ImagePoint{150, 880}, {900, 640}}) {
            const auto ray = l.PixelToRay(px);
            ASSERT_TRUE(ray);
            const CPoint3D x = ray->origin + ray->direction * 7.0;
            const auto back = l.PointToPixel(x);
            ASSERT_TRUE(back);
            EXPECT_NEAR(back->x, px.x, 1e-6);
            EXPECT_NEAR(back->y, px.y, 1e-6);
            const auto pr = r.PointToPixel(x);
            ASSERT_TRUE(pr) << twoPositions;
            // The calculation meets the two pixels' rays at the point itself.
            RangeCalcInput in = Pixels(px.x, px.y, pr->x, pr->y);
            in.leftProduct = left;
            in.rightProduct = right;
            in.dAzCorrLeft = 0.7;
            in.dAzCorrRight = -0.3;
            const RangeCalcResult res = CalculateRange(in);
            ASSERT_TRUE(res.bOk) << twoPositions;
            EXPECT_LT((res.ptPosition - x).Length(), 1e-6) << twoPositions;
            EXPECT_LT(*res.missDistance, 1e-6);
            // And the right side's ray of its pixel passes through the point.
            const auto rr = r.PixelToRay(*pr);
            ASSERT_TRUE(rr);
            EXPECT_LT(Cross(x - rr->origin, rr->direction).Length(), 1e-6);
        }
    }
}
