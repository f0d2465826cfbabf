// The measurement document: what a calculation appends, what a re-selection
// and a new pair take away, and when results count as unsaved.
#include "session/MeasurementSession.h"

#include <gtest/gtest.h>

namespace {

VertexRecord Vertex(double x) {
    return VertexRecord{{x, 0, 0}, {0.1, 0.1, 0.1}};
}

} // namespace

TEST(MeasurementSession, AppendKeepsTheListsAlignedAndClearsTheCurrentMarks) {
    MeasurementSession s;
    s.SetMark(Eye::Left, {1, 2});
    s.SetMark(Eye::Right, {3, 4});
    EXPECT_TRUE(s.BothMarksSet());
    s.Append({1, 2}, {3, 4}, Vertex(5), "\nfirst", {5, 0, 0});
    s.Append({6, 7}, {8, 9}, Vertex(6), "\nsecond", {6, 0, 0});
    EXPECT_FALSE(s.Mark(Eye::Left) || s.Mark(Eye::Right));
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{1, 2}, {6, 7}}));
    EXPECT_EQ(s.Marks(Eye::Right), (std::vector<ImagePoint>{{3, 4}, {8, 9}}));
    EXPECT_EQ(s.Vertices().size(), 2u);
    EXPECT_EQ(s.ResultsLog(), "\nfirst\nsecond");
    EXPECT_EQ(s.LastPosition(), CPoint3D(6, 0, 0));
}

TEST(MeasurementSession, ReselectionTakesBothMarksBackButKeepsVertexAndLog) {
    MeasurementSession s;
    s.Append({1, 1}, {2, 2}, Vertex(1), "a", {});
    s.Append({3, 3}, {4, 4}, Vertex(2), "b", {});
    EXPECT_FALSE(s.Reselect(2));
    ASSERT_TRUE(s.Reselect(0));
    EXPECT_EQ(s.Mark(Eye::Left), (ImagePoint{1, 1}));
    EXPECT_EQ(s.Mark(Eye::Right), (ImagePoint{2, 2}));
    EXPECT_EQ(s.Marks(Eye::Left), (std::vector<ImagePoint>{{3, 3}}));
    EXPECT_EQ(s.Marks(Eye::Right), (std::vector<ImagePoint>{{4, 4}}));
    EXPECT_EQ(s.Vertices().size(), 2u);
    EXPECT_EQ(s.ResultsLog(), "ab");
}

TEST(MeasurementSession, UnsavedResultsSurviveANewPairUntilSaved) {
    MeasurementSession s;
    EXPECT_FALSE(s.HasUnsavedResults());
    s.SetFile(Eye::Left, "l.png");
    s.SetFile(Eye::Right, "r.png");
    s.Append({1, 1}, {2, 2}, Vertex(1), "a", {});
    EXPECT_TRUE(s.HasUnsavedResults());
    s.ClearForNewPair();
    EXPECT_TRUE(s.Marks(Eye::Left).empty());
    EXPECT_TRUE(s.Vertices().empty());
    EXPECT_TRUE(s.HasUnsavedResults()); // the log stays, and so does what is unsaved
    s.MarkResultsSaved();
    EXPECT_FALSE(s.HasUnsavedResults());
    s.Append({1, 1}, {2, 2}, Vertex(1), "b", {});
    EXPECT_TRUE(s.HasUnsavedResults());
    s.SwapFiles();
    EXPECT_EQ(s.LeftFile(), "r.png");
    EXPECT_EQ(s.File(Eye::Right), "l.png");
}

// A measurement carries how each of its pixels was set; a click after a
// match, a re-selection or a new pair never inherits a stale origin.
TEST(MeasurementSession, EachMeasurementRecordsWhetherItsMarksWereClickedOrMatched) {
    MeasurementSession s;
    s.SetMark(Eye::Left, {10, 20});
    s.SetMatchedMark(Eye::Right, {8, 20}, 0.93);
    EXPECT_FALSE(s.Origin(Eye::Left).matched);
    EXPECT_EQ(s.Origin(Eye::Right), (MarkOrigin{true, 0.93}));
    s.Append({10, 20}, {8, 20}, Vertex(1), "a\n", {});
    ASSERT_EQ(s.Origins().size(), 1u);
    EXPECT_EQ(s.Origins()[0].right, (MarkOrigin{true, 0.93}));
    // Append starts the next measurement clicked on both sides.
    EXPECT_FALSE(s.Origin(Eye::Right).matched);

    s.SetMatchedMark(Eye::Left, {30, 40}, 0.9);
    s.SetMark(Eye::Left, {31, 40}); // the user corrects the match
    s.SetMark(Eye::Right, {29, 40});
    s.Append({31, 40}, {29, 40}, Vertex(2), "b\n", {});
    ASSERT_EQ(s.Origins().size(), 2u);
    EXPECT_FALSE(s.Origins()[1].left.matched);
    EXPECT_EQ(s.Origins().size(), s.Vertices().size());

    s.SetMatchedMark(Eye::Right, {1, 1}, 0.8);
    ASSERT_TRUE(s.Reselect(0));
    EXPECT_FALSE(s.Origin(Eye::Right).matched); // the stored pixels, not the match
    s.ClearForNewPair();
    EXPECT_TRUE(s.Origins().empty());
}

// The pixel sigmas of a calculation: a matched mark's own only while the
// calculation uses that very mark; a correction, a re-selection or a pixel
// typed elsewhere falls back to the click's.
TEST(MeasurementSession, OnlyTheMatchedMarkAtItsOwnPixelCarriesTheMatchersSigma) {
    MeasurementSession s;
    constexpr double kClick = 0.7;
    PixelSigmas p = s.MarkSigmas(kClick, {1, 2}, {3, 4});
    EXPECT_EQ(p.leftPx, kClick) << "no marks";
    EXPECT_EQ(p.rightPx, kClick);

    s.SetMark(Eye::Left, {10, 20});
    s.SetMatchedMark(Eye::Right, {8.25, 20.5}, 0.93, 0.08);
    EXPECT_EQ(s.Origin(Eye::Right).sigmaPx, 0.08);
    p = s.MarkSigmas(kClick, {10, 20}, {8.25, 20.5});
    EXPECT_EQ(p.leftPx, kClick);
    EXPECT_EQ(p.rightPx, 0.08);
    // Written to the dialog's field and read back, a hair away.
    EXPECT_EQ(s.MarkSigmas(kClick, {10, 20}, {8.2500001, 20.5}).rightPx, 0.08);
    // Another pixel typed in is a click's.
    EXPECT_EQ(s.MarkSigmas(kClick, {10, 20}, {9, 20.5}).rightPx, kClick);
    // A match without an estimate is a click's too.
    s.SetMatchedMark(Eye::Right, {8.25, 20.5}, 0.93);
    EXPECT_EQ(s.MarkSigmas(kClick, {10, 20}, {8.25, 20.5}).rightPx, kClick);

    s.SetMatchedMark(Eye::Right, {8.25, 20.5}, 0.93, 0.08);
    s.Append({10, 20}, {8.25, 20.5}, Vertex(1), "a\n", {});
    EXPECT_EQ(s.Origins()[0].right.sigmaPx, 0.08);
    // The next measurement starts from clicks; a re-selection of the
    // matched one is clicked as well.
    EXPECT_EQ(s.MarkSigmas(kClick, {10, 20}, {8.25, 20.5}).rightPx, kClick);
    s.SetMatchedMark(Eye::Right, {8.25, 20.5}, 0.93, 0.08);
    s.SetMark(Eye::Right, {8.25, 20.5}); // corrected by a click on the same pixel
    EXPECT_EQ(s.MarkSigmas(kClick, {10, 20}, {8.25, 20.5}).rightPx, kClick);
    ASSERT_TRUE(s.Reselect(0));
    EXPECT_EQ(s.MarkSigmas(kClick, {10, 20}, {8.25, 20.5}).rightPx, kClick);
}
