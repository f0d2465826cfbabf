// End to end: ranvista-cli measure over every marked point of the samples,
// with the sample database, against the ground truth.
#include "tests/support/CliRunner.h"
#include "tools/SamplePairs.h"

#include "tests/samples/SampleFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";

using sample_files::ReadTruth;
using sample_files::Truth;

struct Measured {
    bool ok = false;
    double range = 0.0;
    CPoint3D position;
    double below = 0.0; // the ±1-pixel range spread as reported: Range[-below,+above]
    double above = 0.0;
    bool records = false;
};

// One batch run over all points, pixels exact or rounded to whole pixels.
std::vector<Measured> Measure(const std::vector<Truth>& truth, bool rounded) {
    // Tests run in parallel processes: each needs its own batch file.
    const std::string batch = testing::TempDir() + "sample_batch_" + std::to_string(getpid()) +
                              (rounded ? "_rounded.txt" : "_exact.txt");
    {
        std::ofstream out(batch);
        const auto px = [rounded](double v) { return ExactNumber(rounded ? std::round(v) : v); };
        for (const Truth& t : truth) {
            out << t.left << ',' << t.right << ',' << px(t.l.x) << ',' << px(t.l.y) << ','
                << px(t.r.x) << ',' << px(t.r.y) << '\n';
        }
    }
    const CliResult r = RunCli("measure --batch '" + batch + "' --db '" + kSamples + "ImgBinDat'");
    EXPECT_EQ(r.status, 0);
    std::vector<Measured> results;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto j = nlohmann::json::parse(line);
        Measured m;
        m.ok = j["ok"].get<bool>();
        m.records = j["left_record"].get<bool>() && j["right_record"].get<bool>();
        if (m.ok) {
            m.range = j["range"].get<double>();
            const auto& p = j["position"];
            m.position = {p[0].get<double>(), p[1].get<double>(), p[2].get<double>()};
            const std::string summary = j["fields"]["error_summary"].get<std::string>();
            EXPECT_EQ(std::sscanf(summary.c_str(), "Range[-%lf,+%lf]", &m.below, &m.above), 2);
        }
        results.push_back(m);
    }
    EXPECT_EQ(results.size(), truth.size());
    return results;
}

class SampleAccuracy : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(SampleAccuracy, ExactPixelsGiveTheTruePointToATenthOfAMillimetre) {
    const auto truth = ReadTruth(GetParam());
    ASSERT_GE(truth.size(), 40u);
    const auto measured = Measure(truth, false);
    ASSERT_EQ(measured.size(), truth.size());
    for (size_t i = 0; i < truth.size(); ++i) {
        ASSERT_TRUE(measured[i].ok) << "point " << i + 1;
        EXPECT_TRUE(measured[i].records) << "the sample database must pose both images";
        EXPECT_LT((measured[i].position - truth[i].point).Length(), 1e-4) << "point " << i + 1;
        EXPECT_NEAR(measured[i].range, truth[i].point.Length(), 1e-4) << "point " << i + 1;
    }
}

TEST_P(SampleAccuracy, ClickedPixelsStayWithinTheReportedOnePixelSpread) {
    const auto truth = ReadTruth(GetParam());
    const auto measured = Measure(truth, true);
    ASSERT_EQ(measured.size(), truth.size());
    size_t within = 0;
    for (size_t i = 0; i < truth.size(); ++i) {
        ASSERT_TRUE(measured[i].ok) << "point " << i + 1;
        // The true range lies in [range - below, range + above].
        const double error = measured[i].range - truth[i].point.Length();
        if (error <= measured[i].below && -error <= measured[i].above) {
            ++within;
        } else {
            std::printf("outside the spread: %s point %zu, range %.4f, error %+.6f, "
                        "spread [-%.6f,+%.6f]\n",
                        GetParam().c_str(), i + 1, truth[i].point.Length(), error,
                        measured[i].below, measured[i].above);
        }
    }
    EXPECT_GE(static_cast<double>(within), 0.95 * static_cast<double>(truth.size()))
        << within << " of " << truth.size() << " within the spread";
}

INSTANTIATE_TEST_SUITE_P(Pairs, SampleAccuracy,
                         testing::Values("oppy-navcam", "msl-navcam-a", "oppy-pancam"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });
