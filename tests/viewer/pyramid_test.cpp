// The reduced copies a large image is drawn from when the view shows it
// smaller than its pixels: their sizes and means, and that drawing with them
// shows what a smooth reduction shows while drawing at full size or larger
// stays exactly as it was.
#include "viewer/Image.h"
#include "viewer/ViewGeometry.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

namespace {
QImage Noise(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            img.setPixel(x, y, qRgb(rng() & 255, rng() & 255, rng() & 255));
        }
    }
    return img;
}

// One-pixel black and white columns over a slow ramp of red: every other
// column of a whole-image view, drawn without averaging, is all one colour.
QImage Stripes(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = (x % 2) * 255;
            img.setPixel(x, y, qRgb(std::max(v, y * 255 / h), v, v));
        }
    }
    return img;
}

// The exact mean of one channel over the image pixels [x0, x1) x [y0, y1).
double BlockMean(const QImage& img, int x0, int y0, int x1, int y1, int channel) {
    double sum = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const QRgb p = img.pixel(x, y);
            sum += channel == 0 ? qRed(p) : channel == 1 ? qGreen(p) : qBlue(p);
        }
    }
    return sum / ((x1 - x0) * (y1 - y0));
}

int Channel(QRgb p, int channel) {
    return channel == 0 ? qRed(p) : channel == 1 ? qGreen(p) : qBlue(p);
}

QImage DrawAt(const CImage& img, int destWidth, int destHeight) {
    QImage target(destWidth, destHeight, QImage::Format_RGB32);
    target.fill(qRgb(1, 2, 3));
    img.Draw(target, ViewRect{0, 0, destWidth, destHeight}, nullptr);
    return target;
}
} // namespace

TEST(Pyramid, LevelsHalveWithSidesRoundedUpUntilOneSideIsOnePixel) {
    const CImage img(Noise(37, 21, 1));
    ASSERT_EQ(img.LevelCount(), 6); // 37x21, 19x11, 10x6, 5x3, 3x2, 2x1
    EXPECT_EQ(img.Level(0), img.Pixels());
    for (int k = 1; k < img.LevelCount(); ++k) {
        EXPECT_EQ(img.Level(k).width(), (img.Level(k - 1).width() + 1) / 2) << k;
        EXPECT_EQ(img.Level(k).height(), (img.Level(k - 1).height() + 1) / 2) << k;
    }
    EXPECT_EQ(img.Level(img.LevelCount() - 1).height(), 1);
    // Nothing to reduce, and nothing at all for an image that failed.
    EXPECT_EQ(CImage(Noise(1, 50, 2)).LevelCount(), 1);
    EXPECT_EQ(CImage::Unreadable("broken")->LevelCount(), 0);
    CImage gone(Noise(8, 8, 3));
    gone.Destroy();
    EXPECT_EQ(gone.LevelCount(), 0);
}

TEST(Pyramid, EachLevelPixelIsTheMeanOfTheBlockItCovers) {
    // A checkerboard of black and white halves to an even grey, exactly.
    QImage board(8, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        }
    }
    const QImage half = HalveImage(board);
    for (int y = 0; y < half.height(); ++y) {
        for (int x = 0; x < half.width(); ++x) {
            ASSERT_EQ(half.pixel(x, y), qRgb(128, 128, 128)) << x << "," << y;
        }
    }
    // An odd side's last column and row stand alone: their own values.
    QImage odd(3, 3, QImage::Format_RGB32);
    odd.fill(qRgb(0, 0, 0));
    odd.setPixel(2, 0, qRgb(200, 100, 50));
    odd.setPixel(2, 2, qRgb(9, 9, 9));
    odd.setPixel(1, 1, qRgb(40, 80, 120));
    const QImage oddHalf = HalveImage(odd);
    ASSERT_EQ(oddHalf.size(), QSize(2, 2));
    EXPECT_EQ(oddHalf.pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(oddHalf.pixel(1, 0), qRgb(100, 50, 25)); // (200 + 0) / 2: two rows of one column
    EXPECT_EQ(oddHalf.pixel(1, 1), qRgb(9, 9, 9));

    // Deeper levels of noise: every full block's mean, to the rounding of
    // each halving (half a level at most, per level).
    const QImage noise = Noise(64, 48, 4);
    const CImage img(noise);
    for (int k = 1; k <= 4; ++k) {
        const QImage& level = img.Level(k);
        const int n = 1 << k;
        for (int y = 0; y < level.height(); ++y) {
            for (int x = 0; x < level.width(); ++x) {
                for (int c = 0; c < 3; ++c) {
                    const double want = BlockMean(noise, x * n, y * n, x * n + n, y * n + n, c);
                    ASSERT_NEAR(Channel(level.pixel(x, y), c), want, 0.5 * k + 1e-9)
                        << "level " << k << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(Pyramid, ADeepGreyImageKeepsItsSamplesAndReducesWhatItShows) {
    QImage deep(50, 30, QImage::Format_Grayscale16);
    for (int y = 0; y < 30; ++y) {
        auto* row = reinterpret_cast<quint16*>(deep.scanLine(y));
        for (int x = 0; x < 50; ++x) {
            row[x] = static_cast<quint16>(1000 + 37 * x + (x % 2) * 1500 + 11 * y);
        }
    }
    const CImage img(deep);
    ASSERT_EQ(img.Samples().format(), QImage::Format_Grayscale16);
    EXPECT_EQ(img.Samples(), deep); // measuring reads the samples as decoded
    ASSERT_GE(img.LevelCount(), 2);
    EXPECT_EQ(img.Level(1).size(), QSize(25, 15));
    EXPECT_EQ(img.Level(1).format(), img.Pixels().format());
    // The reduced copies are means of the shown (stretched) pixels.
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 25; ++x) {
            const double want = BlockMean(img.Pixels(), 2 * x, 2 * y, 2 * x + 2, 2 * y + 2, 1);
            ASSERT_NEAR(qGreen(img.Level(1).pixel(x, y)), want, 0.5) << x << "," << y;
        }
    }
}

TEST(Pyramid, ZoomedOutDrawingShowsWhatASmoothReductionShows) {
    const QImage stripes = Stripes(400, 300);
    const CImage img(stripes);
    // A quarter, pixel for pixel.
    const QImage quarter = DrawAt(img, 100, 75);
    const QImage smoothQuarter =
        stripes.scaled(100, 75, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (int y = 0; y < 75; ++y) {
        for (int x = 0; x < 100; ++x) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_NEAR(Channel(quarter.pixel(x, y), c), Channel(smoothQuarter.pixel(x, y), c),
                            3)
                    << x << "," << y;
            }
        }
    }
    // Between the levels the brightness of every small area is kept (every
    // n-th column of the stripes would be mostly black or mostly white).
    for (const QSize dest : {QSize(150, 112), QSize(61, 45), QSize(199, 149), QSize(24, 18)}) {
        const QImage drawn = DrawAt(img, dest.width(), dest.height());
        const QImage smooth = stripes.scaled(dest, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        constexpr int kArea = 6;
        for (int y = 0; y + kArea <= dest.height(); y += kArea) {
            for (int x = 0; x + kArea <= dest.width(); x += kArea) {
                for (int c = 0; c < 3; ++c) {
                    ASSERT_NEAR(BlockMean(drawn, x, y, x + kArea, y + kArea, c),
                                BlockMean(smooth, x, y, x + kArea, y + kArea, c), 6.0)
                        << dest.width() << "x" << dest.height() << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(Pyramid, DrawingAtFullSizeOrLargerTakesThePixelUnderEachCorner) {
    // Each target pixel shows the image pixel a click there would mark; a
    // zoomed-out view shows the reduced pixel that holds it.
    const QImage noise = Noise(50, 40, 5);
    const CImage img(noise);
    for (const double zoom : {8.0, 2.6, 1.0, 0.9, 0.55, 0.5, 0.3, 0.12}) {
        const ViewRect client{0, 0, 300, 300};
        const SideLayout layout = ComputeSideLayout(client, ViewSide::Left, 50, 40, {3, -4}, zoom);
        QImage target(300, 300, QImage::Format_RGB32);
        target.fill(qRgb(1, 2, 3));
        img.Draw(target, layout.image, &layout.panel);
        const int k = img.LevelFor(layout.image.Width(), layout.image.Height());
        EXPECT_EQ(k, zoom >= 0.55 ? 0 : zoom >= 0.3 ? 1 : 3) << zoom;
        const ViewRect visible = layout.image.Intersect(layout.panel);
        for (int y = visible.top; y < visible.bottom; y += 3) {
            for (int x = visible.left; x < visible.right; x += 3) {
                const ScreenToImageResult hit = MapScreenToImage({x, y}, layout, 50, 40);
                const int ix = static_cast<int>(std::floor(hit.pt.x));
                const int iy = static_cast<int>(std::floor(hit.pt.y));
                const QRgb want =
                    k == 0 ? noise.pixel(ix, iy) : img.Level(k).pixel(ix >> k, iy >> k);
                ASSERT_EQ(target.pixel(x, y), want) << "zoom " << zoom << " at " << x << "," << y;
            }
        }
    }
}

TEST(Pyramid, SmoothDrawingZoomedOutReadsAReducedCopy) {
    // A smooth painter reduction of one-pixel stripes by five samples one
    // column per target pixel, alternately black and white; from the reduced
    // copy it is grey.
    const CImage img(Stripes(400, 300));
    QImage target(80, 60, QImage::Format_RGB32);
    img.Draw(target, ViewRect{0, 0, 80, 60}, nullptr, true);
    for (int x = 0; x < 80; ++x) {
        ASSERT_NEAR(qGreen(target.pixel(x, 10)), 128, 12) << x;
    }
}
