// The session's measurements: deleting one takes its marks, vertex and log
// entry with it, and undoing the deletion puts back exactly what was there.
#include "session/MeasurementSession.h"

#include <gtest/gtest.h>

namespace {

MeasurementRecord Row(double x, std::string log) {
    MeasurementRecord r;
    r.leftPixel = {x, 1};
    r.rightPixel = {x, 2};
    r.position = {x, 0, 0};
    r.vertex = VertexRecord{{x, 0, 0}, {0.1, 0.1, 0.1}};
    r.logEntry = std::move(log);
    return r;
}

MeasurementSession ThreeRows() {
    MeasurementSession s;
    s.Append(Row(10, "\nfirst\n"));
    s.Append(Row(20, "\nsecond\n"));
    s.Append(Row(30, "\nthird\n"));
    return s;
}

std::vector<double> VertexXs(const MeasurementSession& s) {
    std::vector<double> xs;
    for (const VertexRecord& v : s.Vertices()) {
        xs.push_back(v.m_ptPosition.m_dX);
    }
    return xs;
}

} // namespace

TEST(MeasurementRows, DeletingARowTakesItsMarksVertexAndLogEntryAndNothingElse) {
    MeasurementSession s = ThreeRows();
    const auto removed = s.Remove(1);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->record.index, 2);
    EXPECT_EQ(s.ResultsLog(), "\nfirst\n\nthird\n");
    EXPECT_EQ(VertexXs(s), (std::vector<double>{10, 30}));
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{10, 1}, {30, 1}}));
    EXPECT_EQ(s.Marks(Eye::Right), (std::vector<ImagePoint>{{10, 2}, {30, 2}}));
    ASSERT_EQ(s.Measurements().size(), 2u);
    EXPECT_EQ(s.Measurements()[1].index, 3) << "indices stay with their measurements";
    EXPECT_FALSE(s.Remove(2)) << "no third row any more";
}

TEST(MeasurementRows, UndoingDeletionsInReverseOrderRestoresTheLogByteForByte) {
    MeasurementSession s = ThreeRows();
    const std::string log = s.ResultsLog();
    const auto before = s.Measurements();
    const auto a = s.Remove(0);
    const auto b = s.Remove(1);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(s.ResultsLog(), "\nsecond\n");
    ASSERT_TRUE(s.Restore(*b));
    ASSERT_TRUE(s.Restore(*a));
    EXPECT_EQ(s.ResultsLog(), log);
    EXPECT_EQ(s.Measurements(), before);
    EXPECT_EQ(VertexXs(s), (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{10, 1}, {20, 1}, {30, 1}}));
    EXPECT_EQ(s.Measurements().back().index, 3);
}

TEST(MeasurementRows, DeletingAfterAReselectionRemovesTheRightMarksOnly) {
    MeasurementSession s = ThreeRows();
    // The middle measurement's marks become the current marks again.
    ASSERT_TRUE(s.Reselect(1));
    EXPECT_EQ(s.RowOfMarkIndex(1), 2u) << "the third row's marks moved down the list";
    EXPECT_FALSE(s.MarkIndexOfRow(1));
    // Deleting the first row must not take the third row's marks.
    ASSERT_TRUE(s.Remove(0));
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{30, 1}}));
    // The re-selected measurement (now row 0) has no marks to take.
    const auto removed = s.Remove(0);
    ASSERT_TRUE(removed);
    EXPECT_FALSE(removed->hadMarks);
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{30, 1}}));
    ASSERT_TRUE(s.Restore(*removed));
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{30, 1}}));
    // Calculating the re-selected marks again records them as re-selected.
    s.Append({20, 1}, {20, 2}, VertexRecord{{20, 0, 0}, {}}, "\nagain\n", {20, 0, 0});
    EXPECT_EQ(s.Measurements().back().leftSource, PixelSource::Reselected);
    EXPECT_EQ(s.Measurements().back().rightSource, PixelSource::Reselected);
}

TEST(MeasurementRows, ADeletionAfterASaveIsUnsavedEvenWhenTheLogKeepsItsLength) {
    MeasurementSession s;
    s.Append(Row(10, "\naaaa\n"));
    s.Append(Row(20, "\nbbbb\n"));
    s.MarkResultsSaved();
    ASSERT_TRUE(s.Remove(0));
    s.Append(Row(30, "\ncccc\n"));
    EXPECT_EQ(s.ResultsLog().size(), 12u);
    EXPECT_TRUE(s.HasUnsavedResults());
}

TEST(MeasurementRows, AnEarlierPairsLogSurvivesDeletionsInTheNextPair) {
    MeasurementSession s = ThreeRows();
    s.ClearForNewPair();
    EXPECT_TRUE(s.Measurements().empty());
    s.Append(Row(40, "\nfourth\n"));
    EXPECT_EQ(s.Measurements().front().index, 1);
    ASSERT_TRUE(s.Remove(0));
    EXPECT_EQ(s.ResultsLog(), "\nfirst\n\nsecond\n\nthird\n");
}

TEST(MeasurementRows, NotesChangeTheRevisionButNotTheLog) {
    MeasurementSession s = ThreeRows();
    const auto revision = s.Revision();
    s.MarkResultsSaved();
    EXPECT_TRUE(s.SetNote(2, "boulder top"));
    EXPECT_FALSE(s.SetNote(3, "nothing there"));
    EXPECT_EQ(s.Measurements()[2].note, "boulder top");
    EXPECT_GT(s.Revision(), revision);
    EXPECT_FALSE(s.HasUnsavedResults());
}

TEST(MeasurementRows, UndoingAReselectionPutsTheMarksBackInPlaceAndTheCurrentMarksAsTheyWere) {
    MeasurementSession s = ThreeRows();
    s.SetMatchedMark(Eye::Right, {7, 7}, 0.9);
    const MeasurementSession::CurrentMarks before = s.CurrentMarkState();
    const std::size_t revision = s.Revision();
    ASSERT_TRUE(s.Reselect(1));
    EXPECT_EQ(s.Mark(Eye::Right), (ImagePoint{20, 2}));
    ASSERT_TRUE(s.ReturnMarks(1, before));
    EXPECT_GT(s.Revision(), revision) << "the table and the autosave must follow";
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{10, 1}, {20, 1}, {30, 1}}));
    EXPECT_EQ(s.Marks(Eye::Right), (std::vector<ImagePoint>{{10, 2}, {20, 2}, {30, 2}}));
    EXPECT_EQ(s.RowOfMarkIndex(1), 1u);
    EXPECT_FALSE(s.Mark(Eye::Left));
    EXPECT_EQ(s.Mark(Eye::Right), (ImagePoint{7, 7}));
    EXPECT_TRUE(s.Origin(Eye::Right).matched);
    EXPECT_EQ(s.CurrentSource(Eye::Right), PixelSource::Clicked) << "no longer re-selected";
    EXPECT_FALSE(s.ReturnMarks(1, before)) << "its marks are already back";
    EXPECT_FALSE(s.ReturnMarks(3, before));

    // A calculation between the re-selection and its undo keeps its own marks.
    ASSERT_TRUE(s.Reselect(0));
    s.Append(Row(40, "\nfourth\n"));
    ASSERT_TRUE(s.ReturnMarks(0, {}));
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{10, 1}, {20, 1}, {30, 1}, {40, 1}}));
    EXPECT_EQ(s.RowOfMarkIndex(3), 3u);
}
