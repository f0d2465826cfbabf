// The matcher on pinhole pairs rendered exactly: where the partner of every
// pixel lies is known in closed form.
#include "matching/Corners.h"
#include "matching/Matcher.h"
#include "tests/matching/StereoFixture.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

double Distance(const ImagePoint& a, const ImagePoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

class MatcherOnPlane : public testing::Test {
protected:
    // A plane at 4 m leaning back (depth grows with the row), seen by two
    // cameras 0.2 m apart: 40 pixels of disparity that change across the image.
    StereoScene scene{320, 240, 4.0, 1.5};
    GreyImage left = scene.Render8(scene.left, BlobTexture);
    GreyImage right = scene.Render8(scene.right, BlobTexture);
};

TEST_F(MatcherOnPlane, AClickInEitherEyeFindsTheTruePartnerToATenthOfAPixel) {
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    for (const ImagePoint click : {ImagePoint{150.0, 100.0}, ImagePoint{210.3, 60.7},
                                   ImagePoint{120.0, 180.0}, ImagePoint{260.6, 150.2}}) {
        const MatchResult fromLeft = matcher.Match(Eye::Left, click);
        ASSERT_TRUE(fromLeft.ok) << fromLeft.reason;
        EXPECT_LT(Distance(fromLeft.pixel, scene.RightOf(click)), 0.1);
        EXPECT_GT(fromLeft.score, 0.9);
        EXPECT_LT(fromLeft.consistencyPx, 0.5);
        EXPECT_GE(fromLeft.windowPx, 11);
        EXPECT_LE(fromLeft.windowPx, 31);

        const ImagePoint inRight = scene.RightOf(click);
        const MatchResult fromRight = matcher.Match(Eye::Right, inRight);
        ASSERT_TRUE(fromRight.ok) << fromRight.reason;
        EXPECT_LT(Distance(fromRight.pixel, click), 0.1);
    }
}

TEST_F(MatcherOnPlane, APoseErrorOfOneAndAHalfPixelsAcrossTheCurveIsSearchedThrough) {
    // The right camera as the matcher believes it: 1.5 pixels lower than
    // the one that took the picture, so the curve misses the partner.
    const PinholeCamera believed({scene.baselineM, 0.0, 0.0}, scene.focal, scene.width / 2.0,
                                 scene.height / 2.0 + 1.5);
    const StereoMatcher matcher(left, right, scene.left, believed);
    for (const ImagePoint click : {ImagePoint{150.0, 100.0}, ImagePoint{230.0, 170.0}}) {
        const MatchResult m = matcher.Match(Eye::Left, click);
        ASSERT_TRUE(m.ok) << m.reason;
        EXPECT_LT(Distance(m.pixel, scene.RightOf(click)), 0.25);
    }
}

TEST_F(MatcherOnPlane, SixteenBitImagesOfTwelveBitDataMatchLikeEightBitOnes) {
    const GreyImage left16 = scene.Render16(scene.left, BlobTexture, 12);
    const GreyImage right16 = scene.Render16(scene.right, BlobTexture, 12);
    EXPECT_FLOAT_EQ(left16.quantum, 1.0f / 4095); // scaled by the data, not the word
    const StereoMatcher matcher(left16, right16, scene.left, scene.right);
    const ImagePoint click{170.4, 120.2};
    const MatchResult m = matcher.Match(Eye::Left, click);
    ASSERT_TRUE(m.ok) << m.reason;
    EXPECT_LT(Distance(m.pixel, scene.RightOf(click)), 0.1);
}

TEST_F(MatcherOnPlane, AClickNearTheBorderIsMatchedWithAWindowCutByTheBorder) {
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    // The partner of a left pixel lies about 40 pixels to its left, so the
    // left image's right border and the top and bottom rows are the edges
    // both images share.
    for (const ImagePoint click :
         {ImagePoint{316.0, 100.0}, ImagePoint{200.0, 3.0}, ImagePoint{250.0, 237.0}}) {
        const MatchResult m = matcher.Match(Eye::Left, click);
        ASSERT_TRUE(m.ok) << click.x << "," << click.y << ": " << m.reason;
        EXPECT_LT(Distance(m.pixel, scene.RightOf(click)), 0.2);
    }
}

TEST_F(MatcherOnPlane, AClickOutsideTheImageOrOnTheVeryCornerIsRefusedNotMisread) {
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    EXPECT_EQ(matcher.Match(Eye::Left, {-3.0, 50.0}).status, MatchStatus::OutsideImage);
    EXPECT_EQ(matcher.Match(Eye::Left, {50.0, 240.0}).status, MatchStatus::OutsideImage);
    // The partner of the left image's top-left corner lies outside the right image.
    const MatchResult corner = matcher.Match(Eye::Left, {0.0, 0.0});
    EXPECT_FALSE(corner.ok);
    EXPECT_FALSE(corner.reason.empty());
    // A fixed small window cut to less than 9 pixels a side is too small.
    MatchOptions small;
    small.windowPx = 11;
    const StereoMatcher fixed(left, right, scene.left, scene.right, small);
    EXPECT_EQ(fixed.Match(Eye::Right, {0.0, 0.0}).status, MatchStatus::AtBorder);
}

TEST(MatcherRefuses, ATexturelessPatchWithItsReason) {
    const StereoScene scene(200, 160, 4.0);
    // Flat grey apart from a smooth shading ramp, which is no texture either.
    const auto shading = [](double x, double) { return 0.4 + 0.2 * x; };
    const GreyImage left = scene.Render8(scene.left, shading);
    const GreyImage right = scene.Render8(scene.right, shading);
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    const MatchResult m = matcher.Match(Eye::Left, {120.0, 80.0});
    EXPECT_FALSE(m.ok);
    EXPECT_EQ(m.status, MatchStatus::Textureless);
    EXPECT_FALSE(m.reason.empty());
}

TEST(MatcherRefuses, ARepeatedTextureAsAmbiguous) {
    const StereoScene scene(320, 200, 4.0);
    // Stripes across the epipolar lines, 3 cm apart: one every 6 pixels.
    const auto stripes = [](double x, double y) {
        return 0.5 + 0.3 * std::sin(2.0 * 3.14159265358979 * x / 0.03) + 0.02 * std::sin(y * 40.0);
    };
    const GreyImage left = scene.Render8(scene.left, stripes);
    const GreyImage right = scene.Render8(scene.right, stripes);
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    for (const Eye eye : {Eye::Left, Eye::Right}) {
        const MatchResult m = matcher.Match(eye, {160.0, 100.0});
        EXPECT_FALSE(m.ok);
        EXPECT_EQ(m.status, MatchStatus::Ambiguous) << m.reason;
        EXPECT_GT(m.ambiguity, matcher.Options().maxAmbiguity);
    }
}

TEST(MatcherRefuses, AWeakMatchWhenTheOtherImageShowsSomethingElse) {
    const StereoScene scene(240, 160, 4.0);
    const GreyImage left = scene.Render8(scene.left, BlobTexture);
    const auto other = [](double x, double y) { return BlobTexture(y + 3.1, x - 1.7); };
    const GreyImage right = scene.Render8(scene.right, other);
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    const MatchResult m = matcher.Match(Eye::Left, {150.0, 80.0});
    EXPECT_FALSE(m.ok);
    EXPECT_NE(m.status, MatchStatus::Matched);
    EXPECT_FALSE(m.reason.empty());
}

TEST_F(MatcherOnPlane, DetectedVertexPairsAreSpreadOverTheAreaAndMatchTheTruth) {
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    const PixelRect area{60, 20, 240, 200};
    std::vector<int> progress;
    const DetectResult found = DetectVertexPairs(
        matcher, area, {40}, [&progress](int done, int) { progress.push_back(done); });
    EXPECT_GT(found.found, 20);
    EXPECT_LE(found.found, 40);
    EXPECT_EQ(found.matched + found.refused, found.found);
    EXPECT_EQ(static_cast<int>(found.pairs.size()), found.matched);
    EXPECT_EQ(static_cast<int>(progress.size()), found.found);
    EXPECT_GT(found.matched, found.found * 3 / 4);
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const DetectedPair& p : found.pairs) {
        EXPECT_GE(p.left.x, area.x);
        EXPECT_LT(p.left.x, area.x + area.width);
        EXPECT_GE(p.left.y, area.y);
        EXPECT_LT(p.left.y, area.y + area.height);
        EXPECT_LT(Distance(p.match.pixel, scene.RightOf(p.left)), 0.2);
        minX = std::min(minX, p.left.x);
        maxX = std::max(maxX, p.left.x);
        minY = std::min(minY, p.left.y);
        maxY = std::max(maxY, p.left.y);
    }
    // Spread: the pairs cover most of the area, not one textured corner.
    EXPECT_GT(maxX - minX, area.width * 0.6);
    EXPECT_GT(maxY - minY, area.height * 0.6);
}

TEST_F(MatcherOnPlane, CancellingDetectionKeepsThePairsAlreadyMatched) {
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    std::atomic<bool> cancel{false};
    const DetectResult found = DetectVertexPairs(
        matcher, {0, 0, 320, 240}, {30},
        [&cancel](int done, int) {
            if (done == 5) {
                cancel = true;
            }
        },
        &cancel);
    EXPECT_TRUE(found.cancelled);
    EXPECT_EQ(found.matched + found.refused, 5);
    EXPECT_EQ(static_cast<int>(found.pairs.size()), found.matched);
    EXPECT_GT(found.found, 5);
}

TEST(Corners, AFlatImageHasNoneAndAnAreaOutsideTheImageHasNone) {
    std::vector<uint8_t> flat(100 * 80, 90);
    const GreyImage image = GreyImage::FromGrey8(flat.data(), 100, 80);
    EXPECT_TRUE(DetectCorners(image, {0, 0, 100, 80}, 50).empty());
    const StereoScene scene(100, 80, 4.0);
    const GreyImage textured = scene.Render8(scene.left, BlobTexture);
    EXPECT_FALSE(DetectCorners(textured, {0, 0, 100, 80}, 50).empty());
    EXPECT_TRUE(DetectCorners(textured, {200, 200, 50, 50}, 50).empty());
    EXPECT_TRUE(DetectCorners(textured, {0, 0, 100, 80}, 0).empty());
}

TEST(GreyImageFromData, RowStridesAndSixteenBitScalingAreHonoured) {
    // Rows of 3 samples with one byte of padding each.
    const uint8_t bytes[] = {0, 255, 51, 9, 102, 153, 204, 9};
    const GreyImage g8 = GreyImage::FromGrey8(bytes, 3, 2, 4);
    ASSERT_EQ(g8.samples.size(), 6u);
    EXPECT_FLOAT_EQ(g8.At(1, 0), 1.0f);
    EXPECT_FLOAT_EQ(g8.At(0, 1), 0.4f);
    const uint16_t words[] = {0, 4095, 1000, 4000};
    const GreyImage g12 = GreyImage::FromGrey16(words, 2, 2);
    EXPECT_FLOAT_EQ(g12.At(1, 0), 1.0f); // 12-bit data fills the range
    const GreyImage g16 = GreyImage::FromGrey16(words, 2, 2, 0, 16);
    EXPECT_FLOAT_EQ(g16.At(1, 0), 4095.0f / 65535.0f);
    EXPECT_TRUE(GreyImage::FromGrey8(nullptr, 3, 2).Empty());
    EXPECT_TRUE(GreyImage::FromGrey8(bytes, 0, 2).Empty());
}

} // namespace
