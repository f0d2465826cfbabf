// The open pair as a document: marks, measuring, options that rebuild the
// cameras only when they change, and what subscribers are told.
#include "imagedb/ImageDatabase.h"
#include "session/PairDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const char* const kLeft = "/data/sol1/1N128287142EFF0300P1800L0M1.IMG";
const char* const kRight = "/data/sol1/1N128287142EFF0300P1800R0M1.IMG";

struct Recorder {
    std::vector<PairDocument::Change> changes;
    explicit Recorder(PairDocument& doc) {
        doc.Subscribe([this](PairDocument::Change c) { changes.push_back(c); });
    }
};

} // namespace

TEST(PairDocument, MeasuresTheCurrentMarksIntoTheSessionAndTellsWhatChanged) {
    const ImageDatabase db;
    PairDocument doc(db);
    Recorder seen(doc);
    doc.Open({kLeft, kRight, {}, {}});
    EXPECT_TRUE(doc.IsOpen());
    EXPECT_TRUE(doc.Rig().CanMeasure()) << doc.Rig().Problem();

    PairDocument::Measured none = doc.Measure("t0");
    EXPECT_FALSE(none.row);
    EXPECT_NE(none.problem.find("both images"), std::string::npos);

    doc.SetMark(Eye::Left, {512, 700});
    none = doc.Measure("t0");
    EXPECT_NE(none.problem.find("right image"), std::string::npos);
    doc.SetMatchedMark(Eye::Right, {480, 700}, 0.97, 0.1);
    const PairDocument::Measured m = doc.Measure("2026-12-09T12:00:00Z");
    ASSERT_TRUE(m.row) << m.problem;
    EXPECT_TRUE(m.problem.empty());
    const MeasurementRecord& row = doc.Session().Measurements().at(*m.row);
    EXPECT_EQ(row.index, 1);
    EXPECT_EQ(row.rightSource, PixelSource::Matched);
    EXPECT_EQ(row.leftSource, PixelSource::Clicked);
    EXPECT_DOUBLE_EQ(row.pixelSigmas.rightPx, 0.1);
    EXPECT_DOUBLE_EQ(row.pixelSigmas.leftPx, doc.ClickSigmaPx());
    EXPECT_EQ(row.timeUtc, "2026-12-09T12:00:00Z");
    EXPECT_EQ(row.logEntry, m.result.sLogEntry);
    EXPECT_FALSE(doc.Mark(Eye::Left)) << "a measurement takes the current marks";
    EXPECT_TRUE(doc.HasUnsavedResults());
    // The same pixels measured directly through the rig give the same row.
    EXPECT_EQ(doc.Rig().Measure({512, 700}, {480, 700}, {}).sLogEntry, row.logEntry);

    using C = PairDocument::Change;
    EXPECT_EQ(seen.changes, (std::vector<C>{C::Pair, C::Marks, C::Marks, C::Measurements}));
}

TEST(PairDocument, TheCamerasAreRebuiltOnlyWhenTheOptionsOrSizesChange) {
    const ImageDatabase db;
    PairDocument doc(db);
    doc.Open({kLeft, kRight, {}, {}});
    Recorder seen(doc);
    const ICameraProjection* before = doc.Rig().Camera(Eye::Left);
    doc.SetOptions(doc.Setup().options);
    doc.SetDecodedSizes({});
    EXPECT_TRUE(seen.changes.empty());
    EXPECT_EQ(doc.Rig().Camera(Eye::Left), before);

    CalcOptions same = doc.Setup().options;
    same.leftCamera = 1;
    same.rightCamera = 1;
    doc.SetOptions(same);
    ASSERT_EQ(seen.changes.size(), 1u);
    EXPECT_EQ(seen.changes[0], PairDocument::Change::Cameras);
    EXPECT_FALSE(doc.Rig().CanMeasure());
    doc.SetMark(Eye::Left, {512, 700});
    doc.SetMark(Eye::Right, {480, 700});
    const PairDocument::Measured refused = doc.Measure("t");
    EXPECT_FALSE(refused.row);
    EXPECT_NE(refused.problem.find("same place"), std::string::npos) << refused.problem;
    EXPECT_TRUE(doc.Session().Measurements().empty());
    EXPECT_TRUE(doc.Mark(Eye::Left)) << "a refused calculation keeps the marks";
}

TEST(PairDocument, RecordsThatChangeAfterThePairOpenedPoseTheNextMeasurement) {
    ImageDatabase db;
    PairDocument doc(db);
    doc.Open({kLeft, kRight, {}, {}});
    const auto measure = [&] {
        doc.SetMark(Eye::Left, {512, 700});
        doc.SetMark(Eye::Right, {480, 700});
        const PairDocument::Measured m = doc.Measure("t");
        EXPECT_TRUE(m.row) << m.problem;
        return m.result.vertex.m_ptPosition;
    };
    const CPoint3D unposed = measure();
    // Records imported while the pair is open: the mast looks 90 degrees
    // round and the rover is tilted.
    for (const char* file : {kLeft, kRight}) {
        ImageRecord record;
        record.m_sProductId = MakeProductKey(file);
        record.m_dAzimuth = 90.0;
        record.m_dElevation = -20.0;
        record.m_qAttitude = CQuat(0.9914, {0.0, 0.1305, 0.0});
        db.InsertRecord(record);
    }
    Recorder seen(doc);
    const CPoint3D posed = measure();
    EXPECT_NE(std::find(seen.changes.begin(), seen.changes.end(), PairDocument::Change::Cameras),
              seen.changes.end())
        << "the cameras were rebuilt";
    EXPECT_GT(std::hypot(posed.m_dX - unposed.m_dX, posed.m_dY - unposed.m_dY), 1.0);
    // As a pair opened with those records measures it.
    PairDocument fresh(db);
    fresh.Open({kLeft, kRight, {}, {}});
    const CPoint3D expected = fresh.Rig().Measure({512, 700}, {480, 700}, {}).vertex.m_ptPosition;
    EXPECT_DOUBLE_EQ(posed.m_dX, expected.m_dX);
    EXPECT_DOUBLE_EQ(posed.m_dY, expected.m_dY);
    EXPECT_DOUBLE_EQ(posed.m_dZ, expected.m_dZ);

    // Cleared again: back to the unposed cameras.
    db.Clear();
    const CPoint3D cleared = measure();
    EXPECT_DOUBLE_EQ(cleared.m_dX, unposed.m_dX);
    EXPECT_DOUBLE_EQ(cleared.m_dZ, unposed.m_dZ);
}

TEST(PairDocument, ANewPairStartsWithoutRowsButKeepsTheCurrentMarkAndTheUnsavedLog) {
    const ImageDatabase db;
    PairDocument doc(db);
    doc.Open({kLeft, kRight, {}, {}});
    doc.SetMark(Eye::Left, {512, 700});
    doc.SetMark(Eye::Right, {480, 700});
    ASSERT_TRUE(doc.Measure("t").row);
    doc.SetMark(Eye::Left, {10, 10});
    doc.Open({kRight, kLeft, {}, {}});
    EXPECT_EQ(doc.Mark(Eye::Left), (ImagePoint{10, 10}));
    EXPECT_TRUE(doc.Session().Measurements().empty());
    EXPECT_TRUE(doc.HasUnsavedResults());
    EXPECT_EQ(doc.Session().LeftFile(), kRight);
    doc.SwapEyes();
    EXPECT_EQ(doc.Setup().leftFile, kLeft);
    EXPECT_EQ(doc.Session().LeftFile(), kLeft);
    doc.Close();
    EXPECT_FALSE(doc.IsOpen());
    EXPECT_FALSE(doc.Rig().CanMeasure());
}

TEST(PairDocument, AMeasurementFromTheRangeMapSetsBothMarksAndRecordsThemAsDense) {
    const ImageDatabase db;
    PairDocument doc(db);
    doc.Open({kLeft, kRight, {}, {}});
    Recorder seen(doc);
    const PairDocument::Measured m = doc.MeasureDense({512, 700}, {480, 700}, 0.21, "t");
    ASSERT_TRUE(m.row) << m.problem;
    const MeasurementRecord& row = doc.Session().Measurements().at(*m.row);
    EXPECT_EQ(row.leftSource, PixelSource::Dense);
    EXPECT_EQ(row.rightSource, PixelSource::Dense);
    EXPECT_EQ(row.pixelSigmas, (PixelSigmas{0.21, 0.21}));
    EXPECT_EQ(doc.Session().Marks(Eye::Right).back(), (ImagePoint{480, 700}));
    EXPECT_EQ(doc.Rig().Measure({512, 700}, {480, 700}, {}).sLogEntry, row.logEntry);
    using C = PairDocument::Change;
    EXPECT_EQ(seen.changes, (std::vector<C>{C::Marks, C::Measurements}));
    // The next click is a plain click again.
    doc.SetMark(Eye::Left, {500, 690});
    doc.SetMark(Eye::Right, {470, 690});
    ASSERT_TRUE(doc.Measure("t").row);
    EXPECT_EQ(doc.Session().Measurements().back().leftSource, PixelSource::Clicked);
}
