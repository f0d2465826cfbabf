// The matcher where a square window is the wrong shape or the eyes do not
// look alike: level ground seen from a camera at mast height, whose
// foreshortening differs between the eyes, and an eye that kept the 2 x 2
// pattern of its colour filter array.
#include "matching/BayerMosaic.h"
#include "matching/Matcher.h"
#include "tests/matching/StereoFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// A pinhole camera in a frame whose z is up and y forward (the camera's own
// frame has y down and z forward), as the rover and site frames are.
class LevelCamera : public ICameraProjection {
public:
    LevelCamera(double x, double heightM, double f, double cx, double cy)
        : m_camera({x, -heightM, 0.0}, f, cx, cy) {}

    std::optional<Ray> PixelToRay(const ImagePoint& p) const override {
        const auto r = m_camera.PixelToRay(p);
        if (!r) {
            return std::nullopt;
        }
        return Ray{ToWorld(r->origin), ToWorld(r->direction)};
    }
    std::optional<ImagePoint> PointToPixel(const CPoint3D& q) const override {
        return m_camera.PointToPixel({q.m_dX, -q.m_dZ, q.m_dY});
    }

private:
    static CPoint3D ToWorld(const CPoint3D& c) { return {c.m_dX, c.m_dZ, -c.m_dY}; }
    PinholeCamera m_camera;
};

// Two cameras 1 m above level ground, 0.42 m apart: on the near ground the
// disparity grows by 0.42 pixel a row, so a 21-pixel window's rows are
// sheared by nine pixels between the eyes.
struct GroundScene {
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 260;
    static constexpr double kFocal = 300.0;
    static constexpr double kBaseline = 0.42;
    static constexpr double kHeightM = 1.0;
    LevelCamera left{0.0, kHeightM, kFocal, kWidth / 2.0, 60.0};
    LevelCamera right{kBaseline, kHeightM, kFocal, kWidth / 2.0, 60.0};

    static CPoint3D Ground(const ICameraProjection& cam, const ImagePoint& p) {
        const Ray r = *cam.PixelToRay(p);
        return r.origin + r.direction * (-r.origin.m_dZ / r.direction.m_dZ);
    }
    ImagePoint RightOf(const ImagePoint& l) const { return *right.PointToPixel(Ground(left, l)); }

    std::vector<double> Render(const ICameraProjection& cam) const {
        std::vector<double> out(static_cast<size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                double sum = 0.0;
                for (int j = 0; j < 4; ++j) {
                    for (int i = 0; i < 4; ++i) {
                        const CPoint3D g =
                            Ground(cam, {x + (i + 0.5) / 4 - 0.5, y + (j + 0.5) / 4 - 0.5});
                        sum += BlobTexture(2.0 * g.m_dX, 2.0 * g.m_dY);
                    }
                }
                out[static_cast<size_t>(y) * kWidth + x] = std::clamp(sum / 16.0, 0.0, 1.0);
            }
        }
        return out;
    }
    // checker: grey steps added to and taken from alternate pixels of
    // alternate rows, as an undemosaiced colour filter array leaves them.
    // gamma: the grey values raised to this power, as a product stretched
    // otherwise than its partner.
    GreyImage Render8(const ICameraProjection& cam, int checker = 0, double gamma = 1.0) const {
        auto v = Render(cam);
        for (double& x : v) {
            x = std::pow(x, gamma);
        }
        std::vector<uint8_t> bytes(v.size());
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const int pattern = (x % 2 == 0 && y % 2 == 0)   ? checker
                                    : (x % 2 == 1 && y % 2 == 1) ? -checker
                                                                 : 0;
                const size_t k = static_cast<size_t>(y) * kWidth + x;
                bytes[k] = static_cast<uint8_t>(
                    std::clamp<long>(std::lround(v[k] * 255.0) + pattern, 0L, 255L));
            }
        }
        return GreyImage::FromGrey8(bytes.data(), kWidth, kHeight);
    }
};

const GroundScene& Scene() {
    static const GroundScene scene;
    return scene;
}

const ImagePoint kNearGround[] = {{120.0, 200.0}, {200.3, 230.6}, {260.0, 170.0},
                                  {90.0, 150.0},  {180.0, 120.0}, {230.7, 215.2}};

// How many of the near-ground clicks match; each match within maxErrorPx of
// its true partner.
int MatchedNearGround(const GroundScene& scene, const StereoMatcher& matcher, double maxErrorPx) {
    int matched = 0;
    for (const ImagePoint& click : kNearGround) {
        const ImagePoint truth = scene.RightOf(click);
        const MatchResult m = matcher.Match(Eye::Left, click);
        if (m.ok) {
            ++matched;
            EXPECT_LT(std::hypot(m.pixel.x - truth.x, m.pixel.y - truth.y), maxErrorPx)
                << click.x << "," << click.y;
        }
    }
    return matched;
}

} // namespace

TEST(MatcherOnLevelGround, NearGroundForeshortenedBetweenTheEyesIsMatchedToATenthOfAPixel) {
    const GroundScene& scene = Scene();
    const GreyImage left = scene.Render8(scene.left);
    const GreyImage right = scene.Render8(scene.right);
    const StereoMatcher matcher(left, right, scene.left, scene.right);
    for (const ImagePoint& click : kNearGround) {
        const ImagePoint truth = scene.RightOf(click);
        const MatchResult m = matcher.Match(Eye::Left, click);
        ASSERT_TRUE(m.ok) << click.x << "," << click.y << ": " << m.reason;
        EXPECT_LT(std::hypot(m.pixel.x - truth.x, m.pixel.y - truth.y), 0.1)
            << click.x << "," << click.y;
        EXPECT_GT(m.sigmaPx, 0.0);
        EXPECT_LT(m.sigmaPx, 0.3);
        const MatchResult back = matcher.Match(Eye::Right, truth);
        ASSERT_TRUE(back.ok) << back.reason;
        EXPECT_LT(std::hypot(back.pixel.x - click.x, back.pixel.y - click.y), 0.1);
    }
}

TEST(MatcherOnLevelGround, AnEyeThatKeptItsColourFilterPatternIsMatchedThroughIt) {
    const GroundScene& scene = Scene();
    const GreyImage left = scene.Render8(scene.left);
    const GreyImage right = scene.Render8(scene.right, 12);
    // The pattern dominates the fine structure of the one eye only.
    EXPECT_LT(FilterPatternShare(left), 0.01);
    EXPECT_GT(FilterPatternShare(right), 0.5);
    EXPECT_GE(MatchedNearGround(scene, StereoMatcher(left, right, scene.left, scene.right), 0.2),
              5);
}

TEST(MatcherOnLevelGround, AnEyeStretchedOtherwiseIsMatchedWhereItsPeakIsTrue) {
    const GroundScene& scene = Scene();
    const GreyImage left = scene.Render8(scene.left);
    const GreyImage right = scene.Render8(scene.right, 0, 3.0);
    EXPECT_GE(MatchedNearGround(scene, StereoMatcher(left, right, scene.left, scene.right), 0.3),
              5);
}

TEST(FilterPatternShare, IsNothingOnAFlatImageAndAllOnAPureCheckerboard) {
    std::vector<uint8_t> flat(64 * 64, 90);
    EXPECT_EQ(FilterPatternShare(GreyImage::FromGrey8(flat.data(), 64, 64)), 0.0);
    std::vector<uint8_t> board(64 * 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            board[static_cast<size_t>(y) * 64 + x] = (x + y) % 2 == 0 ? 200 : 50;
        }
    }
    EXPECT_NEAR(FilterPatternShare(GreyImage::FromGrey8(board.data(), 64, 64)), 1.0, 1e-9);
    EXPECT_EQ(FilterPatternShare(GreyImage{}), 0.0);
    // Noise has fine structure of every phase: none of it is a pattern.
    std::vector<uint8_t> noise(256 * 256);
    uint32_t state = 12345;
    for (uint8_t& v : noise) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(state >> 24);
    }
    EXPECT_LT(FilterPatternShare(GreyImage::FromGrey8(noise.data(), 256, 256)), 0.01);
}
