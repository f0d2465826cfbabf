// The main window with a pair loaded, marks set and stored, grabbed as a
// picture: checked pixel by pixel and kept as a test artifact.
#include "AppFixture.h"
#include "app/MeasurementDock.h"

#include <QDir>
#include <QPainter>

#include <cmath>

namespace {
constexpr int kSize = 360;
constexpr int kDisparity = 14; // the right camera sees everything shifted left

// A synthetic rover view: sky, textured ground and a few rocks.
QImage Scene(int shift) {
    QImage img(kSize, kSize, QImage::Format_RGB32);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const int wx = x + shift;
            int g;
            if (y < 110) {
                g = 150 + y / 4; // hazy sky
            } else {
                const unsigned h = (static_cast<unsigned>(wx) * 73856093u) ^
                                   (static_cast<unsigned>(y) * 19349663u);
                g = 95 + (y - 110) / 5 + static_cast<int>(h % 23u) - 11; // gravel
            }
            img.setPixel(x, y, qRgb(g + 20, g, g - 25));
        }
    }
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    struct Rock {
        int x, y, rx, ry;
    };
    for (const Rock r : {Rock{90, 200, 34, 20}, Rock{230, 260, 48, 28}, Rock{290, 160, 20, 11}}) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 45, 35));
        p.drawEllipse(QPoint(r.x - shift, r.y), r.rx, r.ry);
        p.setBrush(QColor(120, 100, 80));
        p.drawEllipse(QPoint(r.x - shift - r.rx / 3, r.y - r.ry / 3), r.rx / 2, r.ry / 2);
    }
    return img;
}

QPoint ViewToFrame(CMainFrame* frame, double x, double y) {
    return frame->View().mapTo(frame, QPoint(static_cast<int>(x), static_cast<int>(y)));
}
} // namespace

using Screenshot = AppFixture;

TEST_F(Screenshot, MainWindowWithAPairAndItsMarks) {
    const QImage leftScene = Scene(0);
    const QImage rightScene = Scene(kDisparity);
    StartupOptions options;
    options.sLeftFile = WriteImage(dir, "1N128287142EFF0300P1800L0M1.png", leftScene);
    options.sRightFile = WriteImage(dir, "1N128287142EFF0300P1800R0M1.png", rightScene);
    Start(options);
    CChildView& view = View();
    ASSERT_TRUE(view.Image(ViewSide::Left) && view.Image(ViewSide::Right));

    // Two stored measurements (the rocks' tops) and a current pair of marks.
    Controller().AppendMeasurement({90, 186}, {90 - kDisparity, 186}, {}, "");
    Controller().AppendMeasurement({230, 238}, {230 - kDisparity, 238}, {}, "");
    view.OnVertexIndices();
    // The measurement table docks with them; this picture is of the images.
    if (auto* dock = frame->findChild<CMeasurementDock*>()) {
        dock->hide();
    }
    QApplication::processEvents();
    const SideLayout left = view.ComputeLayout(view.ClientRect(), ViewSide::Left);
    const SideLayout right = view.ComputeLayout(view.ClientRect(), ViewSide::Right);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier,
                      QPoint(left.image.left + 290, left.image.top + 156));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier,
                      QPoint(right.image.left + 290 - kDisparity, right.image.top + 156));
    ASSERT_TRUE(view.Session().Mark(Eye::Left).has_value() &&
                view.Session().Mark(Eye::Right).has_value());

    const QImage shot = frame->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString artifacts = QString(RANVISTA_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(artifacts);
    EXPECT_TRUE(shot.save(artifacts + "/screenshot-main.png"));

    // Both images, pixel for pixel at zoom 1.
    for (const QPoint p : {QPoint(5, 5), QPoint(150, 300), QPoint(90, 200)}) {
        EXPECT_EQ(shot.pixel(ViewToFrame(frame, left.image.left + p.x(), left.image.top + p.y())),
                  leftScene.pixel(p));
        EXPECT_EQ(shot.pixel(ViewToFrame(frame, right.image.left + p.x(), right.image.top + p.y())),
                  rightScene.pixel(p));
    }
    // The stored cross of vertex 1 in the right image (magenta), with its label.
    const ImageToScreenResult stored =
        view.ImageToScreen({230 - kDisparity, 238}, ViewSide::Right, right);
    ASSERT_TRUE(stored.visible);
    // Its arms left of and above the centre; the label's white box starts at
    // the centre and covers the rest.
    for (int d = -5; d < 0; ++d) {
        EXPECT_EQ(shot.pixel(ViewToFrame(frame, stored.x + d, stored.y)), qRgb(255, 0, 255)) << d;
        EXPECT_EQ(shot.pixel(ViewToFrame(frame, stored.x, stored.y + d)), qRgb(255, 0, 255)) << d;
    }
    EXPECT_EQ(shot.pixel(ViewToFrame(frame, stored.x, stored.y)), qRgb(255, 255, 255));
    // The current cross in the left image (yellow).
    const ImageToScreenResult current =
        view.ImageToScreen(*view.Session().Mark(Eye::Left), ViewSide::Left, left);
    ASSERT_TRUE(current.visible);
    for (int d = -4; d <= 4; ++d) {
        EXPECT_EQ(shot.pixel(ViewToFrame(frame, current.x, current.y + d)), qRgb(255, 255, 0)) << d;
    }
    // Black between the panels.
    EXPECT_EQ(shot.pixel(ViewToFrame(frame, left.panel.right + 2, 10)), qRgb(0, 0, 0));
}
