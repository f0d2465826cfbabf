// epipolar, match and detect on a shipped sample pair with its database.
#include "matching/Matcher.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";
const std::string kPair =
    "--left '" + kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png' --right '" + kSamples +
    "oppy-navcam/1N137057367EFF4000P1916R0M1.png' --db '" + kSamples + "ImgBinDat'";

struct TruthRow {
    double lx, ly, rx, ry;
};

std::vector<TruthRow> Truth() {
    std::ifstream in(kSamples + "oppy-navcam/truth.csv");
    std::string line;
    std::getline(in, line);
    std::vector<TruthRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream s(line);
        std::string field;
        while (std::getline(s, field, ',')) {
            f.push_back(field);
        }
        rows.push_back({std::stod(f[5]), std::stod(f[6]), std::stod(f[7]), std::stod(f[8])});
    }
    return rows;
}

double DistanceToPolyline(const nlohmann::json& points, double x, double y) {
    double best = 1e300;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        const double ax = points[i][0], ay = points[i][1];
        const double dx = double(points[i + 1][0]) - ax, dy = double(points[i + 1][1]) - ay;
        const double l2 = dx * dx + dy * dy;
        const double u = l2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / l2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(ax + u * dx - x, ay + u * dy - y));
    }
    return best;
}

TEST(CliEpipolar, TheCurveOfAMarkedPointPassesThroughItsTruePartnerInEitherDirection) {
    const auto truth = Truth();
    ASSERT_GT(truth.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const TruthRow& t = truth[i * truth.size() / 3];
        auto r = RunCli("epipolar " + kPair + " --pixel " + std::to_string(t.lx) + "," +
                        std::to_string(t.ly) + " --json");
        ASSERT_EQ(r.status, 0);
        auto j = r.Json();
        ASSERT_TRUE(j["ok"].get<bool>());
        // std::to_string keeps six decimals: the click moves by up to 5e-7.
        EXPECT_LT(DistanceToPolyline(j["points"], t.rx, t.ry), 0.1);
        ASSERT_FALSE(j["ticks"].empty());
        EXPECT_EQ(j["ticks"][0]["pixel"].size(), 2u);
        EXPECT_GT(j["ticks"][0]["range"].get<double>(), 0.0);

        r = RunCli("epipolar " + kPair + " --from right --near 1 --pixel " + std::to_string(t.rx) +
                   "," + std::to_string(t.ry) + " --json");
        j = r.Json();
        ASSERT_TRUE(j["ok"].get<bool>());
        EXPECT_LT(DistanceToPolyline(j["points"], t.lx, t.ly), 0.1);
    }
}

TEST(CliMatch, AMatchCarriesTheMeasurementOfItsPixelsExactlyAsMeasureGivesIt) {
    // A textured stretch of ground in front of the rover.
    auto r = RunCli("match " + kPair + " --pixel 600,900 --json");
    ASSERT_EQ(r.status, 0);
    const auto j = r.Json();
    ASSERT_TRUE(j["ok"].get<bool>()) << r.out;
    const double x = j["pixel"][0], y = j["pixel"][1];
    EXPECT_GT(j["score"].get<double>(), 0.8);
    EXPECT_LE(j["consistency_px"].get<double>(), 0.5);
    EXPECT_LE(j["ambiguity"].get<double>(), 0.7);
    // Its 1-sigma: at least the floor, at least half the way back, below a pixel.
    EXPECT_GE(j["sigma_px"].get<double>(), kLeastMatchSigmaPx);
    EXPECT_GE(j["sigma_px"].get<double>(), 0.5 * j["consistency_px"].get<double>());
    EXPECT_LT(j["sigma_px"].get<double>(), 1.0);
    std::ostringstream pixels;
    pixels.precision(17);
    pixels << "600,900," << x << "," << y;
    const auto m = RunCli("measure " + kPair + " --pixels " + pixels.str() + " --json").Json();
    EXPECT_EQ(j["measurement"], m);
    EXPECT_TRUE(m["ok"].get<bool>());
    // About 2.5 m of ground.
    EXPECT_GT(m["range"].get<double>(), 1.5);
    EXPECT_LT(m["range"].get<double>(), 4.0);
}

TEST(CliMatch, PdsProductsAreMatchedOnTheirOwnPixelsWithTheirLabelsModels) {
    // The same pair as 12-bit PDS3 products with attached labels, and no
    // database: the match must land where it lands on the PNG pair.
    const std::string products =
        "--left '" + kSamples + "oppy-navcam-pds3/1N137057367EFF4000P1916L0M1.IMG' --right '" +
        kSamples + "oppy-navcam-pds3/1N137057367EFF4000P1916R0M1.IMG' --db '" + kSamples +
        "no-such-store'";
    const auto png = RunCli("match " + kPair + " --pixel 600,900 --json").Json();
    const auto r = RunCliWithErr("match " + products + " --pixel 600,900 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto pds = r.Json();
    ASSERT_TRUE(pds["ok"].get<bool>()) << r.out;
    EXPECT_NEAR(pds["pixel"][0].get<double>(), png["pixel"][0].get<double>(), 0.05);
    EXPECT_NEAR(pds["pixel"][1].get<double>(), png["pixel"][1].get<double>(), 0.05);
    EXPECT_EQ(pds["measurement"]["model_source"]["left"].get<std::string>().rfind("pds3", 0), 0u);
}

TEST(CliMatch, ARefusalIsAResultWithItsReasonAndBadArgumentsAreUsageErrors) {
    // The sky above the horizon has nothing to match.
    auto r = RunCli("match " + kPair + " --pixel 500,3 --json");
    EXPECT_EQ(r.status, 0);
    auto j = r.Json();
    EXPECT_FALSE(j["ok"].get<bool>());
    EXPECT_FALSE(j["reason"].get<std::string>().empty());
    EXPECT_TRUE(j["consistency_px"].is_null());
    EXPECT_TRUE(j["sigma_px"].is_null());
    EXPECT_FALSE(j.contains("measurement"));

    EXPECT_EQ(RunCli("match " + kPair + " --pixel 600,900 --window 12").status, 2);
    EXPECT_EQ(RunCli("match " + kPair + " --pixel 600,900 --window 41").status, 2);
    EXPECT_EQ(RunCli("match " + kPair + " --pixel 600").status, 2);
    EXPECT_EQ(RunCli("match " + kPair).status, 2);
    EXPECT_EQ(RunCli("match " + kPair + " --pixel 1,2 --from up").status, 2);
    EXPECT_EQ(RunCli("epipolar " + kPair + " --pixel 1,2 --near 0").status, 2);
    // Images whose names name no camera need one chosen by hand.
    EXPECT_EQ(RunCli("match --left /tmp/a.png --right /tmp/b.png --pixel 1,2").status, 2);
    // A file that is no PNG image is reported, not misread.
    const std::string notPng = testing::TempDir() + "ranvista-not-a-png.png";
    std::ofstream(notPng) << "not an image\n";
    const auto bad = RunCliWithErr("match --left '" + notPng + "' --right '" + notPng +
                                   "' --left-camera OppyNavL --right-camera OppyNavR --pixel 1,2");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("not a readable PNG image"), std::string::npos) << bad.err;
    // A camera chosen, but no image to read.
    EXPECT_EQ(RunCli("match --left /nonexistent/a.png --right /nonexistent/b.png "
                     "--left-camera OppyNavL --right-camera OppyNavR --pixel 1,2")
                  .status,
              1);
}

TEST(CliDetect, EachLineIsAConsistentVertexPairWithItsMeasurement) {
    const auto r = RunCliWithErr("detect " + kPair + " --max 12 --rect 200,600,600,400 --json");
    ASSERT_EQ(r.status, 0);
    std::istringstream lines(r.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        const auto j = nlohmann::json::parse(line);
        const double lx = j["left"][0], ly = j["left"][1];
        EXPECT_GE(lx, 200.0);
        EXPECT_LT(lx, 800.0);
        EXPECT_GE(ly, 600.0);
        EXPECT_LT(ly, 1000.0);
        EXPECT_LE(j["consistency_px"].get<double>(), 0.5);
        EXPECT_GE(j["sigma_px"].get<double>(), kLeastMatchSigmaPx);
        EXPECT_TRUE(j["measurement"]["ok"].get<bool>());
        // The partner lies left of the point (positive disparity).
        EXPECT_LT(j["right"][0].get<double>(), lx);
        ++count;
    }
    EXPECT_GT(count, 3);
    EXPECT_LE(count, 12);
    EXPECT_NE(r.err.find("matched " + std::to_string(count)), std::string::npos) << r.err;
}

} // namespace
