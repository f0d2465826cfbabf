// The per-pixel truth file: what is written reads back exactly, and what is
// not a truth map is refused.
#include "samplegen/SamplePairs.h"
#include "samplegen/TruthMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

TEST(TruthMap, APfmRoundTripKeepsEveryPointSkyAndTheRowOrder) {
    TruthMap map;
    map.width = 3;
    map.height = 2;
    map.xyz = {1.5f,  -2.25f, 3.0f,  NAN,  NAN,  NAN,  7.0f, 8.0f, 9.0f,
               -1.0f, 0.0f,   1e-7f, 4.0f, 5.0f, 6.0f, 1e6f, 2.0f, -3.5f};
    const std::string bytes = EncodeTruthPfm(map);
    EXPECT_EQ(bytes.substr(0, 10), "PF\n3 2\n-1\n");
    // Rows from the bottom: the first triple stored is the bottom row's first.
    float first = 0.0f;
    std::memcpy(&first, bytes.data() + 10, 4);
    EXPECT_EQ(first, -1.0f);
    const auto back = DecodeTruthPfm(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 3);
    EXPECT_EQ(back->height, 2);
    for (size_t k = 0; k < map.xyz.size(); ++k) {
        EXPECT_TRUE(std::isnan(map.xyz[k]) ? std::isnan(back->xyz[k]) : back->xyz[k] == map.xyz[k])
            << k;
    }
    EXPECT_FALSE(back->At(1, 0));
    EXPECT_EQ(back->At(2, 1)->m_dX, 1e6);
    EXPECT_FALSE(back->At(3, 0));
}

TEST(TruthMap, TruncatedOrForeignFilesAreRefused) {
    TruthMap map;
    map.width = 2;
    map.height = 2;
    map.xyz.assign(12, 1.0f);
    const std::string bytes = EncodeTruthPfm(map);
    EXPECT_FALSE(DecodeTruthPfm(bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(DecodeTruthPfm("Pf\n2 2\n-1\n" + bytes.substr(10))); // one channel
    EXPECT_FALSE(DecodeTruthPfm("PF\n2 2\n1\n" + bytes.substr(10)));  // big-endian
    EXPECT_FALSE(DecodeTruthPfm("PF\n0 2\n-1\n"));
    EXPECT_FALSE(DecodeTruthPfm(""));
}

TEST(TruthMap, EachPixelsPointProjectsBackOntoThatPixelAndSkyIsOnlyAboveTheHorizon) {
    const SamplePair pair = BuildSamplePair(SamplePairDefinitions().front());
    const TruthMap map = ComputeTruthMap(pair.scene, pair.left, kSampleImageSize, kSampleImageSize);
    int points = 0;
    for (int y = 3; y < kSampleImageSize; y += 61) {
        for (int x = 5; x < kSampleImageSize; x += 67) {
            const auto p = map.At(x, y);
            if (!p) {
                // Sky: the ray rises.
                EXPECT_GT(pair.left.Ray(x, y).m_dZ, 0.0) << x << "," << y;
                continue;
            }
            ImagePoint back;
            ASSERT_TRUE(pair.left.Project(*p, back));
            EXPECT_NEAR(back.x, x, 2e-3);
            EXPECT_NEAR(back.y, y, 2e-3);
            ++points;
        }
    }
    EXPECT_GT(points, 100);
}

} // namespace
