// The stereo view on its own: what it paints, and that input becomes signals
// it leaves to whoever listens (a click sets no mark by itself, Space
// calculates nothing).
#include "ViewFixture.h"

#include <optional>
#include <utility>

namespace {
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kStored = qRgb(255, 0, 255);
const QRgb kCurrent = qRgb(255, 255, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

bool AllPixels(const QImage& img, const QRect& r, QRgb colour) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (img.pixel(x, y) != colour) {
                return false;
            }
        }
    }
    return true;
}
} // namespace

using Paint = ViewFixture;

TEST_F(Paint, EmptyViewIsBlackAroundItsHint) {
    // The hint takes a band across the middle; everything else is black
    // (nothing left unpainted).
    for (const QImage& img :
         {Render(), view->grab().toImage().convertToFormat(QImage::Format_RGB32)}) {
        EXPECT_TRUE(AllPixels(img, QRect(0, 0, kWidth, 80), kBlack));
        EXPECT_TRUE(AllPixels(img, QRect(0, kHeight - 80, kWidth, 80), kBlack));
        EXPECT_FALSE(AllPixels(img, QRect(0, 80, kWidth, kHeight - 160), kBlack));
    }
}

TEST_F(Paint, ImagesFillTheirRectanglesAndNothingElse) {
    OpenPair(); // red 100 x 80 left, blue 160 x 120 right at x 220
    const QImage img = Render();
    EXPECT_TRUE(AllPixels(img, QRect(0, 0, 100, 80), kRed));
    EXPECT_TRUE(AllPixels(img, QRect(220, 0, 160, 120), kBlue));
    EXPECT_TRUE(AllPixels(img, QRect(100, 0, 120, 300), kBlack));
    EXPECT_TRUE(AllPixels(img, QRect(0, 80, 100, 220), kBlack));
    EXPECT_TRUE(AllPixels(img, QRect(380, 0, 40, 300), kBlack));

    // With only the left image the right panel stays black.
    view->ReleaseImage(ViewSide::Right);
    EXPECT_TRUE(AllPixels(Render(), QRect(220, 0, 200, 200), kBlack));
    EXPECT_TRUE(AllPixels(Render(), QRect(0, 0, 100, 80), kRed));
}

TEST_F(Paint, ZoomedImagesStayInTheirPanels) {
    OpenPair(SolidImage(400, 400, Qt::red), SolidImage(400, 400, Qt::blue));
    view->OnReset();        // from 1:1 with the corners on the panels' (it opened fitted)
    view->SetZoomStep(-30); // 20 times: each image covers far more than its panel
    QImage img = Render();
    EXPECT_TRUE(AllPixels(img, QRect(0, 0, 200, 200), kRed));
    EXPECT_TRUE(AllPixels(img, QRect(220, 0, 200, 200), kBlue));
    EXPECT_TRUE(AllPixels(img, QRect(200, 0, 20, 300), kBlack));
    EXPECT_TRUE(AllPixels(img, QRect(0, 200, 420, 100), kBlack));
    view->SetZoomStep(30); // a twentieth: the rest of the panel is black
    img = Render();
    EXPECT_EQ(img.pixel(105, 105), kRed);
    EXPECT_EQ(img.pixel(93, 93), kBlack);
    EXPECT_EQ(img.pixel(125, 125), kBlack);
}

TEST_F(Paint, CrossesOfStoredAndCurrentMarks) {
    OpenPair(SolidImage(200, 200, Qt::red), SolidImage(200, 200, Qt::blue));
    AppendMeasurement({50.3, 60.7}, {20, 20}, {}, "");
    Document().SetMark(Eye::Left, {120, 120});
    QImage img = Render();
    // Stored cross at (50.3, 60.7): vertical arm x 50, y trunc(55.7) .. trunc(65.7) - 1.
    EXPECT_TRUE(AllPixels(img, QRect(50, 55, 1, 10), kStored));
    EXPECT_EQ(img.pixel(50, 54), kRed);
    EXPECT_EQ(img.pixel(50, 65), kRed); // the end point is not drawn
    EXPECT_TRUE(AllPixels(img, QRect(45, 60, 10, 1), kStored));
    EXPECT_EQ(img.pixel(55, 60), kRed);
    EXPECT_TRUE(AllPixels(img, QRect(115, 120, 10, 1), kCurrent));
    EXPECT_TRUE(AllPixels(img, QRect(240, 15, 1, 10), kStored)); // right image's list

    // The current mark is drawn over a stored mark at the same place.
    Document().Session().SetMark(Eye::Left, {50.3, 60.7});
    img = Render();
    EXPECT_TRUE(AllPixels(img, QRect(50, 55, 1, 10), kCurrent));
}

TEST_F(Paint, MarksAreDrawnWhenTheirRoundedCentreIsVisible) {
    OpenPair(); // right image starts at x 220, the panel's left edge
    AppendMeasurement({0, 0}, {-0.4, 50}, {}, ""); // rounds to x 220: visible
    AppendMeasurement({0, 0}, {-0.6, 70}, {}, ""); // rounds to x 219: hidden
    const QImage img = Render();
    // The visible one keeps its full arms, across the panel edge into the gap.
    EXPECT_TRUE(AllPixels(img, QRect(214, 50, 10, 1), kStored));
    EXPECT_TRUE(AllPixels(img, QRect(208, 65, 12, 10), kBlack));
}

TEST_F(Paint, VertexIndicesLabelStoredMarksOnly) {
    OpenPair(SolidImage(200, 200, Qt::red), SolidImage(200, 200, Qt::blue));
    for (int i = 0; i < 3; ++i) {
        AppendMeasurement({20.0 + 40 * i, 100}, {20, 20}, {}, "");
    }
    Document().SetMark(Eye::Left, {150, 30});
    const auto whiteIn = [](const QImage& img, const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                n += img.pixel(x, y) == qRgb(255, 255, 255);
            }
        }
        return n;
    };
    EXPECT_EQ(whiteIn(Render(), QRect(100, 100, 12, 14)), 0);
    view->OnVertexIndices();
    const QImage img = Render();
    EXPECT_GT(whiteIn(img, QRect(100, 100, 12, 14)), 20);
    EXPECT_EQ(whiteIn(img, QRect(150, 30, 12, 14)), 0); // current mark: no label
    EXPECT_EQ(whiteIn(img, QRect(100, 112, 12, 4)), 0); // a character cell 12 pixels high
    // The label holds dark glyph pixels, not just its white box.
    int dark = 0;
    for (int y = 100; y < 114; ++y) {
        for (int x = 100; x < 112; ++x) {
            dark += qGray(img.pixel(x, y)) < 80;
        }
    }
    EXPECT_GT(dark, 3);
}

TEST_F(Paint, EachSideDrawsItsImageThenItsMarks) {
    // A client 42 pixels wide: panels of side 20 at x 0 and x 22.
    OpenPair(SolidImage(20, 20, Qt::red), SolidImage(20, 20, Qt::blue));
    view->resize(42, kHeight);
    for (int i = 0; i < 50 && view->width() != 42; ++i) {
        QTest::qWait(10);
    }
    ASSERT_EQ(view->width(), 42);
    // A left mark at x 19.4: its horizontal arm runs from x 14 to 23, across
    // the gap and into the right image, which is drawn after it.
    AppendMeasurement({19.4, 5}, {10, 15}, {}, "");
    const QImage img = Render();
    EXPECT_TRUE(AllPixels(img, QRect(14, 5, 8, 1), kStored));
    EXPECT_TRUE(AllPixels(img, QRect(22, 5, 2, 1), kBlue));
    // The right side's own cross lies over its image.
    EXPECT_TRUE(AllPixels(img, QRect(32, 10, 1, 10), kStored));
}

TEST_F(Paint, WidgetShowsWhatIsRendered) {
    OpenPair();
    Document().SetMark(Eye::Left, {50, 40});
    view->Repaint();
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, Render());
}

using ViewSignals = ViewFixture;

TEST_F(ViewSignals, AClickAndSpaceAreSaidNotActedOn) {
    OpenPair(SolidImage(200, 200, Qt::red), SolidImage(200, 200, Qt::blue));
    std::optional<std::pair<Eye, ImagePoint>> clicked;
    int spaces = 0;
    QObject::connect(view.get(), &CChildView::PixelClicked, [&](Eye eye, const ImagePoint& pixel) {
        clicked = {eye, pixel};
    });
    QObject::connect(view.get(), &CChildView::SpacePressed, [&] { ++spaces; });
    Click(320, 60); // the right image starts at x 220
    ASSERT_TRUE(clicked);
    EXPECT_EQ(clicked->first, Eye::Right);
    EXPECT_EQ(clicked->second, (ImagePoint{100, 60}));
    EXPECT_FALSE(Document().Session().Mark(Eye::Right));
    Click(210, 10); // the gap between the panels: nothing
    EXPECT_EQ(clicked->second, (ImagePoint{100, 60}));
    Key(Qt::Key_Space);
    EXPECT_EQ(spaces, 1);
    EXPECT_TRUE(Document().Session().Measurements().empty());
    EXPECT_TRUE(ui.messages.empty());
}
