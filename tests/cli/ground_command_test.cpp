// ranvista-cli ground on a real Navcam product: the default ground plane, a
// given plane, a plane fitted to a session, the refusals with their status,
// and the session's monoscopic rows in the exports.
#include "session/MonoRecord.h"
#include "session/SessionFile.h"
#include "tests/support/CliRunner.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

namespace {

const std::string kData = std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/";
const std::string kImage = kData + "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
const std::string kOther = kData + "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ.png";

std::string Ground(const std::string& args) {
    return "ground '" + kImage + "' " + args + " --db " + testing::TempDir() + "no-store";
}

CPoint3D Point(const nlohmann::json& j) {
    return {j[0].get<double>(), j[1].get<double>(), j[2].get<double>()};
}

std::string TempPath(const std::string& name) {
    return testing::TempDir() + std::to_string(getpid()) + "_" + name;
}

TEST(GroundCommand, MeetsTheGroundOrAGivenPlaneAndPrintsTheResultAsMeasureDoes) {
    const CliResult r = RunCli(Ground("640 900 --json"));
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = r.Json();
    EXPECT_TRUE(j["ok"].get<bool>());
    EXPECT_EQ(j["kind"], "mono");
    const CPoint3D p = Point(j["position"]);
    EXPECT_NEAR(p.m_dZ, 0.0, 1e-9);
    EXPECT_NEAR(j["range"].get<double>(), p.Length(), 1e-9);
    EXPECT_GT(j["range"].get<double>(), 5.0);
    EXPECT_EQ(j["surface"]["kind"], "ground plane");
    EXPECT_EQ(j["surface"]["height_sigma"].get<double>(), 0.1);
    const auto& s = j["sigma"];
    EXPECT_NEAR(
        s["range"].get<double>(),
        std::hypot(s["range_from_pixel"].get<double>(), s["range_from_surface"].get<double>()),
        1e-6);
    EXPECT_NE(j["model_source"].get<std::string>().find("raw-json: CAHVORE"), std::string::npos);
    for (const char* key : {"azimuth", "elevation", "distance_to_last", "log_entry", "pixel"}) {
        EXPECT_TRUE(j.contains(key)) << key;
    }
    // The text output is the log entry.
    const CliResult text = RunCli(Ground("640 900"));
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, j["log_entry"].get<std::string>());

    // A plane 0.2 m higher brings the point nearer; its height sigma as given.
    const CliResult higher =
        RunCli(Ground("640 900 --plane 0,0,-2,0.4 --height-sigma 0.05 --json"));
    ASSERT_EQ(higher.status, 0) << higher.out;
    const auto h = higher.Json();
    EXPECT_NEAR(Point(h["position"]).m_dZ, 0.2, 1e-9);
    EXPECT_LT(h["range"].get<double>(), j["range"].get<double>());
    EXPECT_EQ(h["surface"]["kind"], "plane");
    EXPECT_EQ(h["surface"]["height_sigma"].get<double>(), 0.05);
}

TEST(GroundCommand, FitsAPlaneToASessionFromTheSameRoverPositionOnly) {
    SessionDocument s;
    s.leftImage = kImage;
    s.rightImage = kData + "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
    int index = 1;
    for (const CPoint3D& p : {CPoint3D{4, -1, -0.3}, CPoint3D{6, 1, -0.28}, CPoint3D{8, 3, -0.32},
                              CPoint3D{5, 4, -0.3}, CPoint3D{9, -2, -0.3}}) {
        MeasurementRecord r;
        r.index = index++;
        r.position = p;
        r.rangeM = p.Length();
        r.vertex.m_ptPosition = p;
        s.measurements.push_back(r);
    }
    const std::string path = TempPath("ground.rvsession");
    ASSERT_TRUE(WriteSessionFile(path, s, nullptr));
    const CliResult r = RunCli(Ground("640 900 --session '" + path + "' --json"));
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = r.Json();
    EXPECT_EQ(j["surface"]["kind"], "fitted plane");
    EXPECT_EQ(j["surface"]["points"], 5);
    EXPECT_NEAR(Point(j["position"]).m_dZ, -0.3, 0.05);
    EXPECT_GT(j["surface"]["height_sigma"].get<double>(), 0.0);

    // Measured from another rover position: its points are in another frame.
    s.leftImage = kOther;
    s.rightImage.clear();
    ASSERT_TRUE(WriteSessionFile(path, s, nullptr));
    const CliResultWithErr other = RunCliWithErr(Ground("640 900 --session '" + path + "'"));
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("another rover position"), std::string::npos) << other.err;

    // Too few points.
    s.leftImage = kImage;
    s.measurements.resize(2);
    ASSERT_TRUE(WriteSessionFile(path, s, nullptr));
    EXPECT_EQ(RunCli(Ground("640 900 --session '" + path + "'")).status, 1);
}

TEST(GroundCommand, RefusalsExitOneWithTheReasonAndBadArgumentsTwo) {
    const CliResultWithErr sky = RunCliWithErr(Ground("640 10 --json"));
    EXPECT_EQ(sky.status, 1);
    EXPECT_NE(sky.err.find("above the horizon"), std::string::npos) << sky.err;
    EXPECT_FALSE(sky.Json()["ok"].get<bool>());
    // A wall 5 m behind the camera (it looks along +Y), and a ray too flat.
    const CliResultWithErr behind = RunCliWithErr(Ground("640 900 --plane 0,1,0,5"));
    EXPECT_EQ(behind.status, 1);
    EXPECT_NE(behind.err.find("behind the camera"), std::string::npos) << behind.err;
    EXPECT_EQ(behind.out, "");
    const CliResultWithErr far = RunCliWithErr(Ground("640 470"));
    EXPECT_EQ(far.status, 1);
    EXPECT_NE(far.err.find("grazing"), std::string::npos) << far.err;

    EXPECT_EQ(RunCli(Ground("640 900 --plane 0,0,1 ")).status, 2);
    EXPECT_EQ(RunCli(Ground("640 900 --plane 0,0,0,1")).status, 2);
    EXPECT_EQ(RunCli(Ground("640 900 --plane 0,0,1,0 --session x")).status, 2);
    EXPECT_EQ(RunCli(Ground("640 900 --height-sigma -1")).status, 2);
    EXPECT_EQ(RunCli(Ground("640")).status, 2);
    EXPECT_EQ(RunCli(Ground("640 y")).status, 2);
    const CliResultWithErr missing = RunCliWithErr("ground /no/such.png 1 2");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such file"), std::string::npos);
}

// The default plane is the ground of the image's vehicle: on an Opportunity
// product (MER rover frame) and its catalogue rendition it lies below the
// frame's origin; an InSight product's ground is not known, so the default
// is refused with the reason while a given plane still measures.
TEST(GroundCommand, TheDefaultPlaneIsTheGroundOfTheImagesVehicle) {
    const std::string samples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";
    const double merDepth = 1.5 - 1.249215; // mast camera height above ground, above origin
    for (const std::string& image : {samples + "oppy-navcam-pds3/1N137057367EFF4000P1916L0M1.IMG",
                                     samples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png"}) {
        const CliResult r =
            RunCli("ground '" + image + "' 512 1000 --json --db '" + samples + "ImgBinDat'");
        ASSERT_EQ(r.status, 0) << image << "\n" << r.out;
        const auto j = r.Json();
        EXPECT_NEAR(Point(j["position"]).m_dZ, -merDepth, 1e-6) << image;
        EXPECT_EQ(j["surface"]["kind"], "ground plane");
    }

    TempDir dir;
    const std::string insight = dir / kInSightProductName;
    WriteBytes(insight, InSightProductBytes(8, 4));
    const std::string where = " 4 2 --db " + testing::TempDir() + "no-store";
    const CliResultWithErr refused = RunCliWithErr("ground '" + insight + "'" + where);
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_NE(refused.err.find("frame of InSight is not known"), std::string::npos) << refused.err;
    const CliResult given = RunCli("ground '" + insight + "'" + where + " --plane 0,0,1,0 --json");
    ASSERT_EQ(given.status, 0) << given.out;
    EXPECT_NEAR(Point(given.Json()["position"]).m_dZ, 0.0, 1e-9);
}

TEST(GroundCommand, ExportsMarkTheSessionsMonoRows) {
    SessionDocument s;
    s.leftImage = kImage;
    MonoRangeResult m;
    m.ok = true;
    m.position = {4.0, 1.0, 0.0};
    m.rangeM = m.position.Length();
    MeasurementRecord r = RecordOfMonoMeasurement(kImage, {640, 900}, PixelSource::Clicked, 0.5,
                                                  GroundSurface(), m, {}, "2026-12-09T12:00:00Z");
    r.index = 1;
    s.measurements.push_back(r);
    const std::string path = TempPath("mono-export.rvsession");
    ASSERT_TRUE(WriteSessionFile(path, s, nullptr));
    const CliResult csv = RunCli("export '" + path + "' --format csv");
    ASSERT_EQ(csv.status, 0);
    EXPECT_NE(csv.out.find("\n1,640,900,,,clicked,mono,"), std::string::npos) << csv.out;
    // As saved, and recalculated (a monoscopic row is kept as saved).
    const CliResult jsonl = RunCli("export '" + path + "' --format jsonl");
    ASSERT_EQ(jsonl.status, 0);
    const auto j = jsonl.Json();
    EXPECT_EQ(j["kind"], "mono");
    EXPECT_EQ(j["range"].get<double>(), m.rangeM);
    EXPECT_EQ(j["surface"]["description"], "ground plane 0,0,1,0 (height sigma 0.1 m)");
    EXPECT_EQ(RunCli("export '" + path + "' --format jsonl --recalculate --db " +
                     testing::TempDir() + "no-store")
                  .out,
              jsonl.out);
}

} // namespace
