// Fitting the images to the window, Actual Size, the zoom keys and the hint
// of an empty window, in a 420 x 300 view (panels of side 200).
#include "viewer/EmptyViewHint.h"

#include "ViewFixture.h"

#include <QResizeEvent>

namespace {

using Fit = ViewFixture;

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

bool Inside(const ViewRect& inner, const ViewRect& outer) {
    return inner.Intersect(outer) == inner;
}

// Sends the view a right-button drag from one point to another.
void RightDrag(QWidget* view, QPoint from, QPoint to) {
    QTest::mousePress(view, Qt::RightButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::RightButton, Qt::NoModifier, to);
}

} // namespace

TEST_F(Fit, APairLargerThanItsPanelsOpensWholeAndASmallerOneAtOneToOne) {
    OpenPair(SolidImage(400, 320, Qt::red), SolidImage(600, 500, Qt::blue));
    EXPECT_EQ(view->Fit(), CChildView::FitMode::ShrinkLarge);
    // One zoom for both: the one the larger image needs.
    EXPECT_NEAR(view->Zoom(), 200.0 / 600.0, 1e-12);
    const QImage shot = Render();
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        const SideLayout l = view->ComputeLayout(view->ClientRect(), side);
        EXPECT_TRUE(Inside(l.image, l.panel));
        // Every corner of the image is painted, in its colour.
        const QRgb colour = side == ViewSide::Left ? kRed : kBlue;
        for (const auto& [x, y] : {std::pair{l.image.left, l.image.top},
                                   {l.image.right - 1, l.image.top},
                                   {l.image.left, l.image.bottom - 1},
                                   {l.image.right - 1, l.image.bottom - 1}}) {
            EXPECT_EQ(shot.pixel(x, y), colour) << x << "," << y;
        }
    }
    // The right image fills its panel's width; the left one is centred.
    const SideLayout right = view->ComputeLayout(view->ClientRect(), ViewSide::Right);
    EXPECT_GE(right.image.Width(), 199);
    const SideLayout left = view->ComputeLayout(view->ClientRect(), ViewSide::Left);
    EXPECT_NEAR(left.image.left + left.image.right, 200, 1);

    // Images that fit open at 1:1 with their corner on the panel's, as ever.
    OpenPair();
    EXPECT_EQ(view->Fit(), CChildView::FitMode::Off);
    EXPECT_EQ(view->Zoom(), 1.0);
    EXPECT_EQ(view->ComputeLayout(view->ClientRect(), ViewSide::Left).image,
              (ViewRect{0, 0, 100, 80}));
}

TEST_F(Fit, AFittedViewFollowsTheWindowUntilTheUserZoomsOrPans) {
    OpenPair(SolidImage(400, 400, Qt::red), SolidImage(400, 400, Qt::blue));
    EXPECT_NEAR(view->Zoom(), 0.5, 1e-12);
    view->resize(840, 600); // panels of side 400: the pair shows at 1:1, never enlarged
    EXPECT_NEAR(view->Zoom(), 1.0, 1e-12);
    view->resize(630, 300); // panels of 300, but only 300 high
    EXPECT_NEAR(view->Zoom(), 0.75, 1e-12);
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        const SideLayout l = view->ComputeLayout(view->ClientRect(), side);
        EXPECT_TRUE(Inside(l.image, l.panel.Intersect(view->ClientRect())));
    }

    // A zoom key ends fitting: the window's size no longer changes the zoom.
    Key(Qt::Key_PageUp);
    EXPECT_EQ(view->Fit(), CChildView::FitMode::Off);
    const double zoomed = view->Zoom();
    EXPECT_GT(zoomed, 0.75);
    view->resize(420, 300);
    EXPECT_EQ(view->Zoom(), zoomed);

    // So does a pan, but not a right-click that does not move.
    view->OnFitToWindow();
    RightDrag(view.get(), QPoint(100, 100), QPoint(100, 100));
    EXPECT_EQ(view->Fit(), CChildView::FitMode::Whole);
    RightDrag(view.get(), QPoint(100, 100), QPoint(130, 90));
    EXPECT_EQ(view->Fit(), CChildView::FitMode::Off);
    const PanOffset panned = view->Offset(ViewSide::Left);
    view->resize(500, 300);
    EXPECT_EQ(view->Offset(ViewSide::Left).x, panned.x);
}

TEST_F(Fit, ActualSizeAndBackKeepTheMiddleOfTheImageInTheMiddle) {
    // A red image with a blue block in its middle.
    QImage left = SolidImage(800, 600, Qt::red);
    for (int y = 290; y < 310; ++y) {
        for (int x = 390; x < 410; ++x) {
            left.setPixel(x, y, kBlue);
        }
    }
    OpenPair(left, SolidImage(800, 600, Qt::red));
    ASSERT_EQ(view->Fit(), CChildView::FitMode::ShrinkLarge);

    view->OnActualSize();
    EXPECT_EQ(view->Fit(), CChildView::FitMode::Off);
    EXPECT_EQ(view->Zoom(), 1.0);
    EXPECT_EQ(view->ZoomStep(), 0);
    const SideLayout actual = view->ComputeLayout(view->ClientRect(), ViewSide::Left);
    EXPECT_EQ(actual.image.Width(), 800);
    EXPECT_EQ(Render().pixel(100, 100), kBlue); // the image's middle at the panel's
    const ScreenToImageResult mid = view->ScreenToImage({100, 100}, ViewSide::Left, actual);
    // Within the half screen pixel the fitted corner was rounded by, at a
    // quarter of the size, and one more of truncation.
    EXPECT_NEAR(mid.pt.x, 400, 3);
    EXPECT_NEAR(mid.pt.y, 300, 3);

    // Zoom keys from 1:1 step around the middle too.
    Key(Qt::Key_PageDown, Qt::NoModifier, 3);
    EXPECT_EQ(Render().pixel(100, 100), kBlue);

    view->OnFitToWindow();
    EXPECT_EQ(view->Fit(), CChildView::FitMode::Whole);
    const SideLayout fitted = view->ComputeLayout(view->ClientRect(), ViewSide::Left);
    EXPECT_TRUE(Inside(fitted.image, fitted.panel));
    EXPECT_GE(fitted.image.Width(), 199);
    // The zoom keys go on from the step nearest the fitted zoom.
    EXPECT_EQ(view->ZoomStep(), NearestZoomStep(0.25));
    Key(Qt::Key_PageUp);
    EXPECT_EQ(view->ZoomStep(), NearestZoomStep(0.25) - 1);
    EXPECT_EQ(Render().pixel(100, 100), kBlue);
}

TEST_F(Fit, FitToWindowEnlargesASmallPair) {
    OpenPair(); // 100 x 80 and 160 x 120
    view->OnFitToWindow();
    EXPECT_NEAR(view->Zoom(), 200.0 / 160.0, 1e-12);
    const SideLayout right = view->ComputeLayout(view->ClientRect(), ViewSide::Right);
    EXPECT_TRUE(Inside(right.image, right.panel));
    EXPECT_GE(right.image.Width(), 199);
}

TEST_F(Fit, MarksFollowTheZoom) {
    OpenPair(SolidImage(800, 800, Qt::blue), SolidImage(800, 800, Qt::blue));
    AppendMeasurement({600, 200}, {610, 200}, {}, "");
    Document().Session().SetMark(Eye::Left, {200, 600});
    const auto crossAt = [&](const ImagePoint& q, QRgb colour) {
        const SideLayout l = view->ComputeLayout(view->ClientRect(), ViewSide::Left);
        const ImageToScreenResult s = view->ImageToScreen(q, ViewSide::Left, l);
        if (!s.visible) {
            return false;
        }
        const QImage shot = Render();
        // The vertical arm, two pixels above the centre.
        return shot.pixel(TruncToInt(s.x), TruncToInt(s.y) - 2) == colour;
    };
    const QRgb magenta = qRgb(255, 0, 255);
    const QRgb yellow = qRgb(255, 255, 0);
    for (int zoomIn = 0; zoomIn < 6; ++zoomIn) {
        EXPECT_TRUE(crossAt({600, 200}, magenta)) << view->Zoom();
        EXPECT_TRUE(crossAt({200, 600}, yellow)) << view->Zoom();
        Key(Qt::Key_PageUp);
    }
    view->OnActualSize();
    view->SetOffset(ViewSide::Left, {-450, -50}); // the stored mark in sight at 1:1
    EXPECT_TRUE(crossAt({600, 200}, magenta));
}

TEST_F(Fit, AnEmptyViewSaysHowToOpenAPairAndAnOpenOneDoesNot) {
    const QStringList lines = EmptyViewHintLines();
    const QString all = lines.join('\n');
    EXPECT_TRUE(all.contains("Open Stereo Pair"));
    EXPECT_TRUE(all.contains("Recent Pairs"));
    EXPECT_TRUE(all.contains("drop two"));

    const auto litRows = [](const QImage& shot) {
        int rows = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                if (qGray(shot.pixel(x, y)) > 100) {
                    ++rows;
                    break;
                }
            }
        }
        return rows;
    };
    const QImage empty = Render();
    // Text in the middle, on black; nothing left unpainted.
    EXPECT_GE(litRows(empty), 4 * 8);
    EXPECT_EQ(empty.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(empty.pixel(419, 299), qRgb(0, 0, 0));

    OpenPair(SolidImage(100, 80, Qt::black), SolidImage(160, 120, Qt::black));
    EXPECT_EQ(litRows(Render()), 0);
}

// Zoomed out, a screen pixel spans four image pixels: the pointer on a mark
// still finds it, for the title and for a double-click re-selection.
TEST_F(Fit, AMarkIsFoundUnderThePointerWhenZoomedOut) {
    OpenPair(SolidImage(800, 800, Qt::blue), SolidImage(800, 800, Qt::blue));
    ASSERT_NEAR(view->Zoom(), 0.25, 1e-12);
    AppendMeasurement({401.0, 403.0}, {390.0, 403.0}, {}, "");
    const SideLayout l = view->ComputeLayout(view->ClientRect(), ViewSide::Left);
    const ImageToScreenResult s = view->ImageToScreen({401.0, 403.0}, ViewSide::Left, l);
    const IntPoint p = RoundHalfAway(s.x, s.y);
    Move(p.x, p.y);
    EXPECT_EQ(view->HoverVertex(), 0u);
    Move(p.x + 3, p.y); // three screen pixels off: not near
    EXPECT_FALSE(view->HoverVertex());
    std::vector<std::size_t> picked;
    QObject::connect(view.get(), &CChildView::MarkDoubleClicked,
                     [&](std::size_t mark) { picked.push_back(mark); });
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, QPoint(p.x, p.y));
    EXPECT_EQ(picked, std::vector<std::size_t>{0}) << "the stored mark is found for re-selection";
}
