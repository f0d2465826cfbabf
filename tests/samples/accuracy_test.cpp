// End to end: ranvista-cli measure over every marked point of the samples,
// with the sample database, against the ground truth.
#include "samplegen/SamplePairs.h"
#include "tests/support/CliRunner.h"

#include "tests/samples/SampleMeasure.h"

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

using sample_files::Measured;

// One batch run over all points with the sample database.
std::vector<Measured> Measure(const std::vector<Truth>& truth, bool rounded) {
    return sample_files::Measure(truth, rounded, true);
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
