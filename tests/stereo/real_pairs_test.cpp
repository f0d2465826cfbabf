// The two real Perseverance Navcam pairs of the public raw-image feed, measured
// with the models their records carry (the records are kept whole; the images
// are stood in for by PNG headers of their size, all the measurement reads).
#include "geometry/Frames.h"
#include "imagedb/ImageDatabase.h"
#include "stereo/CalcInput.h"
#include "tests/products/CatalogueProducts.h"
#include "tests/products/ProductFixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string ReadRecord(const std::string& name) {
    std::ifstream in(std::string(RANVISTA_SOURCE_DIR) + "/tests/stereo/data/" + name + ".json");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A pair's images (headers of the delivered size) beside their records.
struct RealPair {
    TempDir dir;
    std::string left;
    std::string right;

    RealPair(const std::string& leftName, const std::string& rightName, int width, int height) {
        using namespace product_test;
        left = dir / (leftName + ".png");
        right = dir / (rightName + ".png");
        WriteFile(left, PngHeader(width, height));
        WriteFile(right, PngHeader(width, height));
        WriteFile(dir / (leftName + ".json"), ReadRecord(leftName));
        WriteFile(dir / (rightName + ".json"), ReadRecord(rightName));
    }
};

const char* const kTiledLeft = "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J";
const char* const kTiledRight = "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J";
const char* const kMixedLeft = "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ";
const char* const kMixedRight = "NRE_0060_0672265209_237ECM_N0032046NCAM00410_00_0LLJ";

// A measurement's point in the left rover's frame (PDS axes: +Z down, the
// origin on the ground under the rover).
CPoint3D InRoverFrame(const RangeCalcInput& in, const RangeCalcResult& r) {
    EXPECT_TRUE(in.leftProduct && in.leftProduct->pose && r.sitePosition);
    if (!in.leftProduct || !in.leftProduct->pose || !r.sitePosition) {
        return {};
    }
    return PointFromReference(in.leftProduct->pose->roverToSite, *r.sitePosition);
}

} // namespace

TEST(RealPairs, BothPairsMeasureWithTheirRecordsModelsAndTheRaysAgree) {
    const ImageDatabase none;
    struct Case {
        RealPair pair;
        ImagePoint left;
        ImagePoint right;
        double range;
    };
    // Pixels matched on the real images: a ground point 8 m away in the
    // tiled pair, the base of a rock 10 m away in the other.
    const Case cases[] = {
        {RealPair(kTiledLeft, kTiledRight, 1288, 968), {640, 950}, {551.462, 953.768}, 8.05},
        {RealPair(kMixedLeft, kMixedRight, 1296, 976), {711, 932}, {567.5, 941.5}, 10.33},
    };
    for (const Case& c : cases) {
        const RangeCalcInput in =
            MakeRangeCalcInput({}, c.pair.left, c.pair.right, c.left, c.right, {}, none);
        ASSERT_TRUE(in.leftProduct && in.rightProduct) << in.productProblem;
        EXPECT_TRUE(in.productNote.empty()) << "full-resolution images take their models as given";
        const RangeCalcResult r = CalculateRange(in);
        ASSERT_TRUE(r.bOk);
        EXPECT_NEAR(r.dRange, c.range, 0.01);
        ASSERT_TRUE(r.missDistance);
        EXPECT_LT(*r.missDistance, 0.01) << "the two rays pass within a centimetre";
        ASSERT_TRUE(r.sitePosition);
    }
}

TEST(RealPairs, GroundBesideARockComesOutOnTheRoversGroundPlane) {
    const ImageDatabase none;
    const RealPair pair(kMixedLeft, kMixedRight, 1296, 976);
    // The foot of the same rock as seen from both eyes, 10 m out; the
    // terrain there is a little higher than under the rover.
    const RangeCalcInput in =
        MakeRangeCalcInput({}, pair.left, pair.right, {711, 932}, {567.5, 941.5}, {}, none);
    const RangeCalcResult r = CalculateRange(in);
    ASSERT_TRUE(r.bOk);
    const CPoint3D p = InRoverFrame(in, r);
    EXPECT_NEAR(p.m_dX, -1.05, 0.05);
    EXPECT_NEAR(p.m_dY, 10.28, 0.05);
    EXPECT_NEAR(p.m_dZ, 0.0, 0.25);
    // The output frame is the rover's, Z up and turned by its attitude: the
    // same height within the attitude's small tilt.
    EXPECT_NEAR(r.ptPosition.m_dZ, -p.m_dZ, 0.45);
}
