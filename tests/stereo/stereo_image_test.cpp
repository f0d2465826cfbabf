// The pictures for the eyes: the colour-preserving anaglyph beside the grey
// one.
#include "stereo/StereoImage.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

GreyImage Plane(int w, int h, float (*value)(int x, int y)) {
    GreyImage g;
    g.width = w;
    g.height = h;
    g.samples.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            g.samples[static_cast<size_t>(y) * w + x] = value(x, y);
        }
    }
    return g;
}

float Ramp(int x, int y) {
    return static_cast<float>((x * 7 + y * 3) % 97) / 96.0f;
}

} // namespace

TEST(ColourAnaglyph, GreyImagesGiveTheGreyAnaglyphAndMismatchesGiveNothing) {
    const GreyImage left = Plane(40, 30, Ramp);
    GreyImage right = Plane(40, 30, [](int x, int y) { return Ramp(x + 2, y); });
    right.samples[5] = std::nanf("");
    const RgbImage grey = MakeStereoImage(left, right, StereoImageMode::Anaglyph);
    const RgbImage colour = MakeColourAnaglyph({left, left, left}, {right, right, right});
    ASSERT_FALSE(grey.Empty());
    EXPECT_EQ(colour.width, grey.width);
    EXPECT_EQ(colour.height, grey.height);
    EXPECT_EQ(colour.rgb, grey.rgb);

    const GreyImage small = Plane(20, 30, Ramp);
    EXPECT_TRUE(MakeColourAnaglyph({left, left, small}, {right, right, right}).Empty());
    EXPECT_TRUE(MakeColourAnaglyph({left, left, left}, {small, small, small}).Empty());
    EXPECT_TRUE(MakeColourAnaglyph({}, {}).Empty());
}

TEST(ColourAnaglyph, KeepsEachImagesHuesWithItsChannels) {
    // A reddish scene: red brighter than green, green brighter than blue.
    const auto planes = [&](int w, int h) {
        return ColourPlanes{
            Plane(w, h, [](int x, int y) { return 0.2f + 0.8f * Ramp(x, y); }),
            Plane(w, h, [](int x, int y) { return 0.6f * (0.2f + 0.8f * Ramp(x, y)); }),
            Plane(w, h, [](int x, int y) { return 0.3f * (0.2f + 0.8f * Ramp(x, y)); })};
    };
    const ColourPlanes left = planes(40, 30);
    const ColourPlanes right = planes(40, 30);
    ASSERT_FALSE(left.IsGrey());
    const RgbImage img = MakeColourAnaglyph(left, right);
    ASSERT_EQ(img.width, 40);
    // Planes stretched one by one would all reach white; together the right
    // image's blue stays below its green, and its green below the left's red
    // at the brightest pixel.
    int brightest = 0;
    for (int k = 0; k < 40 * 30; ++k) {
        if (left.red.samples[k] > left.red.samples[brightest]) {
            brightest = k;
        }
    }
    const uint8_t* px = img.rgb.data() + 3 * brightest;
    EXPECT_GE(px[0], 250);
    EXPECT_LT(px[1], px[0] * 0.7);
    EXPECT_LT(px[2], px[1] * 0.7);
    EXPECT_GT(px[2], 0);
}
