#include "viewer/Image.h"

#include "base/Paths.h"
#include "matching/BayerMosaic.h"
#include "products/ProductReader.h"

#include "viewer/ImageLimits.h"
#include "viewer/Jpeg2000.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
struct ExtensionType {
    const char* ext;
    unsigned type;
};

constexpr std::array kExtensionTypes{
    ExtensionType{"bmp", CImage::kTypeBmp},  ExtensionType{"gif", CImage::kTypeGif},
    ExtensionType{"jpg", CImage::kTypeJpg},  ExtensionType{"jpeg", CImage::kTypeJpg},
    ExtensionType{"jpe", CImage::kTypeJpg},  ExtensionType{"exif", CImage::kTypeJpg},
    ExtensionType{"exf", CImage::kTypeJpg},  ExtensionType{"jp2", CImage::kTypeJp2},
    ExtensionType{"j2k", CImage::kTypeJp2},  ExtensionType{"j2c", CImage::kTypeJp2},
    ExtensionType{"png", CImage::kTypePng},  ExtensionType{"tif", CImage::kTypeTif},
    ExtensionType{"tiff", CImage::kTypeTif}, ExtensionType{"pgm", CImage::kTypePnm},
    ExtensionType{"ppm", CImage::kTypePnm},  ExtensionType{"pbm", CImage::kTypePnm},
    ExtensionType{"tga", CImage::kTypeTga},  ExtensionType{"webp", CImage::kTypeWebp},
};

// The rounded mean of four RGB32 pixels, two channels at a time: each
// channel's sum (at most 4 x 255 + 2) stays within its 16-bit field.
inline QRgb Mean4(QRgb a, QRgb b, QRgb c, QRgb d) {
    constexpr std::uint32_t kMask = 0x00ff00ffu;
    constexpr std::uint32_t kHalf = 0x00020002u;
    const std::uint32_t rb = (a & kMask) + (b & kMask) + (c & kMask) + (d & kMask) + kHalf;
    const std::uint32_t ag =
        ((a >> 8) & kMask) + ((b >> 8) & kMask) + ((c >> 8) & kMask) + ((d >> 8) & kMask) + kHalf;
    return ((rb >> 2) & kMask) | (((ag >> 2) & kMask) << 8);
}

// A raw colour mosaic (grey samples with the colour filter's 2x2 pattern)
// becomes its luminance, as the matcher on the command line reads it; any
// other image stays as decoded. removed says which.
QImage WithoutMosaic(const QImage& decoded, bool& removed) {
    removed = false;
    const bool deep = decoded.format() == QImage::Format_Grayscale16;
    if (!deep && decoded.format() != QImage::Format_Grayscale8 && !decoded.allGray()) {
        return decoded; // colour: demosaicked already
    }
    QImage grey = deep ? decoded.copy() : decoded.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull()) {
        return decoded;
    }
    const int w = grey.width();
    const int h = grey.height();
    const auto line = static_cast<std::size_t>(grey.bytesPerLine());
    if (deep) {
        auto* samples = reinterpret_cast<std::uint16_t*>(grey.bits());
        if (!LooksLikeBayerMosaic(samples, w, h, line / 2)) {
            return decoded;
        }
        RemoveBayerMosaic(samples, w, h, line / 2);
    } else {
        if (!LooksLikeBayerMosaic(grey.constBits(), w, h, line)) {
            return decoded;
        }
        RemoveBayerMosaic(grey.bits(), w, h, line);
    }
    removed = true;
    return grey;
}

// The pixels as the view shows them: 32-bit RGB, deep grey stretched.
QImage ForDisplay(const QImage& decoded) {
    if (decoded.format() == QImage::Format_Grayscale16) {
        return StretchGrey16(decoded);
    }
    return decoded.convertToFormat(QImage::Format_RGB32);
}

// A rover product's label: PDS3 (attached or detached), VICAR or PDS4.
bool LooksLikeProductLabel(const QByteArray& head, const std::string& path) {
    const QByteArray h = head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head;
    const QString ext = QFileInfo(QString::fromStdString(path)).suffix().toLower();
    return StartsWithOdlLabel(
               std::string_view(h.constData(), static_cast<std::size_t>(h.size()))) ||
           h.startsWith("LBLSIZE=") || h.trimmed().startsWith("<?xml") ||
           (ext == "lbl" && !h.trimmed().startsWith("<"));
}

// The pixels a product's label describes: grey of more than 8 bits as
// 16-bit grey (stretched for display), three bands as RGB.
QImage DecodeProduct(const std::string& path, std::string& error) {
    const ProductReadResult r = ReadProduct(path);
    if (!r.ok) {
        error = "Unable to read image " + path + ": " + r.message;
        return {};
    }
    if (!r.product.pixels) {
        error = "Unable to read image " + path + ": the product holds no pixels Ranvista reads";
        return {};
    }
    const PixelBuffer& px = *r.product.pixels;
    if (const auto tooLarge = ImageTooLarge(px.width, px.height, 4)) {
        error = "Unable to read image " + path + ": " + *tooLarge;
        return {};
    }
    if (px.channels == 3) {
        QImage img(px.width, px.height, QImage::Format_RGB32);
        const int shift = std::max(0, px.significantBits - 8);
        for (int y = 0; y < px.height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < px.width; ++x) {
                row[x] = qRgb(std::min(255, px.At(x, y, 0) >> shift),
                              std::min(255, px.At(x, y, 1) >> shift),
                              std::min(255, px.At(x, y, 2) >> shift));
            }
        }
        return img;
    }
    if (px.significantBits <= 8) {
        QImage img(px.width, px.height, QImage::Format_Grayscale8);
        for (int y = 0; y < px.height; ++y) {
            uchar* row = img.scanLine(y);
            for (int x = 0; x < px.width; ++x) {
                row[x] = static_cast<uchar>(std::min<int>(255, px.At(x, y)));
            }
        }
        return img;
    }
    QImage img(px.width, px.height, QImage::Format_Grayscale16);
    for (int y = 0; y < px.height; ++y) {
        auto* row = reinterpret_cast<quint16*>(img.scanLine(y));
        for (int x = 0; x < px.width; ++x) {
            row[x] = px.At(x, y);
        }
    }
    return img;
}

// The type id is only a hint: the content of the file decides its format.
QImage Decode(const std::string& path, std::string& error) {
    const QString qpath = QString::fromStdString(path);
    QFile file(qpath);
    if (path.empty() || !file.open(QIODevice::ReadOnly)) {
        error = "Unable to open " + path;
        return {};
    }
    const QByteArray head = file.peek(32);
    file.close();
    if (LooksLikeJpeg2000(head)) {
        return DecodeJpeg2000(path, error);
    }
    if (LooksLikeProductLabel(head, path)) {
        return DecodeProduct(path, error);
    }
    // JPEG data named .exif or .exf reads as JPEG.
    QImageReader reader(qpath);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    // The same limit as for JPEG 2000: judged from the header where the
    // format tells the size, and enforced by the reader otherwise (the shown
    // copy takes four bytes per pixel).
    reader.setAllocationLimit(ImageLimitMiB());
    const QSize size = reader.size();
    if (size.isValid()) {
        if (const auto tooLarge = ImageTooLarge(size.width(), size.height(), 4)) {
            error = "Unable to read image " + path + ": " + *tooLarge;
            return {};
        }
    }
    QImage img = reader.read();
    if (img.isNull()) {
        error = "Unable to read image " + path + ": " + reader.errorString().toStdString();
    }
    return img;
}
} // namespace

unsigned CImage::GetTypeIdFromName(std::string_view extension) {
    for (const auto& e : kExtensionTypes) {
        if (extension == e.ext) {
            return e.type;
        }
    }
    return kTypeUnknown;
}

CImage::CImage(const std::string& path, [[maybe_unused]] unsigned typeId) {
    const QImage decoded = WithoutMosaic(Decode(path, m_sLastError), m_bMosaic);
    if (decoded.isNull()) {
        if (m_sLastError.empty()) {
            m_sLastError = "Unable to read image " + path;
        }
        return;
    }
    m_image = ForDisplay(decoded);
    if (m_image.isNull()) {
        m_sLastError = "Not enough memory for image " + path;
        return;
    }
    if (decoded.format() == QImage::Format_Grayscale16) {
        m_deepGrey = decoded;
    }
    BuildLevels();
}

CImage::CImage(const QImage& decoded) : m_image(ForDisplay(decoded)) {
    if (m_image.isNull()) {
        m_sLastError = "Empty image";
        return;
    }
    if (decoded.format() == QImage::Format_Grayscale16) {
        m_deepGrey = decoded;
    }
    BuildLevels();
}

std::unique_ptr<CImage> CImage::Unreadable(std::string why) {
    std::unique_ptr<CImage> image(new CImage);
    image->m_sLastError = std::move(why);
    return image;
}

void CImage::BuildLevels() {
    m_levels.assign(1, m_image);
    while (m_levels.back().width() > 1 && m_levels.back().height() > 1) {
        QImage next = HalveImage(m_levels.back());
        if (next.isNull()) {
            break; // no memory for it: the levels made so far serve
        }
        m_levels.push_back(std::move(next));
    }
}

int CImage::LevelFor(long long destWidth, long long destHeight) const {
    const long long w = m_image.width();
    const long long h = m_image.height();
    int k = 0;
    while (k + 1 < LevelCount() && (destWidth << (k + 1)) <= w && (destHeight << (k + 1)) <= h) {
        ++k;
    }
    return k;
}

bool CImage::Destroy() {
    m_image = QImage();
    m_deepGrey = QImage();
    m_levels.clear();
    return true;
}

int CImage::Draw(QImage& target, const ViewRect& dest, const ViewRect* clip, bool smooth,
                 bool flip) const {
    if (m_image.isNull() || dest.IsEmpty() || target.isNull()) {
        return 0;
    }
    ViewRect area = dest.Intersect(ViewRect{0, 0, target.width(), target.height()});
    if (clip != nullptr) {
        area = area.Intersect(*clip);
    }
    if (area.IsEmpty()) {
        return 0;
    }
    const long long w = m_image.width();
    const long long h = m_image.height();
    const long long dw = dest.Width();
    const long long dh = dest.Height();

    if (smooth || target.depth() != 32) {
        // A level's rows do not mirror those of the full image when its
        // height was rounded up: a flipped image draws from the full one.
        const int k = flip ? 0 : LevelFor(dw, dh);
        const double toLevel = 1.0 / double(1LL << k);
        // The part of the image that lands on the drawn area, in pixels of
        // the level drawn from.
        const QRectF source((area.left - dest.left) * double(w) / dw * toLevel,
                            (area.top - dest.top) * double(h) / dh * toLevel,
                            area.Width() * double(w) / dw * toLevel,
                            area.Height() * double(h) / dh * toLevel);
        QPainter p(&target);
        p.setClipRect(QRect(area.left, area.top, area.Width(), area.Height()));
        p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        const QImage& src = flip ? m_image.mirrored(false, true) : Level(k);
        const QRectF flippedSource = flip ? QRectF(source.x(), h - source.y() - source.height(),
                                                   source.width(), source.height())
                                          : source;
        p.drawImage(QRectF(area.left, area.top, area.Width(), area.Height()), src, flippedSource);
        return 1;
    }

    // Nearest neighbour: each target pixel takes the image pixel under its
    // top-left corner, so a click there maps into that same pixel; zoomed
    // out, the level pixel that holds it.
    const int k = LevelFor(dw, dh);
    const QImage& level = Level(k);
    std::vector<int> columns(static_cast<std::size_t>(area.Width()));
    for (int i = 0; i < area.Width(); ++i) {
        columns[static_cast<std::size_t>(i)] =
            static_cast<int>(((area.left + i - dest.left) * w / dw) >> k);
    }
    const std::size_t rowBytes = columns.size() * sizeof(QRgb);
    int lastSourceRow = -1;
    QRgb* lastRow = nullptr;
    for (int y = area.top; y < area.bottom; ++y) {
        int sy = static_cast<int>((y - dest.top) * h / dh);
        if (flip) {
            sy = static_cast<int>(h) - 1 - sy;
        }
        sy >>= k;
        auto* d = reinterpret_cast<QRgb*>(target.scanLine(y)) + area.left;
        if (sy == lastSourceRow) {
            std::memcpy(d, lastRow, rowBytes);
            continue;
        }
        const auto* s = reinterpret_cast<const QRgb*>(level.constScanLine(sy));
        if (dw == w) {
            std::memcpy(d, s + columns.front(), rowBytes); // one image pixel per target pixel
        } else {
            for (std::size_t i = 0; i < columns.size(); ++i) {
                d[i] = s[columns[i]];
            }
        }
        lastSourceRow = sy;
        lastRow = d;
    }
    return 1;
}

std::unique_ptr<CImage> LoadImageFile(const std::string& path) {
    std::string ext = PathExtension(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::make_unique<CImage>(path, CImage::GetTypeIdFromName(ext));
}

QImage HalveImage(const QImage& rgb32) {
    const int w = rgb32.width();
    const int h = rgb32.height();
    const int halfW = (w + 1) / 2;
    const int halfH = (h + 1) / 2;
    QImage out(halfW, halfH, rgb32.format());
    if (out.isNull()) {
        return out;
    }
    const int pairs = w / 2; // columns with a partner on their right
    for (int y = 0; y < halfH; ++y) {
        const auto* r0 = reinterpret_cast<const QRgb*>(rgb32.constScanLine(2 * y));
        const auto* r1 =
            reinterpret_cast<const QRgb*>(rgb32.constScanLine(std::min(2 * y + 1, h - 1)));
        auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < pairs; ++x) {
            d[x] = Mean4(r0[2 * x], r0[2 * x + 1], r1[2 * x], r1[2 * x + 1]);
        }
        if (pairs < halfW) {
            d[pairs] = Mean4(r0[w - 1], r0[w - 1], r1[w - 1], r1[w - 1]);
        }
    }
    return out;
}

QImage StretchGrey16(const QImage& grey16) {
    const int w = grey16.width();
    const int h = grey16.height();
    std::vector<std::uint32_t> histogram(65536, 0);
    for (int y = 0; y < h; ++y) {
        const auto* s = reinterpret_cast<const quint16*>(grey16.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            ++histogram[s[x]];
        }
    }
    const std::uint64_t total = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    const std::uint64_t lowCount = total / 200;          // 0.5 %
    const std::uint64_t highCount = total - total / 200; // 99.5 %
    int lo = 0;
    int hi = 65535;
    std::uint64_t seen = 0;
    bool loFound = false;
    for (int v = 0; v < 65536; ++v) {
        seen += histogram[static_cast<std::size_t>(v)];
        if (!loFound && seen > lowCount) {
            lo = v;
            loFound = true;
        }
        if (seen >= highCount) {
            hi = v;
            break;
        }
    }
    if (hi <= lo) {
        // A flat image: show its level as white unless it is zero.
        if (lo > 0) {
            lo = hi - 1;
        } else {
            hi = lo + 1;
        }
    }
    std::vector<QRgb> lut(65536);
    for (int v = 0; v < 65536; ++v) {
        const int g =
            v <= lo ? 0 : (v >= hi ? 255 : static_cast<int>((v - lo) * 255LL / (hi - lo)));
        lut[static_cast<std::size_t>(v)] = qRgb(g, g, g);
    }
    QImage out(w, h, QImage::Format_RGB32);
    if (out.isNull()) {
        return out;
    }
    for (int y = 0; y < h; ++y) {
        const auto* s = reinterpret_cast<const quint16*>(grey16.constScanLine(y));
        auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            d[x] = lut[s[x]];
        }
    }
    return out;
}
