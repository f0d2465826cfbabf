// Products in a range calculation's input: the products' own models for a
// pair that carries them, scaled to a resized rendition, refused for an image
// of another aspect, the source each side shows, and the uncertainty of a
// product measurement.
#include "imagedb/ImageDatabase.h"
#include "stereo/CalcInput.h"
#include "stereo/PointUncertainty.h"
#include "tests/products/CatalogueProducts.h"
#include "tests/products/ProductFixtures.h"

#include <gtest/gtest.h>

namespace {

ImageRecord Record(const char* key, double az, double el) {
    ImageRecord rec;
    rec.m_sProductId = key;
    rec.m_dAzimuth = az;
    rec.m_dElevation = el;
    return rec;
}

// A raw pair named like an Opportunity Navcam pair, each image beside a
// record of its catalogue camera, the right image sized rightWidth square.
struct RawPair {
    product_test::TempDir dir;
    std::string left = dir / "1N137057367EFF4000P1916L0M1.png";
    std::string right = dir / "1N137057367EFF4000P1916R0M1.png";

    explicit RawPair(int rightWidth = 1024) {
        using namespace product_test;
        WriteFile(left, PngHeader(1024, 1024));
        WriteFile(right, PngHeader(rightWidth, rightWidth));
        WriteFile(dir / "1N137057367EFF4000P1916L0M1.json",
                  CatalogueRecord(0, {}, "1N137057367EFF4000P1916L0M1"));
        WriteFile(dir / "1N137057367EFF4000P1916R0M1.json",
                  CatalogueRecord(1, {}, "1N137057367EFF4000P1916R0M1"));
    }
};

} // namespace

TEST(ProductInput, AResizedRenditionIsMeasuredWithTheScaledModelAndSaysSo) {
    const ImageDatabase db;
    const RawPair fits;
    RangeCalcInput in =
        MakeRangeCalcInput({}, fits.left, fits.right, {500, 500}, {480, 500}, {}, db);
    ASSERT_TRUE(in.leftProduct && in.rightProduct) << in.productProblem;
    EXPECT_TRUE(in.productWarning.empty());
    EXPECT_TRUE(in.productNote.empty());

    const RawPair resized(512);
    in = MakeRangeCalcInput({}, resized.left, resized.right, {500, 500}, {240, 250}, {}, db);
    ASSERT_TRUE(in.leftProduct && in.rightProduct) << in.productProblem;
    EXPECT_EQ(in.rightProduct->width, 512);
    EXPECT_NE(in.productNote.find("1N137057367EFF4000P1916R0M1.png is 512 x 512 pixels"),
              std::string::npos)
        << in.productNote;
    EXPECT_NE(in.productNote.find("scaled by 0.5"), std::string::npos) << in.productNote;
    // The right pixel (240, 250) of the half-size image is (480.5, 500.5) of
    // the full one: the same point.
    const RangeCalcResult half = CalculateRange(in);
    in = MakeRangeCalcInput({}, fits.left, fits.right, {500, 500}, {480.5, 500.5}, {}, db);
    const RangeCalcResult full = CalculateRange(in);
    ASSERT_TRUE(half.bOk && full.bOk);
    EXPECT_NEAR(half.dRange, full.dRange, 1e-9);
}

TEST(ProductInput, TheSizeTheViewerDecodedDecidesAndAnotherAspectIsRefused) {
    const ImageDatabase db;
    const RawPair pair;
    DecodedImageSizes decoded;
    decoded.left = ImageSize{1024, 1024};
    decoded.right = ImageSize{1024, 1000}; // rows cropped by another tool
    RangeCalcInput in =
        MakeRangeCalcInput({}, pair.left, pair.right, {}, {}, {}, db, nullptr, decoded);
    EXPECT_FALSE(in.leftProduct);
    EXPECT_NE(in.productProblem.find("R0M1.png is 1024 x 1000 pixels but its camera model is "
                                     "for 1024 x 1024"),
              std::string::npos)
        << in.productProblem;
    EXPECT_FALSE(CalculateRange(in).bOk);

    decoded.right = ImageSize{1024, 1024};
    ProductCameraCache cache;
    in = MakeRangeCalcInput({}, pair.left, pair.right, {}, {}, {}, db, &cache, decoded);
    EXPECT_TRUE(in.leftProduct && in.rightProduct);
    // A product cached once is still checked against each decoded size.
    decoded.left = ImageSize{512, 512};
    in = MakeRangeCalcInput({}, pair.left, pair.right, {}, {}, {}, db, &cache, decoded);
    ASSERT_TRUE(in.leftProduct);
    EXPECT_EQ(in.leftProduct->width, 512);
    EXPECT_NE(in.productNote.find("L0M1.png is 512 x 512"), std::string::npos);
}

TEST(ProductInput, TheModelSourceNamesTheProductOrTheCatalogueCameraAndItsRecord) {
    ImageDatabase db;
    const RawPair pair;
    RangeCalcInput in = MakeRangeCalcInput({}, pair.left, pair.right, {}, {}, {}, db);
    EXPECT_EQ(ModelSourceText(in, Eye::Left).rfind("raw-json: CAHVOR, ROVER_NAV_FRAME (site 4", 0),
              0u)
        << ModelSourceText(in, Eye::Left);

    db.InsertRecord(Record("1n137057367eff4000p1916l0m1", 20, -5));
    CalcOptions catalogue;
    catalogue.bProductModels = false;
    in = MakeRangeCalcInput(catalogue, pair.left, pair.right, {}, {}, {}, db);
    EXPECT_EQ(ModelSourceText(in, Eye::Left), "catalogue: OppyNavL, database record");
    EXPECT_EQ(ModelSourceText(in, Eye::Right), "catalogue: OppyNavR, no database record");
    in = MakeRangeCalcInput({}, "/a/left.png", "/a/right.png", {}, {}, {}, db);
    EXPECT_EQ(ModelSourceText(in, Eye::Right), "catalogue: no camera");
}

TEST(ProductInput, AProductPairsRecordTakesItsUncertaintyAndMissDistanceFromTheProductsModels) {
    // Names of no catalogue camera: only the records' models can measure.
    product_test::TempDir dir;
    const CameraPose pose{12.0, -22.0, FromAxisAngleDeg(kZAxis, 40.0)};
    const auto [left, right] = product_test::WriteRecordPair(dir.Path().string(), pose);
    const ImageDatabase db;
    const RangeCalcInput in = MakeRangeCalcInput({}, left, right, {512, 700}, {480, 700}, {}, db);
    ASSERT_TRUE(in.leftProduct && in.rightProduct) << in.productProblem;
    EXPECT_EQ(in.nCamLeft, -1);
    const RangeCalcResult r = CalculateRange(in);
    ASSERT_TRUE(r.bOk && r.missDistance);
    const PointUncertaintyResult u = EstimatePointUncertainty(in);
    ASSERT_TRUE(u.ok && u.missDistanceM) << "the catalogue has no camera for these names";
    EXPECT_NEAR(*u.missDistanceM, *r.missDistance, 1e-12);
    EXPECT_GT(u.uncertainty.rangeSigmaM, 0.0);
    // A range that grows by d per pixel of disparity has a sigma of that order.
    EXPECT_LT(u.uncertainty.rangeSigmaM, r.dRangeSpreadAbove + r.dRangeSpreadBelow);
}
