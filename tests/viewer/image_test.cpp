#include "viewer/AssistedPair.h"
#include "viewer/Image.h"

#include "tests/products/ProductFixtures.h"
#include "tests/support/TestImages.h"

#include <QFile>

#include <gtest/gtest.h>

#include <string>

namespace {
const std::string kData = std::string(RANVISTA_SOURCE_DIR) + "/tests/viewer/data/";

// A 6 x 4 image whose every pixel has its own colour.
QImage Pattern() {
    QImage img(6, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            img.setPixel(x, y, qRgb(40 * x, 60 * y, 100));
        }
    }
    return img;
}

CImage Load(const std::string& path) {
    std::string ext = path.substr(path.rfind('.') + 1);
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return CImage(path, CImage::GetTypeIdFromName(ext));
}
} // namespace

TEST(Image, EveryExtensionOfTheOpenFilterLoads) {
    QTemporaryDir dir;
    const QImage img = Pattern();
    struct File {
        const char* name;
        const char* format;
        bool lossless;
    };
    const File files[] = {
        {"a.bmp", nullptr, true},      {"a.png", nullptr, true},  {"a.tif", nullptr, true},
        {"a.tiff", nullptr, true},     {"a.jpg", nullptr, false}, {"a.jpeg", nullptr, false},
        {"a.exif", "JPEG", false},     {"a.exf", "JPEG", false},  {"UPPER.JPG", "JPEG", false},
        {"misnamed.png", "BMP", true},
    };
    for (const File& f : files) {
        const std::string path = WriteImage(dir, f.name, img, f.format);
        ASSERT_FALSE(path.empty()) << f.name;
        const CImage loaded = Load(path);
        ASSERT_TRUE(loaded.IsValid()) << f.name << ": " << loaded.GetLastError();
        EXPECT_EQ(loaded.GetWidth(), 6u);
        EXPECT_EQ(loaded.GetHeight(), 4u);
        if (f.lossless) {
            EXPECT_EQ(loaded.Pixels().pixel(5, 3), img.pixel(5, 3)) << f.name;
        }
    }
    // Qt reads GIF but does not write it: one red pixel, by hand.
    const char gif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00"
                       "\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    QFile file(QDir(dir.path()).filePath("a.gif"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gif, sizeof gif - 1);
    file.close();
    const CImage loaded = Load(file.fileName().toStdString());
    ASSERT_TRUE(loaded.IsValid()) << loaded.GetLastError();
    EXPECT_EQ(loaded.Pixels().pixel(0, 0), qRgb(255, 0, 0));
}

TEST(Image, Jpeg2000ColourAndDeepGrey) {
    const CImage colour = Load(kData + "rgb8.j2k");
    ASSERT_TRUE(colour.IsValid()) << colour.GetLastError();
    EXPECT_EQ(colour.GetWidth(), 24u);
    EXPECT_EQ(colour.GetHeight(), 16u);
    EXPECT_EQ(colour.Pixels().pixel(3, 2), qRgb(30, 30, 200)); // lossless

    // 12-bit grey (1000 + 100 x + 7 y) is stretched, never shown black.
    const CImage grey = Load(kData + "grey12.jp2");
    ASSERT_TRUE(grey.IsValid()) << grey.GetLastError();
    EXPECT_EQ(grey.GetWidth(), 24u);
    EXPECT_EQ(qGray(grey.Pixels().pixel(0, 0)), 0);
    EXPECT_EQ(qGray(grey.Pixels().pixel(23, 15)), 255);
    int last = -1;
    for (int x = 0; x < 24; ++x) {
        const int g = qGray(grey.Pixels().pixel(x, 8));
        EXPECT_GE(g, last);
        last = g;
    }
    EXPECT_GT(qGray(grey.Pixels().pixel(12, 8)), 80);
}

TEST(Image, SixteenBitGreyIsContrastStretched) {
    QTemporaryDir dir;
    QImage deep(64, 32, QImage::Format_Grayscale16);
    for (int y = 0; y < 32; ++y) {
        auto* row = reinterpret_cast<quint16*>(deep.scanLine(y));
        for (int x = 0; x < 64; ++x) {
            row[x] = static_cast<quint16>(2000 + 10 * x); // 12-bit data, looks black raw
        }
    }
    for (const char* name : {"deep.png", "deep.tif"}) {
        const CImage loaded = Load(WriteImage(dir, name, deep));
        ASSERT_TRUE(loaded.IsValid()) << name << ": " << loaded.GetLastError();
        EXPECT_EQ(qGray(loaded.Pixels().pixel(0, 5)), 0) << name;
        EXPECT_EQ(qGray(loaded.Pixels().pixel(63, 5)), 255) << name;
        EXPECT_NEAR(qGray(loaded.Pixels().pixel(32, 5)), 128, 8) << name;
    }
    // A flat deep image shows its level rather than black.
    deep.fill(0);
    for (int y = 0; y < 32; ++y) {
        std::fill_n(reinterpret_cast<quint16*>(deep.scanLine(y)), 64, quint16{700});
    }
    EXPECT_EQ(qGray(StretchGrey16(deep).pixel(3, 3)), 255);
}

TEST(Image, UnreadableFilesReportWhy) {
    QTemporaryDir dir;
    QFile junk(QDir(dir.path()).filePath("junk.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not an image");
    junk.close();
    QFile badJp2(QDir(dir.path()).filePath("bad.jp2"));
    ASSERT_TRUE(badJp2.open(QIODevice::WriteOnly));
    badJp2.write(QByteArray("\x00\x00\x00\x0c\x6a\x50\x20\x20\x0d\x0a\x87\x0a truncated", 22));
    badJp2.close();

    for (const std::string& path : {junk.fileName().toStdString(), badJp2.fileName().toStdString(),
                                    dir.path().toStdString() + "/missing.jpg", std::string()}) {
        CImage img(path, CImage::kTypeUnknown);
        EXPECT_FALSE(img.IsValid()) << path;
        EXPECT_STRNE(img.GetLastError(), "") << path;
    }
    CImage missing(dir.path().toStdString() + "/missing.jpg", CImage::kTypeJpg);
    EXPECT_NE(std::string(missing.GetLastError()).find("missing.jpg"), std::string::npos);
}

TEST(Image, DrawStretchesIntoTheDestinationWithinTheClip) {
    const CImage img(Pattern());
    const QRgb sentinel = qRgb(1, 2, 3);
    QImage target(80, 60, QImage::Format_RGB32);
    target.fill(sentinel);
    // 6 x 4 image stretched to 60 x 40 at (5, 5): each image pixel is a 10 x 10 block.
    const ViewRect dest{5, 5, 65, 45};
    const ViewRect clip{10, 10, 50, 30};
    img.Draw(target, dest, &clip);
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            const QRgb want =
                clip.Contains(x, y) ? img.Pixels().pixel((x - 5) / 10, (y - 5) / 10) : sentinel;
            ASSERT_EQ(target.pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST(Image, DrawOneToOneWithinTheClip) {
    const CImage img(Pattern());
    QImage target(20, 20, QImage::Format_RGB32);
    target.fill(Qt::black);
    const ViewRect clip{7, 6, 20, 8};
    img.Draw(target, ViewRect{5, 5, 11, 9}, &clip);
    EXPECT_EQ(target.pixel(7, 6), img.Pixels().pixel(2, 1));
    EXPECT_EQ(target.pixel(10, 7), img.Pixels().pixel(5, 2));
    EXPECT_EQ(target.pixel(11, 7), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(7, 8), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(6, 6), qRgb(0, 0, 0));
}

TEST(Image, DrawReadsOnlyTheVisiblePartOfAHugeDestination) {
    const CImage img(Pattern());
    QImage target(50, 50, QImage::Format_RGB32);
    target.fill(Qt::black);
    // The image blown up to a billion pixels a side; only the part under the
    // target is drawn, each image pixel now far larger than the target.
    const int big = 1000000000;
    const ViewRect dest{-big / 2, -big / 2, big / 2, big / 2};
    EXPECT_EQ(img.Draw(target, dest, nullptr), 1);
    // (0, 0) of the target lies just right of and below the image centre.
    EXPECT_EQ(target.pixel(0, 0), img.Pixels().pixel(3, 2));
    EXPECT_EQ(target.pixel(49, 49), img.Pixels().pixel(3, 2));
    // Upside down.
    img.Draw(target, ViewRect{0, 0, 6, 4}, nullptr, false, true);
    EXPECT_EQ(target.pixel(0, 0), img.Pixels().pixel(0, 3));
    // A destination that misses the target draws nothing.
    EXPECT_EQ(img.Draw(target, ViewRect{100, 100, 200, 200}, nullptr), 0);
}

TEST(ImageProducts, APds3ProductShowsItsTwelveBitPixelsStretchedAndABrokenOneSaysWhy) {
    const TempDir dir;
    // A 64 x 48 ramp of 12-bit samples in big-endian 16-bit words behind an
    // attached label (two records of 1000 bytes, data at record 3).
    std::string pixels;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const int v = 64 * x;
            pixels += static_cast<char>((v >> 8) & 0xFF);
            pixels += static_cast<char>(v & 0xFF);
        }
    }
    const std::string image = "  LINES = 48\n  LINE_SAMPLES = 64\n  SAMPLE_TYPE = MSB_INTEGER\n"
                              "  SAMPLE_BITS = 16\n  SAMPLE_BIT_MASK = 2#0000111111111111#\n";
    WriteBytes(dir / "ramp.IMG",
               product_test::PadTo(product_test::MiniPds3("^IMAGE = 3", image), 2000) + pixels);
    const CImage img(dir / "ramp.IMG", CImage::kTypeUnknown);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetWidth(), 64u);
    EXPECT_EQ(img.GetHeight(), 48u);
    // Stretched, never black: the left is dark, the right bright.
    QImage shown(64, 48, QImage::Format_RGB32);
    img.Draw(shown, ViewRect{0, 0, 64, 48}, nullptr, false, false);
    EXPECT_LT(qGray(shown.pixel(1, 10)), 40);
    EXPECT_GT(qGray(shown.pixel(62, 10)), 200);

    // Data shorter than the label says: refused, naming the file.
    WriteBytes(dir / "short.IMG",
               product_test::PadTo(product_test::MiniPds3("^IMAGE = 3", image), 2000) +
                   pixels.substr(0, 100));
    const CImage broken(dir / "short.IMG", CImage::kTypeUnknown);
    EXPECT_FALSE(broken.IsValid());
    EXPECT_NE(std::string(broken.GetLastError()).find("short.IMG"), std::string::npos);
}

// Deep grey is shown stretched to 8 bits, but measured in its own samples:
// matching on the display values would merge neighbouring grey levels.
TEST(Image, SixteenBitGreyKeepsItsSamplesForMatching) {
    // The upper half spans the whole 16-bit range, so that the display
    // stretch puts the ramp of the lower half inside one or two grey levels.
    QImage deep(64, 8, QImage::Format_Grayscale16);
    for (int y = 0; y < deep.height(); ++y) {
        auto* row = reinterpret_cast<quint16*>(deep.scanLine(y));
        for (int x = 0; x < deep.width(); ++x) {
            row[x] = static_cast<quint16>(y < 4 ? x * 1040 : 20000 + x);
        }
    }
    const CImage image(deep);
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.Pixels().format(), QImage::Format_RGB32);
    const GreyImage grey = GreyOfImage(image.Samples());
    ASSERT_EQ(grey.width, 64);
    for (int x = 1; x < grey.width; ++x) {
        EXPECT_GT(grey.At(x, 6), grey.At(x - 1, 6)) << x;
    }
    // What the display would have given.
    const GreyImage shown = GreyOfImage(image.Pixels());
    EXPECT_LE(shown.At(63, 6) - shown.At(0, 6), 2.5f / 255);
}

TEST(Image, ARawColourMosaicIsShownAsItsLuminanceAndAnotherFrameAsItIs) {
    const std::string data = std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/";
    const CImage raw(data + "NRE_0060_0672265209_237ECM_N0032046NCAM00410_00_0LLJ.png",
                     CImage::GetTypeIdFromName("png"));
    ASSERT_TRUE(raw.IsValid()) << raw.GetLastError();
    EXPECT_TRUE(raw.WasMosaic());
    // No mesh left: the four positions of the 2x2 cell show the same grey.
    double phase[4] = {};
    for (int y = 400; y < 800; ++y) {
        for (int x = 400; x < 800; ++x) {
            phase[(y % 2) * 2 + x % 2] += qGray(raw.Pixels().pixel(x, y));
        }
    }
    for (const double p : phase) {
        EXPECT_NEAR(p / phase[0], 1.0, 0.01);
    }
    // Its partner (a grey copy of a demosaiced frame) shows as it is.
    const CImage colour(data + "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ.png",
                        CImage::GetTypeIdFromName("png"));
    ASSERT_TRUE(colour.IsValid());
    EXPECT_FALSE(colour.WasMosaic());
}
