// The rig of an open pair: built once, measuring what the range calculation
// measures, refusing what cannot be intersected, reading no file afterwards.
#include "imagedb/ImageDatabase.h"
#include "stereo/StereoRig.h"
#include "tests/products/CatalogueProducts.h"
#include "tests/products/ProductFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const char* const kLeft = "/data/sol1/1N128287142EFF0300P1800L0M1.IMG";
const char* const kRight = "/data/sol1/1N128287142EFF0300P1800R0M1.IMG";

ImageDatabase PosedDatabase() {
    ImageDatabase db;
    for (const char* key : {"1n128287142eff0300p1800l0m1", "1n128287142eff0300p1800r0m1"}) {
        ImageRecord rec;
        rec.m_sProductId = key;
        rec.m_dAzimuth = 20.0;
        rec.m_dElevation = -30.0;
        rec.m_qAttitude = FromAxisAngleDeg(kZAxis, 3.0);
        db.InsertRecord(rec);
    }
    return db;
}

} // namespace

TEST(StereoRig, MeasuresExactlyWhatTheRangeCalculationOfItsInputMeasures) {
    const ImageDatabase db = PosedDatabase();
    PairSetup setup{kLeft, kRight, {}, {}};
    setup.options.b2D = false;
    setup.options.dAzCorrLeft = 0.25;
    const StereoRig rig = StereoRig::Build(setup, db);
    ASSERT_TRUE(rig.CanMeasure()) << rig.Problem();
    EXPECT_FALSE(rig.ProductModels());
    EXPECT_EQ(rig.ModelSource(Eye::Left), "catalogue: OppyNavL, database record");
    for (const auto& [l, r] : {std::pair{ImagePoint{512, 700}, ImagePoint{480, 700}},
                               {ImagePoint{100.5, 900.25}, ImagePoint{60.0, 901.0}}}) {
        const RangeCalcResult viaRig = rig.Measure(l, r, {1, 2, 3});
        const RangeCalcResult direct =
            CalculateRange(MakeRangeCalcInput(setup.options, kLeft, kRight, l, r, {1, 2, 3}, db));
        ASSERT_TRUE(viaRig.bOk);
        EXPECT_EQ(viaRig.sLogEntry, direct.sLogEntry);
        EXPECT_EQ(viaRig.strErrorSummary, direct.strErrorSummary);
        EXPECT_EQ(viaRig.strDistToLast, direct.strDistToLast);
        const auto point = rig.Intersect(l, r);
        ASSERT_TRUE(point);
        EXPECT_NEAR((*point - viaRig.ptPosition).Length(), 0.0, 1e-12);
    }
    // The pointing of a mark is the record-posed catalogue camera's, with the
    // side's azimuth correction.
    const auto p = rig.PixelPointing(Eye::Left, {512, 512});
    ASSERT_TRUE(p);
    CameraModel model(0);
    model.m_pose = rig.RecordPose(Eye::Left);
    double az = 0.0;
    double el = 0.0;
    model.PixelAzEl(512, 512, az, el);
    EXPECT_DOUBLE_EQ(p->azimuthDeg, az + 0.25);
    EXPECT_DOUBLE_EQ(p->elevationDeg, el);
}

TEST(StereoRig, TwoCamerasAtOnePlaceAreRefusedWithTheReasonInsteadOfGivingARange) {
    const ImageDatabase db;
    PairSetup setup{kLeft, kRight, {}, {}};
    setup.options.leftCamera = 1; // OppyNavR for both eyes
    setup.options.rightCamera = 1;
    const StereoRig rig = StereoRig::Build(setup, db);
    EXPECT_FALSE(rig.CanMeasure());
    EXPECT_NE(rig.Problem().find("same place"), std::string::npos) << rig.Problem();
    const RangeCalcResult r = rig.Measure({512, 700}, {480, 700}, {});
    EXPECT_FALSE(r.bOk);
    EXPECT_EQ(r.strRange, "Error");
    ASSERT_FALSE(r.vMessages.empty());
    EXPECT_NE(r.vMessages.front().find("same place"), std::string::npos);
    EXPECT_FALSE(rig.Intersect({512, 700}, {480, 700}));

    // Two eyes of one camera head are fine.
    setup.options.leftCamera = 0;
    EXPECT_TRUE(StereoRig::Build(setup, db).CanMeasure());
}

TEST(StereoRig, AProductPairIsReadOnceAndMeasuresAfterItsFilesAreGone) {
    product_test::TempDir dir;
    const CameraPose pose{12.0, -22.0, FromAxisAngleDeg(kZAxis, 40.0)};
    const auto [left, right] = product_test::WriteRecordPair(dir.Path().string(), pose);
    const ImageDatabase db;
    const StereoRig rig = StereoRig::Build({left, right, {}, {}}, db);
    ASSERT_TRUE(rig.CanMeasure()) << rig.Problem();
    ASSERT_TRUE(rig.ProductModels());
    const RangeCalcResult before = rig.Measure({512, 700}, {480, 700}, {});
    ASSERT_TRUE(before.bOk);

    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        std::filesystem::remove(entry.path());
    }
    const RangeCalcResult after = rig.Measure({512, 700}, {480, 700}, {});
    ASSERT_TRUE(after.bOk) << "a calculation must not read the products again";
    EXPECT_EQ(after.sLogEntry, before.sLogEntry);
    EXPECT_TRUE(rig.Camera(Eye::Right)->PixelToRay({10, 10}));
    EXPECT_TRUE(rig.PixelPointing(Eye::Right, {10, 10}));
}

TEST(StereoRig, WithoutAPairOrACameraItSaysWhy) {
    const StereoRig none;
    EXPECT_FALSE(none.CanMeasure());
    EXPECT_FALSE(none.Problem().empty());
    EXPECT_EQ(none.Camera(Eye::Left), nullptr);

    const ImageDatabase db;
    const StereoRig plain = StereoRig::Build({"/a/left.png", kRight, {}, {}}, db);
    EXPECT_FALSE(plain.CanMeasure());
    EXPECT_EQ(plain.MissingCamera(), Eye::Left);
    EXPECT_NE(plain.Problem().find("left"), std::string::npos);
}
