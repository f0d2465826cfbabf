#include "stereo/StereoImage.h"

#include <algorithm>
#include <cmath>

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

std::vector<uint8_t> StretchTo8Bit(const GreyImage& image) {
    std::vector<uint8_t> out(image.samples.size(), 0);
    std::vector<float> sample;
    sample.reserve(image.samples.size() / 7 + 1);
    for (size_t k = 0; k < image.samples.size(); k += 7) {
        if (!std::isnan(image.samples[k])) {
            sample.push_back(image.samples[k]);
        }
    }
    if (sample.empty()) {
        return out;
    }
    const auto pick = [&](double q) {
        auto it = sample.begin() + static_cast<ptrdiff_t>(q * (sample.size() - 1));
        std::nth_element(sample.begin(), it, sample.end());
        return *it;
    };
    const float lo = pick(0.005);
    const float hi = std::max(pick(0.995), lo + image.quantum);
    const float scale = 255.0f / (hi - lo);
    for (size_t k = 0; k < out.size(); ++k) {
        const float s = image.samples[k];
        if (!std::isnan(s)) {
            out[k] = static_cast<uint8_t>(std::clamp((s - lo) * scale + 0.5f, 0.0f, 255.0f));
        }
    }
    return out;
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
