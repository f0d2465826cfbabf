// The input of a range calculation as the dialog and the command line
// assemble it: cameras from the product names unless chosen, poses from the
// records found by each path's title.
#include "geometry/CahvorProjection.h"
#include "imagedb/ImageDatabase.h"
#include "stereo/CalcInput.h"
#include "stereo/PairProjections.h"

#include <gtest/gtest.h>

namespace {

const char* const kLeft = "/data/sol1/1N128287142EFF0300P1800L0M1.IMG";
const char* const kRight = "/data/sol1/1N128287142EFF0300P1800R0M1.IMG";

ImageRecord Record(const char* key, double az, double el) {
    ImageRecord rec;
    rec.m_sProductId = key;
    rec.m_dAzimuth = az;
    rec.m_dElevation = el;
    rec.m_qAttitude = FromAxisAngleDeg(kZAxis, 3.0);
    return rec;
}

} // namespace

TEST(CalcInput, PosesComeFromTheRecordOfEachPathsTitleAndNotTheOtherOne) {
    ImageDatabase db;
    db.InsertRecord(Record("1n128287142eff0300p1800r0m1", 20, -5));
    RangeCalcInput in = MakeRangeCalcInput({}, kLeft, kRight, {1, 2}, {3, 4}, {5, 6, 7}, db);
    EXPECT_FALSE(in.leftPose);
    ASSERT_TRUE(in.rightPose);
    EXPECT_EQ(*in.rightPose, (CameraPose{20, -5, FromAxisAngleDeg(kZAxis, 3.0)}));

    db.InsertRecord(Record("1n128287142eff0300p1800l0m1", 11, 2));
    in = MakeRangeCalcInput({}, kLeft, kRight, {1, 2}, {3, 4}, {5, 6, 7}, db);
    ASSERT_TRUE(in.leftPose);
    EXPECT_EQ(in.leftPose->headAzimuthDeg, 11);
    const RangeCalcResult res = CalculateRange(in);
    EXPECT_TRUE(res.bLeftRecord);
    EXPECT_TRUE(res.bRightRecord);
}

TEST(CalcInput, CamerasComeFromTheNamesUnlessChosenAndEveryOptionIsPassedOn) {
    const ImageDatabase db;
    RangeCalcInput in = MakeRangeCalcInput({}, kLeft, kRight, {1, 2}, {3, 4}, {5, 6, 7}, db);
    EXPECT_EQ(in.nCamLeft, 0);
    EXPECT_EQ(in.nCamRight, 1);
    EXPECT_EQ(in.dLeftCol, 1);
    EXPECT_EQ(in.dLeftRow, 2);
    EXPECT_EQ(in.dRightCol, 3);
    EXPECT_EQ(in.dRightRow, 4);
    EXPECT_EQ(in.ptLastPos, CPoint3D(5, 6, 7));
    EXPECT_EQ(in.sLeftFile, kLeft);

    CalcOptions options;
    options.leftCamera = 9;
    options.rightCamera = -1; // chosen: none, whatever the name says
    options.b2D = true;
    options.bRLVector = true;
    options.strRLVector = "1,2,3";
    options.dAzCorrLeft = 0.5;
    options.dAzCorrRight = -0.5;
    in = MakeRangeCalcInput(options, kLeft, kRight, {}, {}, {}, db);
    EXPECT_EQ(in.nCamLeft, 9);
    EXPECT_EQ(in.nCamRight, -1);
    EXPECT_TRUE(in.b2D);
    EXPECT_TRUE(in.bRLVector);
    EXPECT_EQ(in.strRLVector, "1,2,3");
    EXPECT_EQ(in.dAzCorrLeft, 0.5);
    EXPECT_EQ(in.dAzCorrRight, -0.5);

    // A name too short for its mission's rule names no camera.
    in = MakeRangeCalcInput({}, "/x/1N12.png", "/x/other.png", {}, {}, {}, db);
    EXPECT_EQ(in.nCamLeft, -1);
    EXPECT_EQ(in.nCamRight, -1);
}

// The cameras the view draws and matches with must be those whose rays the
// range calculation intersects, R-L vector and azimuth corrections included:
// a point seen through both cameras is measured where it is.
TEST(CalcInput, ThePairsCamerasProjectWhereTheRangeCalculationMeasures) {
    ImageDatabase db;
    db.InsertRecord(Record("1n128287142eff0300p1800l0m1", 20, -25));
    db.InsertRecord(Record("1n128287142eff0300p1800r0m1", 20, -25));
    CalcOptions options;
    options.bRLVector = true;
    options.strRLVector = "0.0500,0.0200,0.0000";
    options.dAzCorrLeft = 0.4;
    options.dAzCorrRight = -0.3;
    const RangeCalcInput in = MakeRangeCalcInput(options, kLeft, kRight, {}, {}, {}, db);
    const CatalogueCamerasResult cameras = MakeCatalogueCameras(in);
    ASSERT_TRUE(cameras.ok) << cameras.reason;

    // A point ahead of the cameras, about 4 m away.
    const std::optional<Ray> ray = cameras.left->PixelToRay({500, 600});
    ASSERT_TRUE(ray);
    const CPoint3D point = ray->origin + ray->direction * 4.0;
    const std::optional<ImagePoint> left = cameras.left->PointToPixel(point);
    const std::optional<ImagePoint> right = cameras.right->PointToPixel(point);
    ASSERT_TRUE(left && right);
    const RangeCalcResult r =
        CalculateRange(MakeRangeCalcInput(options, kLeft, kRight, *left, *right, {}, db));
    ASSERT_TRUE(r.bOk);
    EXPECT_LT((r.vertex.m_ptPosition - point).Length(), 1e-3);
}

TEST(CalcInput, APairWithoutACameraSaysWhichSideHasNone) {
    ImageDatabase db;
    CalcOptions options;
    options.leftCamera = 2;
    const CatalogueCamerasResult cameras = MakeCatalogueCameras(
        MakeRangeCalcInput(options, "/a/left.png", "/a/right.png", {}, {}, {}, db));
    EXPECT_FALSE(cameras.ok);
    EXPECT_EQ(cameras.missing, Eye::Right);
    EXPECT_FALSE(cameras.left || cameras.right);
}

TEST(CalcInput, PairProjectionsTakeTheModelTheCalculationTakesOrSayWhyNone) {
    ImageDatabase db;
    CalcOptions options;
    options.leftCamera = 0;
    options.rightCamera = 1;
    RangeCalcInput in = MakeRangeCalcInput(options, "/a/left.png", "/a/right.png", {}, {}, {}, db);
    PairProjectionsResult cameras = MakePairProjections(in);
    ASSERT_TRUE(cameras.ok) << cameras.reason;
    EXPECT_FALSE(cameras.productModels);
    ASSERT_TRUE(cameras.left && cameras.right);

    // Products' own models, here the catalogue's pair without distortion:
    // the point seen at a left pixel appears where the range calculation
    // with the products finds it.
    ProductCamera product;
    product.model = CatalogueModelParameters(CameraModel(0));
    product.model.r = CPoint3D();
    product.frame = "ROVER_FRAME";
    product.frameIndex = {1};
    product.width = product.height = 1024;
    in.leftProduct = product;
    product.model = CatalogueModelParameters(CameraModel(1));
    product.model.r = CPoint3D();
    in.rightProduct = product;
    cameras = MakePairProjections(in);
    ASSERT_TRUE(cameras.ok) << cameras.reason;
    EXPECT_TRUE(cameras.productModels);
    const std::optional<Ray> ray = cameras.left->PixelToRay({400, 650});
    ASSERT_TRUE(ray);
    const CPoint3D point = ray->origin + ray->direction * 5.0;
    const auto right = cameras.right->PointToPixel(point);
    ASSERT_TRUE(right);
    in.dLeftCol = 400;
    in.dLeftRow = 650;
    in.dRightCol = right->x;
    in.dRightRow = right->y;
    const RangeCalcResult r = CalculateRange(in);
    ASSERT_TRUE(r.bOk);
    EXPECT_LT((r.ptPosition - point).Length(), 1e-6);

    // A product problem or a pair that cannot be intersected: no cameras,
    // and the reason rather than a request to choose catalogue cameras.
    RangeCalcInput broken = in;
    broken.productProblem = "left.json: no camera model";
    cameras = MakePairProjections(broken);
    EXPECT_FALSE(cameras.ok);
    EXPECT_FALSE(cameras.cameraMissing);
    EXPECT_EQ(cameras.reason, broken.productProblem);
    broken = in;
    broken.rightProduct->frameIndex = {2};
    cameras = MakePairProjections(broken);
    EXPECT_FALSE(cameras.ok);
    EXPECT_NE(cameras.reason.find("different rover positions"), std::string::npos)
        << cameras.reason;

    // No catalogue camera for a side: said as such.
    options.rightCamera.reset();
    cameras = MakePairProjections(
        MakeRangeCalcInput(options, "/a/left.png", "/a/right.png", {}, {}, {}, db));
    EXPECT_FALSE(cameras.ok);
    EXPECT_TRUE(cameras.cameraMissing);
    EXPECT_EQ(cameras.missing, Eye::Right);
}
