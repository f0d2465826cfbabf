#include "viewer/ViewGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
const ViewRect kClient{0, 0, 420, 300}; // panels of side 200

SideLayout Layout(ViewSide side, std::uint32_t w, std::uint32_t h, PanOffset off = {},
                  double zoom = 1.0) {
    return ComputeSideLayout(kClient, side, w, h, off, zoom);
}
} // namespace

TEST(ViewGeometry, PanelsAreSquaresFlushWithTheEdgesAndNeverOverlap) {
    EXPECT_EQ(ComputeSideLayout({0, 0, 21, 5}, ViewSide::Left, 1, 1, {}, 1).panel,
              (ViewRect{0, 0, 10, 10}));
    EXPECT_EQ(ComputeSideLayout({0, 0, 20, 5}, ViewSide::Left, 1, 1, {}, 1).panel,
              (ViewRect{0, 0, 9, 9}));
    EXPECT_EQ(Layout(ViewSide::Right, 1, 1).panel, (ViewRect{220, 0, 420, 200}));
    for (int w = 0; w < 400; ++w) {
        const ViewRect client{0, 0, w, 10};
        const auto l = ComputeSideLayout(client, ViewSide::Left, 1, 1, {}, 1).panel;
        const auto r = ComputeSideLayout(client, ViewSide::Right, 1, 1, {}, 1).panel;
        ASSERT_LE(l.right, r.left) << "width " << w;
        ASSERT_EQ(r.right, w);
    }
}

TEST(ViewGeometry, ImageRectangleFollowsZoomAndPan) {
    // Zoom 1, no pan: the image's corner sits on the panel's corner.
    EXPECT_EQ(Layout(ViewSide::Right, 160, 120).image, (ViewRect{220, 0, 380, 120}));
    // Panning moves by whole screen pixels whatever the zoom.
    EXPECT_EQ(Layout(ViewSide::Left, 100, 80, {7, -3}, 2.0).image, (ViewRect{-93, -103, 107, 57}));
    // Zooming keeps the panel centre on the same image point.
    for (double zoom : {0.5, 1.0, 2.0, std::exp(1.0)}) {
        const SideLayout l = Layout(ViewSide::Left, 1000, 1000, {}, zoom);
        const ScreenToImageResult c = MapScreenToImage({100, 100}, l, 1000, 1000);
        EXPECT_NEAR(c.pt.x, 100.0, 1.0 / zoom + 1e-9) << zoom;
    }
}

TEST(ViewGeometry, ScreenToImageEdgesAndPanel) {
    // Image 100 x 80 placed at (30, 20) in the left panel.
    const SideLayout l = Layout(ViewSide::Left, 100, 80, {30, 20});
    ASSERT_EQ(l.image, (ViewRect{30, 20, 130, 100}));
    const auto at = [&](int x, int y) { return MapScreenToImage({x, y}, l, 100, 80); };
    EXPECT_TRUE(at(30, 20).inside); // left and top edges belong to the image
    EXPECT_EQ(at(30, 20).pt, (ImagePoint{0, 0}));
    EXPECT_FALSE(at(29, 50).inside); // one pixel left of the image, still in the panel
    EXPECT_TRUE(at(29, 50).inPanel);
    EXPECT_FALSE(at(130, 50).inside); // right and bottom edges do not
    EXPECT_FALSE(at(50, 100).inside);
    EXPECT_FALSE(at(205, 50).inPanel); // the gap between the panels
    EXPECT_FALSE(at(50, 250).inPanel); // below the panels
    // Only the part inside the panel counts: pan the image past the panel edge.
    const SideLayout far = Layout(ViewSide::Left, 100, 80, {150, 0});
    EXPECT_FALSE(MapScreenToImage({210, 10}, far, 100, 80).inside);
}

TEST(ViewGeometry, ClickedPointMapsBackToTheSamePixelForEitherImageSize) {
    struct Side {
        ViewSide side;
        std::uint32_t w, h;
    };
    for (const Side s : {Side{ViewSide::Left, 150, 400}, Side{ViewSide::Right, 300, 200}}) {
        for (double zoom : {1.0, 0.7, std::exp(1.3)}) {
            const SideLayout l = Layout(s.side, s.w, s.h, {3, 4}, zoom);
            for (int x = l.panel.left; x < l.panel.right; x += 13) {
                for (int y = 0; y < 200; y += 11) {
                    const auto hit = MapScreenToImage({x, y}, l, s.w, s.h);
                    if (!hit.inside) {
                        continue;
                    }
                    const auto back = MapImageToScreen(hit.pt, l, s.w, s.h);
                    ASSERT_TRUE(back.visible);
                    ASSERT_EQ(RoundHalfAway(back.x, back.y), (IntPoint{x, y}));
                }
            }
        }
    }
}

TEST(ViewGeometry, ImageToScreenVisibilityUsesTheRoundedPoint) {
    const SideLayout l = Layout(ViewSide::Right, 160, 120);          // image at x 220 .. 380
    EXPECT_TRUE(MapImageToScreen({-0.4, 50}, l, 160, 120).visible);  // rounds to 220
    EXPECT_FALSE(MapImageToScreen({-0.6, 50}, l, 160, 120).visible); // rounds to 219
    EXPECT_DOUBLE_EQ(MapImageToScreen({-0.4, 50}, l, 160, 120).x, 219.6);
    EXPECT_FALSE(MapImageToScreen({159.5, 50}, l, 160, 120).visible); // rounds to 380
}

TEST(ViewGeometry, RoundHalfAwayFromZero) {
    EXPECT_EQ(RoundHalfAway(-2.5, 2.5), (IntPoint{-3, 3}));
    EXPECT_EQ(RoundHalfAway(-2.4, 2.4), (IntPoint{-2, 2}));
    EXPECT_EQ(RoundHalfAway(-0.5, 0.49), (IntPoint{-1, 0}));
}

TEST(ViewGeometry, ZoomIsRecomputedFromTheStep) {
    EXPECT_DOUBLE_EQ(ZoomForStep(-10), 2.718281828459045);
    EXPECT_DOUBLE_EQ(ZoomForStep(1) * 1.1051709180756477, 1.0);
    EXPECT_EQ(ZoomForStep(0), 1.0);
}

TEST(ViewGeometry, DeepestZoomKeepsCoordinatesInRange) {
    EXPECT_EQ(ClampZoomStep(-1000000000000LL), kMinZoomStep);
    EXPECT_EQ(ClampZoomStep(1LL << 40), kMaxZoomStep);
    EXPECT_EQ(ClampZoomStep(-37), -37);
    // A wide image on a wide screen at the deepest zoom: the rectangle is
    // finite and ordered, and a click still maps into the image (its products
    // exceed 32 bits).
    const std::uint32_t w = 65535;
    const ViewRect client{0, 0, 8000, 4000};
    const SideLayout l =
        ComputeSideLayout(client, ViewSide::Left, w, w, {}, ZoomForStep(kMinZoomStep));
    EXPECT_LT(l.image.left, l.image.right);
    EXPECT_GT(l.image.Width(), 1000000000);
    const auto hit = MapScreenToImage({1000, 1000}, l, w, w);
    ASSERT_TRUE(hit.inside);
    EXPECT_GT(hit.pt.x, 0.0);
    EXPECT_LT(hit.pt.x, w);
    // Zoomed out as far as it goes, any image is gone and nothing is inside.
    const SideLayout tiny =
        ComputeSideLayout(client, ViewSide::Left, w, w, {}, ZoomForStep(kMaxZoomStep));
    EXPECT_TRUE(tiny.image.IsEmpty());
    EXPECT_FALSE(MapScreenToImage({tiny.image.left, tiny.image.top}, tiny, w, w).inside);
}

// Fitting: for windows wide and narrow, tall and short, and images large,
// small, wide and tall, the fitted image lies wholly inside the visible part
// of its panel, fills it along one side and sits in its middle.
TEST(ViewGeometry, FittedImagesLieWhollyInsideTheVisiblePanelCentred) {
    const ViewRect clients[] = {{0, 0, 1920, 1000}, {0, 0, 1638, 1000}, {0, 0, 420, 300},
                                {0, 0, 1500, 500},  {0, 0, 43, 900},    {0, 0, 2000, 2000}};
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {
        {2048, 2048}, {1024, 1024}, {1288, 968}, {5120, 3840}, {100, 80}, {1, 1}, {640, 4000}};
    for (const ViewRect& client : clients) {
        for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
            const ViewRect box = VisiblePanel(client, side);
            ASSERT_FALSE(box.IsEmpty());
            EXPECT_LE(box.bottom, client.bottom);
            for (const auto& [w, h] : sizes) {
                const double zoom = FitZoom(box, w, h);
                const PanOffset off = CentredOffset(client, side, box, w, h, zoom);
                const ViewRect img = ComputeSideLayout(client, side, w, h, off, zoom).image;
                const auto where = ::testing::Message() << client.right << "x" << client.bottom
                                                        << " image " << w << "x" << h;
                EXPECT_EQ(img.Intersect(box), img) << where;
                EXPECT_TRUE(img.Width() >= box.Width() - 1 || img.Height() >= box.Height() - 1)
                    << where;
                EXPECT_LE(std::abs((img.left - box.left) - (box.right - img.right)), 1) << where;
                EXPECT_LE(std::abs((img.top - box.top) - (box.bottom - img.bottom)), 1) << where;
                // The mapping agrees with the rectangle: the image's far
                // corner lands on its edge.
                const ImageToScreenResult corner = MapImageToScreen(
                    {static_cast<double>(w), static_cast<double>(h)}, {box, img}, w, h);
                EXPECT_NEAR(corner.x, img.right, 1e-6) << where;
            }
        }
    }
    // Nothing to fit: the zoom stays 1.
    EXPECT_EQ(FitZoom({0, 0, 0, 0}, 100, 100), 1.0);
    EXPECT_EQ(FitZoom({0, 0, 100, 100}, 0, 100), 1.0);
}

TEST(ViewGeometry, ChangingTheZoomKeepsTheImagePointAtThePanelCentre) {
    const ViewRect client{0, 0, 1920, 1000}; // panels of side 914
    const std::uint32_t w = 2048;
    const std::uint32_t h = 1536;
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        const ViewRect panel = VisiblePanel(client, side);
        const IntPoint centre{panel.left + panel.Width() / 2, panel.top + panel.Height() / 2};
        PanOffset off{-300.0, 125.0};
        double zoom = 0.4;
        const auto pointAtCentre = [&] {
            return MapScreenToImage(centre, ComputeSideLayout(client, side, w, h, off, zoom), w, h)
                .pt;
        };
        // The point exactly, before the rectangle is cut to whole pixels.
        const ImagePoint before{457.0 - off.x / zoom, 457.0 - off.y / zoom};
        ASSERT_EQ(panel.Width(), 914);
        for (const double next : {0.4, 0.45, 1.0, 3.0, 0.05, 0.4}) {
            off = OffsetForZoomChange(off, zoom, next);
            zoom = next;
            const ImagePoint now = pointAtCentre();
            // Within the truncation of the rectangle to whole screen pixels.
            EXPECT_NEAR(now.x, before.x, 1.5 / zoom) << next;
            EXPECT_NEAR(now.y, before.y, 1.5 / zoom) << next;
        }
    }
    // A zoom that is no zoom leaves the pan alone.
    const PanOffset off{3, 4};
    EXPECT_EQ(OffsetForZoomChange(off, 0.0, 2.0).x, 3.0);
    EXPECT_EQ(OffsetForZoomChange(off, 1.0, std::nan("")).y, 4.0);
}

TEST(ViewGeometry, NearestZoomStepRoundTripsAndStaysInBounds) {
    for (int step = kMinZoomStep; step <= kMaxZoomStep; ++step) {
        ASSERT_EQ(NearestZoomStep(ZoomForStep(step)), step);
    }
    EXPECT_EQ(NearestZoomStep(914.0 / 2048.0), 8); // e^-0.8 = 0.449
    EXPECT_EQ(NearestZoomStep(1e-300), kMaxZoomStep);
    EXPECT_EQ(NearestZoomStep(1e300), kMinZoomStep);
    EXPECT_EQ(NearestZoomStep(0.0), 0);
    EXPECT_EQ(NearestZoomStep(-1.0), 0);
    EXPECT_EQ(NearestZoomStep(std::nan("")), 0);
    EXPECT_EQ(NearestZoomStep(INFINITY), 0);
}
