// One size limit for every image format, JPEG 2000 included, judged from the
// header before any pixel is decoded.
#include "viewer/Image.h"
#include "viewer/ImageLimits.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kData = std::string(RANVISTA_SOURCE_DIR) + "/tests/viewer/data/";

QByteArray ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Write(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = QDir(dir.path()).filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(bytes);
    }
    return path.toStdString();
}

void PutBigEndian32(QByteArray& bytes, int at, quint32 v) {
    qToBigEndian(v, reinterpret_cast<uchar*>(bytes.data() + at));
}

// The CRC-32 a PNG chunk ends with.
quint32 Crc32(const char* data, int n) {
    quint32 c = 0xFFFFFFFFu;
    for (int i = 0; i < n; ++i) {
        c ^= static_cast<uchar>(data[i]);
        for (int k = 0; k < 8; ++k) {
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
    }
    return ~c;
}

} // namespace

TEST(ImageLimits, ACraftedJpeg2000HeaderClaimingAHugeImageIsRefusedBeforeDecoding) {
    QTemporaryDir dir;
    // A small real codestream whose size marker now claims 60000 × 60000
    // (image and tile), as a hostile 246 KB file did.
    QByteArray j2k = ReadAll(kData + "rgb8.j2k");
    ASSERT_GT(j2k.size(), 40);
    for (const int at : {8, 12, 24, 28}) {
        PutBigEndian32(j2k, at, 60000);
    }
    const CImage huge(Write(dir, "huge.j2k", j2k), CImage::kTypeJp2);
    EXPECT_FALSE(huge.IsValid());
    EXPECT_NE(std::string(huge.GetLastError()).find("too large: 60000\u00D760000"),
              std::string::npos)
        << huge.GetLastError();
}

TEST(ImageLimits, OneSettingLimitsEveryFormatAndTheDefaultTakesARoverImage) {
    QTemporaryDir dir;
    // A PNG header claiming 60000 × 60000 (a decompression bomb's shape).
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::gray);
    const std::string png = Write(dir, "p.png", QByteArray());
    ASSERT_TRUE(small.save(QString::fromStdString(png), "PNG"));
    QByteArray bomb = ReadAll(png);
    PutBigEndian32(bomb, 16, 60000);
    PutBigEndian32(bomb, 20, 60000);
    PutBigEndian32(bomb, 29, Crc32(bomb.constData() + 12, 17)); // "IHDR" and its data
    const CImage refused(Write(dir, "bomb.png", bomb), CImage::kTypePng);
    EXPECT_FALSE(refused.IsValid());
    EXPECT_NE(std::string(refused.GetLastError()).find("too large: 60000\u00D760000"),
              std::string::npos)
        << refused.GetLastError();

    // A full-frame 16-bit image fits the default.
    EXPECT_FALSE(ImageTooLarge(5120, 3840, 4));
    EXPECT_FALSE(ImageTooLarge(5120, 3840, 8));
    // Lowered, the same setting refuses the small test images of both kinds.
    SetImageLimitMiB(1);
    EXPECT_TRUE(CImage(kData + "rgb8.j2k", CImage::kTypeJp2).IsValid());
    EXPECT_TRUE(ImageTooLarge(1024, 1024, 4));
    EXPECT_TRUE(ImageTooLarge(int64_t{1} << 40, 1, 1)); // no overflow
    SetImageLimitMiB(0);
    EXPECT_EQ(ImageLimitMiB(), kDefaultImageLimitMiB);
}
