#include "base/ImageLimits.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<int> g_limitMiB{0};
} // namespace

int ImageLimitMiB() {
    if (const char* env = std::getenv("RANVISTA_IMAGE_LIMIT_MB")) {
        char* end = nullptr;
        const long v = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && v > 0 && v <= 1 << 20) {
            return static_cast<int>(v);
        }
    }
    const int set = g_limitMiB.load();
    return set > 0 ? set : kDefaultImageLimitMiB;
}

void SetImageLimitMiB(int mebibytes) {
    g_limitMiB.store(mebibytes > 0 ? mebibytes : 0);
}

std::optional<std::string> ImageTooLarge(std::int64_t width, std::int64_t height,
                                         int bytesPerPixel) {
    const std::int64_t limit = static_cast<std::int64_t>(ImageLimitMiB()) << 20;
    // Dimensions beyond 2^31 are too large whatever the limit; the product
    // below then cannot overflow.
    const bool huge = width > (1ll << 31) || height > (1ll << 31);
    if (!huge && width * height <= limit / (bytesPerPixel > 0 ? bytesPerPixel : 1)) {
        return std::nullopt;
    }
    return "too large: " + std::to_string(width) + "\u00D7" + std::to_string(height) +
           " pixels (the limit for one image is " + std::to_string(ImageLimitMiB()) +
           " MB; RANVISTA_IMAGE_LIMIT_MB sets it)";
}
