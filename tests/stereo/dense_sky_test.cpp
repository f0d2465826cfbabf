// The dense range map of the two whole real Navcam pairs: the smooth sky
// above the hills gets no range, while the ground below keeps its fill.
// The sky is taken conservatively from the pictures: rows well above the
// highest point of the skyline, and beside it the open sky over the lower
// ridges, each with a margin of some 30 rows to the outline.
#include "imagedb/ImageDatabase.h"
#include "matching/GreyImageFile.h"
#include "stereo/CalcInput.h"
#include "stereo/DenseRange.h"
#include "stereo/PairProjections.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

const std::string kDir = std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/";

struct SkyCase {
    const char* name;
    const char* left;
    const char* right;
    std::function<bool(int, int)> sky;
    int groundFromRow; // every row from here down is ground
    double minGroundFill;
};

void CheckSky(const SkyCase& c) {
    const ImageDatabase db;
    const std::string l = kDir + c.left + ".png", r = kDir + c.right + ".png";
    const PairProjectionsResult cams =
        MakePairProjections(MakeRangeCalcInput({}, l, r, {}, {}, {}, db));
    ASSERT_TRUE(cams.ok) << cams.reason;
    const GreyImage left = ReadGreyImage(l).image, right = ReadGreyImage(r).image;
    const auto rect = std::make_shared<const StereoRectification>(
        cams.left, cams.right, left.width, left.height, right.width, right.height);
    ASSERT_EQ(rect->Problem(), "");
    const DenseResult dense = ComputeDenseRange(rect, left, right);
    ASSERT_TRUE(dense.ok) << dense.problem;
    const DenseRangeMap& map = dense.map;
    long long sky = 0, skyRanged = 0, ground = 0, groundRanged = 0;
    for (int y = 0; y < map.Height(); ++y) {
        for (int x = 0; x < map.Width(); ++x) {
            const bool ranged = !std::isnan(map.RangeAt(x, y));
            if (c.sky(x, y)) {
                ++sky;
                skyRanged += ranged;
            } else if (y >= c.groundFromRow) {
                ++ground;
                groundRanged += ranged;
            }
        }
    }
    const double fill = static_cast<double>(groundRanged) / static_cast<double>(ground);
    std::printf("%s: valid %.3f, sky %lld of %lld pixels ranged, ground filled %.3f\n", c.name,
                map.Summary().validFraction, skyRanged, sky, fill);
    EXPECT_GT(sky, 100000);
    EXPECT_EQ(skyRanged, 0) << c.name;
    EXPECT_GE(fill, c.minGroundFill) << c.name;
}

TEST(DenseSky, TheSkyOfBothRealPairsGetsNoRangeAndTheGroundKeepsItsFill) {
    // Sol 1110: the hill on the left tops out near row 310, the ridges to
    // its right near row 460.
    CheckSky({"sol 1110", "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J",
              "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J",
              [](int x, int y) { return y < 280 || (x >= 430 && y < 430); }, 600, 0.8});
    // Sol 60: the mountains top out near row 143, and fall to below row 240
    // right of column 1000.
    CheckSky({"sol 60", "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ",
              "NRE_0060_0672265209_237ECM_N0032046NCAM00410_00_0LLJ",
              [](int x, int y) { return y < 115 || (x >= 1000 && y < 205); }, 360, 0.8});
}

} // namespace
