// Monoscopic measurements in the workspace: the session file keeps them
// beside stereo rows (whose lines stay byte for byte as before), older files
// and foreign kinds are read as they should be, the log marks them, the CSV
// leaves their right pixel empty, and a recalculation keeps them as saved.
#include "session/MeasurementExport.h"
#include "session/MeasurementSession.h"
#include "session/MonoRecord.h"
#include "session/SessionFile.h"

#include "imagedb/ImageDatabase.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

MeasurementRecord StereoRow() {
    MeasurementRecord r;
    r.leftPixel = {100.25, 200.5};
    r.rightPixel = {90.125, 201.0 / 3.0};
    r.position = {3.0, -0.5, -0.25};
    r.rangeM = r.position.Length();
    r.vertex.m_ptPosition = r.position;
    r.timeUtc = "2026-12-09T12:00:00Z";
    r.logEntry = "\nImage Pair A B\nRange=3.0\n";
    return r;
}

MeasurementRecord MonoRow() {
    const MonoSurface ground = GroundSurface();
    MonoRangeResult r;
    r.ok = true;
    r.position = {4.0, 1.0, 0.0};
    r.rangeM = r.position.Length();
    r.azimuthDeg = -14.0;
    r.elevationDeg = 0.0;
    r.uncertainty =
        UncertaintyOfCovariance({{{0.04, 0.0, 0.0}, {0.0, 0.01, 0.0}, {0, 0, 0}}}, r.position);
    r.rangeSigmaPixelM = 0.01;
    r.rangeSigmaSurfaceM = 0.19;
    return RecordOfMonoMeasurement("/data/NLF_0001.png", {640.5, 900.0}, PixelSource::Clicked, 0.5,
                                   ground, r, {1.0, 0.0, 0.0}, "2026-12-09T13:00:00Z");
}

SessionDocument Session(std::vector<MeasurementRecord> rows) {
    SessionDocument s;
    s.leftImage = "/data/NLF_0001.png";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].index = static_cast<int>(i) + 1;
    }
    s.measurements = std::move(rows);
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(MonoRecord, TheSessionFileKeepsMonoRowsBesideStereoRowsWhoseLinesDoNotChange) {
    const MeasurementRecord mono = MonoRow();
    EXPECT_TRUE(mono.IsMono());
    EXPECT_EQ(mono.surface, "ground plane 0,0,1,0 (height sigma 0.1 m)");
    const SessionDocument mixed = Session({StereoRow(), mono, StereoRow()});
    const std::string text = SessionText(mixed, "/data/s.rvsession");
    const SessionReadResult back = ReadSessionText(text, "/data/s.rvsession");
    ASSERT_TRUE(back.ok) << back.message;
    ASSERT_EQ(back.session.measurements.size(), 3u);
    EXPECT_EQ(back.session.measurements, mixed.measurements);
    EXPECT_FALSE(back.session.measurements[0].IsMono());
    EXPECT_TRUE(back.session.measurements[1].IsMono());
    EXPECT_EQ(back.session.rightImage, "");

    // The stereo rows' lines are those of a session without the mono row.
    SessionDocument stereoOnly = mixed;
    stereoOnly.measurements.erase(stereoOnly.measurements.begin() + 1);
    const auto a = Lines(text), b = Lines(SessionText(stereoOnly, "/data/s.rvsession"));
    ASSERT_EQ(a.size(), b.size() + 1);
    int stereoLines = 0;
    for (const std::string& line : a) {
        if (line.find("\"kind\"") == std::string::npos &&
            line.find("\"index\"") != std::string::npos) {
            EXPECT_NE(std::find(b.begin(), b.end(), line), b.end()) << line;
            ++stereoLines;
        }
    }
    EXPECT_EQ(stereoLines, 2);
    const std::string monoLine = a[a.size() - 4];
    EXPECT_NE(monoLine.find("{\"index\":2,\"kind\":\"mono\",\"surface\":\"ground plane"),
              std::string::npos)
        << monoLine;
    EXPECT_EQ(monoLine.find("right_pixel"), std::string::npos);

    // Streaming gives the same rows.
    const std::string path = testing::TempDir() + "mono_rows.rvsession";
    ASSERT_TRUE(WriteSessionFile(path, mixed, nullptr));
    std::vector<MeasurementRecord> streamed;
    const auto read = StreamSessionFile(
        path, [](const SessionDocument&) {},
        [&](const MeasurementRecord& r) { streamed.push_back(r); });
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_EQ(streamed, mixed.measurements);
}

TEST(MonoRecord, RowsWithoutAKindAreStereoAndUnknownKindsOrMissingPixelsAreRefused) {
    const std::string text = SessionText(Session({StereoRow(), MonoRow()}), "/data/s.rvsession");
    // A row of an older file: no kind, both pixels.
    const auto old = ReadSessionText(text, "/data/s.rvsession");
    ASSERT_TRUE(old.ok);
    EXPECT_EQ(old.session.measurements[0].kind, MeasurementKind::Stereo);

    std::string foreign = text;
    foreign.replace(foreign.find("\"kind\":\"mono\""), 13, "\"kind\":\"tri\"");
    const auto refused = ReadSessionText(foreign, "/data/s.rvsession");
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("kind"), std::string::npos) << refused.message;

    // A stereo row must still have its right pixel.
    std::string missing = text;
    const auto at = missing.find(",\"right_pixel\":");
    missing.erase(at, missing.find(",\"left_set\"", at) - at);
    EXPECT_FALSE(ReadSessionText(missing, "/data/s.rvsession").ok);
}

TEST(MonoRecord, LogCsvAndRecalculationMarkAndKeepTheMonoRow) {
    const MeasurementRecord mono = MonoRow();
    const std::vector<std::string> log = Lines(mono.logEntry);
    ASSERT_GE(log.size(), 8u);
    EXPECT_EQ(log[0], "");
    EXPECT_EQ(log[1], "Monoscopic Image NLF_0001 at (640.5, 900.0) on ground plane 0,0,1,0 "
                      "(height sigma 0.1 m)");
    EXPECT_EQ(log[2], "Range=4.1231");
    EXPECT_EQ(log[3], "Position=4.0000,1.0000,0.0000");
    EXPECT_EQ(log[4], "Distance to Last=3.1623");
    EXPECT_EQ(log[7].rfind("Sigma (1-sigma)=range ", 0), 0u) << log[7];

    // In the session the log is the stereo entry, then the marked one.
    MeasurementSession session;
    session.Append(StereoRow());
    session.Append(mono);
    EXPECT_EQ(session.ResultsLog(), StereoRow().logEntry + mono.logEntry);
    EXPECT_TRUE(session.Measurements()[1].IsMono());

    const std::string csv = MeasurementsCsv(Session({StereoRow(), mono}).measurements);
    const auto rows = Lines(csv);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3].rfind("2,640.5,900,,,clicked,mono,", 0), 0u) << rows[3];
    EXPECT_EQ(rows[2].rfind("1,100.25,200.5,90.125,", 0), 0u) << rows[2];

    const ImageDatabase db;
    const SessionDocument doc = Session({mono});
    const RecalculatedMeasurement again = Recalculate(SessionRig(doc, db), doc.measurements[0], {});
    EXPECT_TRUE(again.result.bOk);
    EXPECT_EQ(again.record, doc.measurements[0]);
    EXPECT_FALSE(RecalculationChange(doc.measurements[0], again));
}

} // namespace

TEST(MonoRecord, TheSessionPlaneIsFittedToItsStereoRowsOnly) {
    // A catalogue camera: no product frame to compare, so the rows serve.
    MonoCamera camera;
    std::vector<MeasurementRecord> rows;
    for (const CPoint3D& p : {CPoint3D{4, -1, -0.3}, CPoint3D{6, 1, -0.3}, CPoint3D{5, 4, -0.3}}) {
        MeasurementRecord r = StereoRow();
        r.position = p;
        rows.push_back(r);
    }
    // Monoscopic rows lie on a surface already: far off the plane, they
    // must not tilt it nor count as points.
    MeasurementRecord mono = MonoRow();
    mono.position = {5.0, 0.0, 2.0};
    rows.push_back(mono);
    const SessionPlaneResult fitted = SessionPlaneSurface("", "", rows, camera);
    ASSERT_TRUE(fitted.surface) << fitted.problem;
    EXPECT_EQ(fitted.surface->fittedPoints, 3);
    EXPECT_NEAR(std::abs(fitted.surface->normal.m_dZ), 1.0, 1e-9);
    EXPECT_NEAR(fitted.surface->offset * fitted.surface->normal.m_dZ, 0.3, 1e-9);

    // Two stereo points and any number of monoscopic ones give no plane.
    rows.erase(rows.begin());
    rows.push_back(mono);
    const SessionPlaneResult few = SessionPlaneSurface("", "", rows, camera);
    EXPECT_FALSE(few.surface);
    EXPECT_FALSE(few.otherPosition);
    EXPECT_EQ(few.problem.rfind("a plane needs three or more measured points", 0), 0u)
        << few.problem;
}
