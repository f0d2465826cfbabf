#include "matching/BayerMosaic.h"
#include "matching/GreyImageFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// A smooth colour scene, redder than it is blue as Mars is, with slopes of
// several grey levels per pixel: a shift of half a pixel shows.
std::array<double, 3> Scene(int x, int y) {
    const double u = 2 * M_PI * x / 41.0;
    const double v = 2 * M_PI * y / 37.0;
    return {150 + 60 * std::sin(u + 0.3 * v), 110 + 50 * std::cos(0.7 * u - v),
            70 + 40 * std::sin(0.5 * u + 0.8 * v + 1)};
}

double Luminance(int x, int y) {
    const auto c = Scene(x, y);
    return (c[0] + 2 * c[1] + c[2]) / 4;
}

// The colour each position of the 2x2 cell records: 0 red, 1 green, 2 blue.
using FilterOrder = std::array<int, 4>; // a b / c d
constexpr FilterOrder kRggb{0, 1, 1, 2};
constexpr FilterOrder kBggr{2, 1, 1, 0};
constexpr FilterOrder kGrbg{1, 0, 2, 1};
constexpr FilterOrder kGbrg{1, 2, 0, 1};

std::vector<std::uint8_t> Mosaic(const FilterOrder& order) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int colour = order[static_cast<std::size_t>((y % 2) * 2 + x % 2)];
            out[static_cast<std::size_t>(y) * kWidth + x] = static_cast<std::uint8_t>(
                std::lround(Scene(x, y)[static_cast<std::size_t>(colour)]));
        }
    }
    return out;
}

std::string DataFile(const std::string& name) {
    return std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/" + name;
}

} // namespace

TEST(BayerMosaic, AnyFilterOrderIsRecognisedAndBecomesTheSceneLuminanceUnshifted) {
    for (const FilterOrder& order : {kRggb, kBggr, kGrbg, kGbrg}) {
        std::vector<std::uint8_t> samples = Mosaic(order);
        ASSERT_TRUE(LooksLikeBayerMosaic(samples.data(), kWidth, kHeight)) << order[0];
        RemoveBayerMosaic(samples.data(), kWidth, kHeight);
        EXPECT_LT(FilterPatternShare(samples.data(), kWidth, kHeight), 0.01);
        // The error, and the shift that would explain it best: the binomial
        // blurs a little but moves nothing.
        double squares = 0, alongX = 0, alongY = 0, gxx = 0, gyy = 0;
        int n = 0;
        for (int y = 1; y + 1 < kHeight; ++y) {
            for (int x = 1; x + 1 < kWidth; ++x) {
                const double err =
                    samples[static_cast<std::size_t>(y) * kWidth + x] - Luminance(x, y);
                const double gx = (Luminance(x + 1, y) - Luminance(x - 1, y)) / 2;
                const double gy = (Luminance(x, y + 1) - Luminance(x, y - 1)) / 2;
                squares += err * err;
                alongX += err * gx;
                alongY += err * gy;
                gxx += gx * gx;
                gyy += gy * gy;
                ++n;
            }
        }
        EXPECT_LT(std::sqrt(squares / n), 2.0) << order[0];
        EXPECT_LT(std::abs(alongX / gxx), 0.05) << order[0];
        EXPECT_LT(std::abs(alongY / gyy), 0.05) << order[0];
    }

    // Deep samples and the matcher's grey images take the same path.
    const std::vector<std::uint8_t> bytes = Mosaic(kGrbg);
    std::vector<std::uint16_t> deep(bytes.begin(), bytes.end());
    for (auto& v : deep) {
        v = static_cast<std::uint16_t>(v * 16); // twelve significant bits
    }
    EXPECT_TRUE(LooksLikeBayerMosaic(deep.data(), kWidth, kHeight));
    GreyImage grey = GreyImage::FromGrey8(bytes.data(), kWidth, kHeight);
    ASSERT_TRUE(LooksLikeBayerMosaic(grey));
    RemoveBayerMosaic(grey);
    EXPECT_TRUE(grey.smoothed);
    EXPECT_NEAR(grey.At(80, 60) * 255, Luminance(80, 60), 3.0);
}

TEST(BayerMosaic, TheRealRawFrameIsReadAsItsLuminanceAndPicturesWithoutThePatternAsTheyAre) {
    // The right eye of the sol 60 pair was published as its raw mosaic:
    // the four positions of the cell differ by up to half the mean grey.
    const ImageFileResult raw =
        ReadGreyImage(DataFile("NRE_0060_0672265209_237ECM_N0032046NCAM00410_00_0LLJ.png"));
    ASSERT_TRUE(raw.ok) << raw.error;
    EXPECT_TRUE(raw.mosaic);
    EXPECT_TRUE(raw.image.smoothed);
    EXPECT_LT(FilterPatternShare(raw.image), 0.01);
    std::array<double, 4> phase{};
    for (int y = 400; y < 800; ++y) {
        for (int x = 400; x < 800; ++x) {
            phase[static_cast<std::size_t>((y % 2) * 2 + x % 2)] += raw.image.At(x, y);
        }
    }
    for (const double p : phase) {
        EXPECT_NEAR(p / phase[0], 1.0, 0.01);
    }
    // Demosaiced colour frames and the generated samples hold no pattern.
    for (const std::string& file :
         {DataFile("NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ.png"),
          DataFile("NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png"),
          DataFile("NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png"),
          std::string(RANVISTA_SOURCE_DIR) +
              "/samples/oppy-navcam/1N137057367EFF4000P1916L0M1.png"}) {
        const ImageFileResult r = ReadGreyImage(file);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_FALSE(r.mosaic) << file;
        EXPECT_FALSE(r.image.smoothed) << file;
    }
}

TEST(BayerMosaic, EyesAreMadeAlikeOnceWhenEitherIsOrWasAMosaic) {
    const std::vector<std::uint8_t> plain = [] {
        std::vector<std::uint8_t> v(static_cast<std::size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                v[static_cast<std::size_t>(y) * kWidth + x] =
                    static_cast<std::uint8_t>(std::lround(Luminance(x, y)));
            }
        }
        return v;
    }();
    const GreyImage sharp = GreyImage::FromGrey8(plain.data(), kWidth, kHeight);
    EXPECT_FALSE(MatchAlike(sharp, sharp));

    // One eye read from a mosaic: the other is smoothed to match, once.
    GreyImage left = sharp;
    GreyImage right = sharp;
    RemoveBayerMosaic(right);
    const GreyImage smoothedOnce = right;
    ASSERT_TRUE(MatchAlike(left, right));
    MakeAlike(left, right);
    EXPECT_TRUE(left.smoothed);
    EXPECT_EQ(left.samples, smoothedOnce.samples);
    EXPECT_EQ(right.samples, smoothedOnce.samples);
    EXPECT_FALSE(MatchAlike(left, right));

    // One eye still a mosaic: both through the binomial.
    const std::vector<std::uint8_t> raw = Mosaic(kRggb);
    GreyImage mosaic = GreyImage::FromGrey8(raw.data(), kWidth, kHeight);
    GreyImage other = sharp;
    ASSERT_TRUE(MatchAlike(other, mosaic));
    MakeAlike(other, mosaic);
    EXPECT_TRUE(other.smoothed && mosaic.smoothed);
    EXPECT_LT(FilterPatternShare(mosaic), 0.01);
}
