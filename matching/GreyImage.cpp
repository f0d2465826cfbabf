#include "matching/GreyImage.h"

#include <algorithm>
#include <bit>

namespace {

template <typename T>
GreyImage Convert(const T* data, int width, int height, size_t stride, float scale) {
    GreyImage image;
    if (data == nullptr || width < 1 || height < 1) {
        return image;
    }
    if (stride == 0) {
        stride = static_cast<size_t>(width);
    }
    image.width = width;
    image.height = height;
    image.samples.resize(static_cast<size_t>(width) * height);
    image.quantum = scale;
    float* out = image.samples.data();
    for (int y = 0; y < height; ++y) {
        const T* row = data + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            *out++ = static_cast<float>(row[x]) * scale;
        }
    }
    return image;
}

} // namespace

GreyImage GreyImage::FromGrey8(const uint8_t* data, int width, int height, size_t stride) {
    return Convert(data, width, height, stride, 1.0f / 255.0f);
}

GreyImage GreyImage::FromGrey16(const uint16_t* data, int width, int height, size_t stride,
                                int significantBits) {
    if (data == nullptr || width < 1 || height < 1) {
        return {};
    }
    const size_t rowStride = stride == 0 ? static_cast<size_t>(width) : stride;
    if (significantBits < 1 || significantBits > 16) {
        uint16_t largest = 0;
        for (int y = 0; y < height; ++y) {
            const uint16_t* row = data + static_cast<size_t>(y) * rowStride;
            largest = std::max(largest, *std::max_element(row, row + width));
        }
        significantBits = std::max(8, static_cast<int>(std::bit_width(largest)));
    }
    const float full = static_cast<float>((1u << significantBits) - 1u);
    return Convert(data, width, height, rowStride, 1.0f / full);
}
