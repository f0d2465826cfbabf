#include "matching/BayerMosaic.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <vector>

namespace {

// Blocks of the pattern measure are taken this far apart (even, so that each
// starts on the same phase of a two-pixel pattern).
constexpr int kPatternStride = 6;
// A camera's own picture, however noisy or compressed, measures a few
// thousandths; an eye that kept its colour filter array's pattern, nearly one.
constexpr double kLeastPatternShare = 0.1;

template <typename T>
double PatternShare(const T* samples, int width, int height, std::size_t stride) {
    if (stride == 0) {
        stride = static_cast<std::size_t>(width);
    }
    // Over 4 x 4 blocks at even positions, the third differences across
    // columns, across rows and both ([1 -3 3 -1] / 8: blind to any quadratic
    // shading, one for a pattern alternating every pixel). Texture and noise
    // give them either sign and their means vanish; a pattern fixed to the
    // pixel grid gives them the same sign everywhere.
    constexpr double k[4] = {1.0 / 8, -3.0 / 8, 3.0 / 8, -1.0 / 8};
    std::array<double, 3> mean{};
    double energy = 0.0;
    long blocks = 0;
    for (int y = 0; y + 3 < height; y += kPatternStride) {
        for (int x = 0; x + 3 < width; x += kPatternStride) {
            std::array<double, 3> a{};
            for (int j = 0; j < 4; ++j) {
                const T* row = samples + static_cast<std::size_t>(y + j) * stride + x;
                for (int i = 0; i < 4; ++i) {
                    const auto v = static_cast<double>(row[i]);
                    a[0] += 0.25 * k[i] * v;
                    a[1] += 0.25 * k[j] * v;
                    a[2] += k[i] * k[j] * v;
                }
            }
            for (std::size_t c = 0; c < 3; ++c) {
                mean[c] += a[c];
                energy += a[c] * a[c];
            }
            ++blocks;
        }
    }
    if (blocks == 0 || !(energy > 0.0)) {
        return 0.0;
    }
    double coherent = 0.0;
    for (const double m : mean) {
        coherent += (m / blocks) * (m / blocks);
    }
    return std::min(1.0, coherent / (energy / blocks));
}

// Index of a neighbour across the border, mirrored about the edge sample
// (-1 -> 1), so that it has the parity, and so the colour, of the one it
// stands for.
int Mirror(int i, int n) {
    return i < 0 ? -i : i >= n ? 2 * (n - 1) - i : i;
}

template <typename T> void Binomial(T* samples, int width, int height, std::size_t stride) {
    if (width < 3 || height < 3) {
        return;
    }
    if (stride == 0) {
        stride = static_cast<std::size_t>(width);
    }
    using Sum = std::conditional_t<std::is_floating_point_v<T>, double, std::uint32_t>;
    const auto w = static_cast<std::size_t>(width);
    // Rows filtered across ([1 2 1]), three at a time: the one above, this
    // one, the one below, each made before its source row is overwritten.
    std::array<std::vector<Sum>, 3> across;
    for (auto& r : across) {
        r.resize(w);
    }
    const auto filterAcross = [&](int y, std::vector<Sum>& out) {
        const T* row = samples + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            out[static_cast<std::size_t>(x)] = static_cast<Sum>(row[Mirror(x - 1, width)]) +
                                               2 * static_cast<Sum>(row[x]) +
                                               static_cast<Sum>(row[Mirror(x + 1, width)]);
        }
    };
    filterAcross(1, across[0]); // row -1, mirrored
    filterAcross(0, across[1]);
    for (int y = 0; y < height; ++y) {
        if (y + 1 < height) {
            filterAcross(y + 1, across[2]);
        } else {
            across[2] = across[0]; // row height, mirrored: row height - 2, overwritten by now
        }
        T* out = samples + static_cast<std::size_t>(y) * stride;
        for (std::size_t x = 0; x < w; ++x) {
            const Sum s = across[0][x] + 2 * across[1][x] + across[2][x];
            if constexpr (std::is_floating_point_v<T>) {
                out[x] = static_cast<T>(s / 16);
            } else {
                out[x] = static_cast<T>((s + 8) / 16);
            }
        }
        std::swap(across[0], across[1]);
        std::swap(across[1], across[2]);
    }
}

} // namespace

double FilterPatternShare(const GreyImage& image) {
    return image.Empty() ? 0.0 : PatternShare(image.samples.data(), image.width, image.height, 0);
}

double FilterPatternShare(const std::uint8_t* samples, int width, int height, std::size_t stride) {
    return PatternShare(samples, width, height, stride);
}

double FilterPatternShare(const std::uint16_t* samples, int width, int height, std::size_t stride) {
    return PatternShare(samples, width, height, stride);
}

bool LooksLikeBayerMosaic(const GreyImage& image) {
    return FilterPatternShare(image) > kLeastPatternShare;
}

bool LooksLikeBayerMosaic(const std::uint8_t* samples, int width, int height, std::size_t stride) {
    return FilterPatternShare(samples, width, height, stride) > kLeastPatternShare;
}

bool LooksLikeBayerMosaic(const std::uint16_t* samples, int width, int height, std::size_t stride) {
    return FilterPatternShare(samples, width, height, stride) > kLeastPatternShare;
}

void RemoveBayerMosaic(GreyImage& image) {
    if (!image.Empty()) {
        Binomial(image.samples.data(), image.width, image.height, 0);
        image.smoothed = true;
    }
}

void RemoveBayerMosaic(std::uint8_t* samples, int width, int height, std::size_t stride) {
    Binomial(samples, width, height, stride);
}

void RemoveBayerMosaic(std::uint16_t* samples, int width, int height, std::size_t stride) {
    Binomial(samples, width, height, stride);
}

bool MatchAlike(const GreyImage& left, const GreyImage& right) {
    return left.smoothed != right.smoothed ||
           (!left.smoothed && (LooksLikeBayerMosaic(left) || LooksLikeBayerMosaic(right)));
}

void MakeAlike(GreyImage& left, GreyImage& right) {
    if (!MatchAlike(left, right)) {
        return;
    }
    for (GreyImage* eye : {&left, &right}) {
        if (!eye->smoothed) {
            RemoveBayerMosaic(*eye);
        }
    }
}
