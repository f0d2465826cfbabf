#include "stereo/StereoImage.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

std::optional<StereoImageMode> ParseStereoImageMode(const std::string& text) {
    if (text == "anaglyph") {
        return StereoImageMode::Anaglyph;
    }
    if (text == "cross") {
        return StereoImageMode::Cross;
    }
    if (text == "parallel") {
        return StereoImageMode::Parallel;
    }
    return std::nullopt;
}

namespace {

// The 0.5 and 99.5 percentiles of the samples of all the planes together,
// as the offset and scale that take them to 0..255; nothing without data.
struct Stretch {
    float lo = 0.0f;
    float scale = 1.0f;
};

std::optional<Stretch> StretchOf(std::initializer_list<const GreyImage*> planes) {
    std::vector<float> sample;
    for (const GreyImage* plane : planes) {
        for (size_t k = 0; k < plane->samples.size(); k += 7) {
            if (!std::isnan(plane->samples[k])) {
                sample.push_back(plane->samples[k]);
            }
        }
    }
    if (sample.empty()) {
        return std::nullopt;
    }
    const auto pick = [&](double q) {
        auto it = sample.begin() + static_cast<ptrdiff_t>(q * (sample.size() - 1));
        std::nth_element(sample.begin(), it, sample.end());
        return *it;
    };
    const float lo = pick(0.005);
    const float hi = std::max(pick(0.995), lo + (*planes.begin())->quantum);
    return Stretch{lo, 255.0f / (hi - lo)};
}

std::vector<uint8_t> Apply(const GreyImage& image, const std::optional<Stretch>& stretch) {
    std::vector<uint8_t> out(image.samples.size(), 0);
    if (!stretch) {
        return out;
    }
    for (size_t k = 0; k < out.size(); ++k) {
        const float s = image.samples[k];
        if (!std::isnan(s)) {
            out[k] = static_cast<uint8_t>(
                std::clamp((s - stretch->lo) * stretch->scale + 0.5f, 0.0f, 255.0f));
        }
    }
    return out;
}

bool SameSize(const GreyImage& a, const GreyImage& b) {
    return a.width == b.width && a.height == b.height;
}

} // namespace

std::vector<uint8_t> StretchTo8Bit(const GreyImage& image) {
    return Apply(image, StretchOf({&image}));
}

RgbImage MakeStereoImage(const GreyImage& rectifiedLeft, const GreyImage& rectifiedRight,
                         StereoImageMode mode, int gap) {
    RgbImage img;
    if (rectifiedLeft.Empty() || rectifiedLeft.width != rectifiedRight.width ||
        rectifiedLeft.height != rectifiedRight.height) {
        return img;
    }
    const int w = rectifiedLeft.width, h = rectifiedLeft.height;
    const std::vector<uint8_t> l = StretchTo8Bit(rectifiedLeft);
    const std::vector<uint8_t> r = StretchTo8Bit(rectifiedRight);
    if (mode == StereoImageMode::Anaglyph) {
        img.width = w;
        img.height = h;
        img.rgb.resize(static_cast<size_t>(w) * h * 3);
        for (size_t k = 0; k < l.size(); ++k) {
            img.rgb[3 * k] = l[k];
            img.rgb[3 * k + 1] = r[k];
            img.rgb[3 * k + 2] = r[k];
        }
        return img;
    }
    gap = std::max(0, gap);
    img.width = 2 * w + gap;
    img.height = h;
    img.rgb.assign(static_cast<size_t>(img.width) * h * 3, 0);
    const std::vector<uint8_t>& first = mode == StereoImageMode::Cross ? r : l;
    const std::vector<uint8_t>& second = mode == StereoImageMode::Cross ? l : r;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img.rgb.data() + static_cast<size_t>(y) * img.width * 3;
        for (int x = 0; x < w; ++x) {
            const size_t k = static_cast<size_t>(y) * w + x;
            std::fill_n(row + 3 * x, 3, first[k]);
            std::fill_n(row + 3 * (x + w + gap), 3, second[k]);
        }
    }
    return img;
}

bool ColourPlanes::IsGrey() const {
    const auto same = [](const GreyImage& a, const GreyImage& b) {
        return SameSize(a, b) && std::equal(a.samples.begin(), a.samples.end(), b.samples.begin(),
                                            [](float x, float y) {
                                                return x == y || (std::isnan(x) && std::isnan(y));
                                            });
    };
    return same(red, green) && same(red, blue);
}

RgbImage MakeColourAnaglyph(const ColourPlanes& rectifiedLeft, const ColourPlanes& rectifiedRight) {
    if (rectifiedLeft.IsGrey() && rectifiedRight.IsGrey()) {
        return MakeStereoImage(rectifiedLeft.red, rectifiedRight.red, StereoImageMode::Anaglyph);
    }
    RgbImage img;
    const GreyImage& first = rectifiedLeft.red;
    for (const ColourPlanes* planes : {&rectifiedLeft, &rectifiedRight}) {
        for (const GreyImage* plane : {&planes->red, &planes->green, &planes->blue}) {
            if (first.Empty() || !SameSize(*plane, first)) {
                return img;
            }
        }
    }
    const auto leftStretch =
        StretchOf({&rectifiedLeft.red, &rectifiedLeft.green, &rectifiedLeft.blue});
    const auto rightStretch =
        StretchOf({&rectifiedRight.red, &rectifiedRight.green, &rectifiedRight.blue});
    const std::vector<uint8_t> r = Apply(rectifiedLeft.red, leftStretch);
    const std::vector<uint8_t> g = Apply(rectifiedRight.green, rightStretch);
    const std::vector<uint8_t> b = Apply(rectifiedRight.blue, rightStretch);
    img.width = first.width;
    img.height = first.height;
    img.rgb.resize(r.size() * 3);
    for (size_t k = 0; k < r.size(); ++k) {
        img.rgb[3 * k] = r[k];
        img.rgb[3 * k + 1] = g[k];
        img.rgb[3 * k + 2] = b[k];
    }
    return img;
}
