// The one limit on the memory a decoded image may take, for every image
// format (JPEG 2000 included): an image whose pixels would need more is
// refused after its header is read, before any pixel is decoded, with
// "too large: W×H" in the message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The default allows a 5120×3840 16-bit image with room to spare
// (8192×8192 at four bytes per pixel).
inline constexpr int kDefaultImageLimitMiB = 256;

// The limit in MiB: the value of the RANVISTA_IMAGE_LIMIT_MB environment
// variable when it is a positive number, otherwise what
// SetImageLimitMiB() set, otherwise the default.
int ImageLimitMiB();
// Sets the limit for this process (0 restores the default).
void SetImageLimitMiB(int mebibytes);

// Why an image of width × height pixels at bytesPerPixel (in the decoder's
// own representation) is refused, or nothing when it fits the limit.
std::optional<std::string> ImageTooLarge(std::int64_t width, std::int64_t height,
                                         int bytesPerPixel);
