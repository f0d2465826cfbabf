#include "cli/ImageFile.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

ImageFileResult ReadGreyImage(const std::string& path) {
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
    // Refuse sizes no camera makes before allocating for them.
    constexpr png_uint_32 kMaxSide = 1u << 16;
    if (png.width > kMaxSide || png.height > kMaxSide ||
        static_cast<uint64_t>(png.width) * png.height > (uint64_t{1} << 28)) {
        res.error = path + ": image too large (" + std::to_string(png.width) + " x " +
                    std::to_string(png.height) + ")";
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
