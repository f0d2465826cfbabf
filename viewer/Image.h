// One decoded image file of the stereo view: decoding through Qt's image
// readers (and OpenJPEG for JPEG 2000), its size, and drawing it stretched
// into the view's paint buffer. Decoding never throws: a file that cannot be
// read shows only through IsValid() and GetLastError().
#pragma once

#include "viewer/ViewGeometry.h"

#include <QImage>

#include <cstdint>
#include <string>
#include <string_view>

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

    bool IsValid() const { return !m_image.isNull(); }
    // Why decoding failed; empty when it did not.
    const char* GetLastError() const { return m_sLastError.c_str(); }
    std::uint32_t GetWidth() const { return static_cast<std::uint32_t>(m_image.width()); }
    std::uint32_t GetHeight() const { return static_cast<std::uint32_t>(m_image.height()); }

    // Paints the whole image stretched to fill dest exactly, touching no pixel
    // outside clip (when given) or outside target. Only the visible part of the
    // image is read, so a destination far larger than the clip costs no more
    // than one the size of the clip. Without smoothing each target pixel takes
    // the image pixel under its top-left corner. Returns 1 when something was
    // drawn.
    int Draw(QImage& target, const ViewRect& dest, const ViewRect* clip, bool smooth = false,
             bool flip = false) const;

    // Releases the decoded pixels.
    bool Destroy();

    // The decoded pixels as shown (32-bit RGB).
    const QImage& Pixels() const { return m_image; }
    // The decoded samples for measuring: 16-bit grey as decoded, otherwise
    // the pixels as shown.
    const QImage& Samples() const { return m_deepGrey.isNull() ? m_image : m_deepGrey; }

private:
    QImage m_image;
    QImage m_deepGrey; // 16-bit grey as decoded, kept beside its display form
    std::string m_sLastError;
};

// A 16-bit grey image mapped to 8-bit display values: the 0.5 % and 99.5 %
// points of its histogram become black and white.
QImage StretchGrey16(const QImage& grey16);
