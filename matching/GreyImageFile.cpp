#include "matching/GreyImageFile.h"

#include "base/ImageLimits.h"
#include "matching/BayerMosaic.h"
#include "products/ProductReader.h"

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {
// PDS3 and VICAR products hold their pixels themselves; three bands are
// reduced to their mean.
std::optional<ImageFileResult> ReadProductPixels(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return std::nullopt;
    }
    char head[14] = {};
    const std::size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    static constexpr unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (n >= 8 && std::equal(head, head + 8, kPng, [](char a, unsigned char b) {
            return static_cast<unsigned char>(a) == b;
        })) {
        return std::nullopt;
    }
    ProductReadResult product = ReadProduct(path);
    const std::string_view start(head, n);
    const bool labelled = start.starts_with("PDS_VERSION_ID") || start.starts_with("pds_vers") ||
                          start.starts_with("LBLSIZE=");
    if (!product.ok && labelled) {
        // A PDS3 or VICAR product whose pixels cannot be read: say why.
        ImageFileResult res;
        res.error = product.message;
        return res;
    }
    if (!product.ok || !product.product.pixels) {
        return std::nullopt; // not a product with pixels: reported as an image
    }
    const PixelBuffer& px = *product.product.pixels;
    ImageFileResult res;
    std::vector<uint16_t> grey(static_cast<size_t>(px.width) * px.height);
    for (int y = 0; y < px.height; ++y) {
        for (int x = 0; x < px.width; ++x) {
            unsigned sum = 0;
            for (int c = 0; c < px.channels; ++c) {
                sum += px.At(x, y, c);
            }
            grey[static_cast<size_t>(y) * px.width + x] =
                static_cast<uint16_t>(sum / static_cast<unsigned>(std::max(1, px.channels)));
        }
    }
    res.image = GreyImage::FromGrey16(grey.data(), px.width, px.height, 0, px.significantBits);
    res.bitDepth = px.significantBits;
    res.ok = !res.image.Empty();
    if (!res.ok) {
        res.error = path + ": empty image";
    }
    return res;
}
} // namespace

namespace {
ImageFileResult ReadSamples(const std::string& path) {
    if (std::optional<ImageFileResult> product = ReadProductPixels(path)) {
        return *product;
    }
    ImageFileResult res;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        res.error = "Unable to open " + path;
        return res;
    }
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        res.error = path + ": not a readable PNG image (" + png.message + ")";
        png_image_free(&png);
        return res;
    }
    // Sixteen bits stay sixteen (linear), eight stay eight: the matcher only
    // needs grey values in proportion.
    const bool wide = (png.format & PNG_FORMAT_FLAG_LINEAR) != 0;
    png.format = wide ? PNG_FORMAT_LINEAR_Y : PNG_FORMAT_GRAY;
    // Refuse sizes no camera makes before allocating for them: the one
    // image limit, at the four bytes a grey sample takes here.
    constexpr png_uint_32 kMaxSide = 1u << 16;
    const auto tooLarge = ImageTooLarge(png.width, png.height, 4);
    if (png.width > kMaxSide || png.height > kMaxSide || tooLarge) {
        res.error = path + ": image " +
                    (tooLarge ? *tooLarge
                              : "too large (" + std::to_string(png.width) + " x " +
                                    std::to_string(png.height) + ")");
        png_image_free(&png);
        return res;
    }
    const int width = static_cast<int>(png.width);
    const int height = static_cast<int>(png.height);
    if (wide) {
        std::vector<uint16_t> buffer(static_cast<size_t>(width) * height);
        if (png_image_finish_read(&png, nullptr, buffer.data(), 0, nullptr) == 0) {
            res.error = path + ": " + png.message;
            png_image_free(&png);
            return res;
        }
        res.image = GreyImage::FromGrey16(buffer.data(), width, height);
        res.bitDepth = 16;
    } else {
        std::vector<uint8_t> buffer(static_cast<size_t>(width) * height);
        if (png_image_finish_read(&png, nullptr, buffer.data(), 0, nullptr) == 0) {
            res.error = path + ": " + png.message;
            png_image_free(&png);
            return res;
        }
        res.image = GreyImage::FromGrey8(buffer.data(), width, height);
        res.bitDepth = 8;
    }
    res.ok = !res.image.Empty();
    if (!res.ok) {
        res.error = path + ": empty image";
    }
    return res;
}
} // namespace

ImageFileResult ReadGreyImage(const std::string& path) {
    ImageFileResult res = ReadSamples(path);
    if (res.ok && LooksLikeBayerMosaic(res.image)) {
        RemoveBayerMosaic(res.image);
        res.mosaic = true;
    }
    return res;
}
