// One decoded image file of the stereo view: decoding through Qt's image
// readers (and OpenJPEG for JPEG 2000), its size, and drawing it stretched
// into the view's paint buffer. Decoding never throws: a file that cannot be
// read shows only through IsValid() and GetLastError().
//
// Beside the shown pixels the image keeps a pyramid of reduced copies (half,
// quarter, ... resolution), made once when it is decoded, so that a view that
// shows the whole of a large image reads no more pixels than it paints and
// shows their mean rather than every n-th one. An image may be decoded on any
// thread; drawing reads it only.
#pragma once

#include "products/ProductCamera.h"
#include "viewer/ViewGeometry.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CImage {
public:
    enum TypeId : unsigned {
        kTypeUnknown = 0,
        kTypeBmp,
        kTypeGif,
        kTypeJpg,
        kTypeJp2,
        kTypePng,
        kTypeTif,
        kTypePnm,
        kTypeTga,
        kTypeWebp,
    };

    // The type of a file extension without its dot ("jpg", "tif", ...).
    static unsigned GetTypeIdFromName(std::string_view extension);

    // Decodes the file. The type id is a hint; the file's content decides.
    CImage(const std::string& path, unsigned typeId);
    // An image already decoded elsewhere.
    explicit CImage(const QImage& decoded);
    // An invalid image that failed for the reason given.
    static std::unique_ptr<CImage> Unreadable(std::string why);

    bool IsValid() const { return !m_image.isNull(); }
    // The file held a raw colour mosaic, shown (and matched) as its luminance.
    bool WasMosaic() const { return m_bMosaic; }
    // Why decoding failed; empty when it did not.
    const char* GetLastError() const { return m_sLastError.c_str(); }
    std::uint32_t GetWidth() const { return static_cast<std::uint32_t>(m_image.width()); }
    std::uint32_t GetHeight() const { return static_cast<std::uint32_t>(m_image.height()); }
    ImageSize Size() const { return {m_image.width(), m_image.height()}; }

    // Paints the whole image stretched to fill dest exactly, touching no pixel
    // outside clip (when given) or outside target. Only the visible part of the
    // image is read, so a destination far larger than the clip costs no more
    // than one the size of the clip. Without smoothing each target pixel takes
    // the image pixel under its top-left corner. Returns 1 when something was
    // drawn.
    // A destination smaller than the image in both directions is drawn from
    // the pyramid level LevelFor() chooses; a target pixel then takes the
    // mean of the block holding the image pixel under its top-left corner.
    // At one screen pixel per image pixel or more the result is exactly that
    // of drawing the full image.
    int Draw(QImage& target, const ViewRect& dest, const ViewRect* clip, bool smooth = false,
             bool flip = false) const;

    // Releases the decoded pixels.
    bool Destroy();

    // The decoded pixels as shown (32-bit RGB).
    const QImage& Pixels() const { return m_image; }
    // The pyramid: level 0 is Pixels(); level k is ceil(width / 2^k) by
    // ceil(height / 2^k) pixels, each the rounded mean of the 2 x 2 pixels of
    // level k - 1 it covers (an edge pixel of an odd side counts twice). The
    // last level is one pixel wide or high. None for an invalid image.
    int LevelCount() const { return static_cast<int>(m_levels.size()); }
    const QImage& Level(int k) const { return m_levels[static_cast<std::size_t>(k)]; }
    // The coarsest level that still has at least one pixel for each pixel of
    // a destination destWidth x destHeight: 0 unless the destination is
    // smaller than the image in both directions.
    int LevelFor(long long destWidth, long long destHeight) const;
    // The decoded samples for measuring: 16-bit grey as decoded, otherwise
    // the pixels as shown.
    const QImage& Samples() const { return m_deepGrey.isNull() ? m_image : m_deepGrey; }

private:
    CImage() = default;
    void BuildLevels();

    QImage m_image;
    QImage m_deepGrey;            // 16-bit grey as decoded, kept beside its display form
    bool m_bMosaic = false;       // decoded from a raw colour mosaic, shown as its luminance
    std::vector<QImage> m_levels; // [0] shares m_image's pixels
    std::string m_sLastError;
};

// Decodes a file, its type hint taken from the extension (any case).
std::unique_ptr<CImage> LoadImageFile(const std::string& path);

// An RGB32 image at half size (sides rounded up): each pixel the rounded
// mean of the 2 x 2 block it covers, an odd side's last row or column
// counting twice.
QImage HalveImage(const QImage& rgb32);

// A 16-bit grey image mapped to 8-bit display values: the 0.5 % and 99.5 %
// points of its histogram become black and white.
QImage StretchGrey16(const QImage& grey16);
