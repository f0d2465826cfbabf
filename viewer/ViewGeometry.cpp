#include "viewer/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace {
// Coordinates are kept within +-2^30 so that sums and differences of two of
// them never overflow an int.
constexpr double kCoordLimit = 1073741824.0;

int ClampCoord(long long v) {
    const auto limit = static_cast<long long>(kCoordLimit);
    return static_cast<int>(std::clamp(v, -limit, limit));
}
} // namespace

ViewRect ViewRect::Intersect(const ViewRect& other) const {
    ViewRect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
               std::min(bottom, other.bottom)};
    if (r.IsEmpty()) {
        return ViewRect{};
    }
    return r;
}

double ZoomForStep(int step) {
    return std::exp(-0.1 * step);
}

int ClampZoomStep(long long step) {
    return static_cast<int>(std::clamp<long long>(step, kMinZoomStep, kMaxZoomStep));
}

int TruncToInt(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(std::clamp(std::trunc(v), -kCoordLimit, kCoordLimit));
}

SideLayout ComputeSideLayout(const ViewRect& client, ViewSide side, std::uint32_t imageWidth,
                             std::uint32_t imageHeight, PanOffset offset, double zoom) {
    const int width = client.right - client.left;
    const int half = (10 * width) / 21;
    SideLayout out;
    if (side == ViewSide::Left) {
        out.panel = ViewRect{0, 0, half, half};
    } else {
        out.panel = ViewRect{client.right - half, 0, client.right, half};
    }
    const double cx = out.panel.left + 0.5 * half;
    const double cy = out.panel.top + 0.5 * half;
    out.image.left = TruncToInt(offset.x + cx - 0.5 * half * zoom);
    out.image.top = TruncToInt(offset.y + cy - 0.5 * half * zoom);
    out.image.right =
        ClampCoord(static_cast<long long>(out.image.left) + TruncToInt(imageWidth * zoom));
    out.image.bottom =
        ClampCoord(static_cast<long long>(out.image.top) + TruncToInt(imageHeight * zoom));
    return out;
}

ScreenToImageResult MapScreenToImage(IntPoint p, const SideLayout& layout, std::uint32_t imageWidth,
                                     std::uint32_t imageHeight) {
    ScreenToImageResult r;
    const ViewRect visible = layout.panel.Intersect(layout.image);
    // Products in 64 bits: a deep zoom makes them larger than an int holds.
    const long long nx = static_cast<long long>(imageWidth) * (p.x - layout.image.left);
    const long long ny = static_cast<long long>(imageHeight) * (p.y - layout.image.top);
    if (!layout.image.IsEmpty()) {
        r.pt.x = static_cast<double>(nx) / static_cast<double>(layout.image.Width());
        r.pt.y = static_cast<double>(ny) / static_cast<double>(layout.image.Height());
    }
    r.inside = visible.Contains(p.x, p.y);
    r.inPanel = !r.inside && layout.panel.Contains(p.x, p.y);
    return r;
}

ImageToScreenResult MapImageToScreen(const ImagePoint& q, const SideLayout& layout,
                                     std::uint32_t imageWidth, std::uint32_t imageHeight) {
    ImageToScreenResult r;
    r.x = q.x / imageWidth * layout.image.Width() + layout.image.left;
    r.y = q.y / imageHeight * layout.image.Height() + layout.image.top;
    const IntPoint rounded = RoundHalfAway(r.x, r.y);
    const ViewRect visible = layout.panel.Intersect(layout.image);
    r.visible = visible.Contains(rounded.x, rounded.y);
    r.inPanel = !r.visible && layout.panel.Contains(rounded.x, rounded.y);
    return r;
}

IntPoint RoundHalfAway(double x, double y) {
    const auto round = [](double v) {
        const int t = TruncToInt(v);
        if (v >= 0 && v - t >= 0.5) {
            return t + 1;
        }
        if (v < 0 && v - t <= -0.5) {
            return t - 1;
        }
        return t;
    };
    return IntPoint{round(x), round(y)};
}

ViewRect VisiblePanel(const ViewRect& client, ViewSide side) {
    return ComputeSideLayout(client, side, 0, 0, {}, 1.0).panel.Intersect(client);
}

double FitZoom(const ViewRect& box, std::uint32_t width, std::uint32_t height) {
    if (box.IsEmpty() || width == 0 || height == 0) {
        return 1.0;
    }
    // The drawn size is truncated, so a fitted image never reaches past the
    // box; the smaller ratio of the two sides decides.
    return std::min(static_cast<double>(box.Width()) / width,
                    static_cast<double>(box.Height()) / height);
}

PanOffset CentredOffset(const ViewRect& client, ViewSide side, const ViewRect& box,
                        std::uint32_t width, std::uint32_t height, double zoom) {
    const SideLayout unpanned = ComputeSideLayout(client, side, width, height, {}, zoom);
    // The corner in whole screen pixels; the half pixel added keeps the
    // truncation in ComputeSideLayout from landing one pixel short.
    const double left = box.left + std::floor(0.5 * (box.Width() - unpanned.image.Width()));
    const double top = box.top + std::floor(0.5 * (box.Height() - unpanned.image.Height()));
    const double half = unpanned.panel.Width();
    const double cx = unpanned.panel.left + 0.5 * half;
    const double cy = unpanned.panel.top + 0.5 * half;
    const auto place = [&](double corner, double centre) {
        const double offset = corner - (centre - 0.5 * half * zoom);
        return corner >= 0 ? offset + 0.5 : offset - 0.5;
    };
    return PanOffset{place(left, cx), place(top, cy)};
}

PanOffset OffsetForZoomChange(PanOffset offset, double fromZoom, double toZoom) {
    if (!(fromZoom > 0.0) || !(toZoom > 0.0)) {
        return offset;
    }
    const double ratio = toZoom / fromZoom;
    return PanOffset{offset.x * ratio, offset.y * ratio};
}

int NearestZoomStep(double zoom) {
    if (!(zoom > 0.0) || !std::isfinite(zoom)) {
        return 0;
    }
    return ClampZoomStep(std::llround(std::clamp(-10.0 * std::log(zoom), -1e6, 1e6)));
}
