// The measurement workspace in the images: the marks of the rows selected
// in the table drawn highlighted, each measurement's error ellipse, picking a
// mark, and bringing marks into view.
#include "viewer/ChildView.h"

#include "stereo/ImageEllipse.h"
#include "viewer/OneImageView.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QColor kHighlightColour(0, 255, 0);
const QColor kEllipseColour(255, 140, 0);
constexpr int kHighlightRadius = 7;
// How far the projection of a measured point may lie from its mark before
// the pair's cameras are taken to be in another frame than the point.
constexpr double kEllipseCentreTolerancePx = 3.0;
// Marks brought into view stay this far inside the panel's edges.
constexpr double kViewMarginPx = 20.0;

Eye EyeOf(ViewSide side) {
    return side == ViewSide::Left ? Eye::Left : Eye::Right;
}

const ImagePoint& PixelOf(const MeasurementRecord& r, ViewSide side) {
    return side == ViewSide::Left ? r.leftPixel : r.rightPixel;
}

// The ellipse of r in the image of side, seen by camera; nothing when the
// point does not project onto its mark.
std::optional<ImageEllipse> EllipseOf(const ICameraProjection& camera, const MeasurementRecord& r,
                                      ViewSide side) {
    if (!r.uncertainty) {
        return std::nullopt;
    }
    const ImageEllipseResult e =
        ProjectErrorEllipse(camera, r.position, r.uncertainty->covarianceM2);
    const ImagePoint& mark = PixelOf(r, side);
    if (!e.ok || std::hypot(e.ellipse.centrePx.x - mark.x, e.ellipse.centrePx.y - mark.y) >
                     kEllipseCentreTolerancePx) {
        return std::nullopt;
    }
    return e.ellipse;
}
} // namespace

void CChildView::SetHighlightedRows(std::vector<std::size_t> rows) {
    if (m_pOneImage != nullptr) {
        m_pOneImage->SetHighlightedRows(rows);
    }
    if (rows != m_vHighlightedRows) {
        m_vHighlightedRows = std::move(rows);
        update();
    }
}

void CChildView::SetErrorEllipsesShown(bool shown) {
    m_bErrorEllipses = shown;
    if (m_pOneImage != nullptr) {
        m_pOneImage->SetErrorEllipsesShown(shown);
    }
    update();
}

std::vector<ImagePoint> CChildView::ErrorEllipseOf(std::size_t row, ViewSide side) const {
    const auto& rows = m_doc.Session().Measurements();
    const AssistedPair* assist = row < rows.size() ? Assist() : nullptr;
    const ICameraProjection* camera = assist != nullptr ? assist->Camera(EyeOf(side)) : nullptr;
    const auto e = camera != nullptr ? EllipseOf(*camera, rows[row], side) : std::nullopt;
    return e ? EllipseOutline(*e, PixelOf(rows[row], side)) : std::vector<ImagePoint>{};
}

std::optional<QPointF> CChildView::MarkOnScreen(std::size_t row, ViewSide side) const {
    const auto mark = m_doc.Session().MarkIndexOfRow(row);
    const std::vector<ImagePoint>& marks = m_doc.Session().Marks(EyeOf(side));
    if (!mark || *mark >= marks.size() || Image(side) == nullptr) {
        return std::nullopt;
    }
    const ImageToScreenResult r =
        ImageToScreen(marks[*mark], side, ComputeLayout(ClientRect(), side));
    return r.visible ? std::optional(QPointF(r.x, r.y)) : std::nullopt;
}

std::optional<std::size_t> CChildView::RowOfMarkAt(IntPoint p) const {
    std::optional<std::size_t> best;
    double bestDistance = kPickDistance;
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        if (Image(side) == nullptr) {
            continue;
        }
        const SideLayout layout = ComputeLayout(ClientRect(), side);
        if (!layout.panel.Contains(p.x, p.y)) {
            continue;
        }
        const std::vector<ImagePoint>& marks = m_doc.Session().Marks(EyeOf(side));
        for (std::size_t i = 0; i < marks.size(); ++i) {
            const ImageToScreenResult r = ImageToScreen(marks[i], side, layout);
            const double d = std::hypot(r.x - p.x, r.y - p.y);
            if (r.visible && d <= bestDistance) {
                bestDistance = d;
                best = m_doc.Session().RowOfMarkIndex(i);
            }
        }
    }
    return best;
}

void CChildView::ShowMarksOfRows(const std::vector<std::size_t>& rows) {
    const auto& records = m_doc.Session().Measurements();
    if (!HasBothImages()) {
        return;
    }
    struct Box {
        double minX = std::numeric_limits<double>::infinity();
        double minY = std::numeric_limits<double>::infinity();
        double maxX = -std::numeric_limits<double>::infinity();
        double maxY = -std::numeric_limits<double>::infinity();
        bool Empty() const { return minX > maxX; }
    };
    Box boxes[2];
    bool allShown = true;
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        Box& box = boxes[side == ViewSide::Left ? 0 : 1];
        const SideLayout layout = ComputeLayout(ClientRect(), side);
        for (const std::size_t row : rows) {
            if (row >= records.size()) {
                continue;
            }
            const ImagePoint& q = PixelOf(records[row], side);
            box.minX = std::min(box.minX, q.x);
            box.minY = std::min(box.minY, q.y);
            box.maxX = std::max(box.maxX, q.x);
            box.maxY = std::max(box.maxY, q.y);
            allShown = allShown && ImageToScreen(q, side, layout).visible;
        }
    }
    if (allShown || boxes[0].Empty()) {
        return;
    }
    // Zoom out until both sides' marks fit their panels (a view not laid out
    // yet has no room to fit them in: it is left as it is).
    const int half = ComputeLayout(ClientRect(), ViewSide::Left).panel.Width();
    const double room = half - 2.0 * kViewMarginPx;
    if (room < kViewMarginPx) {
        return;
    }
    double extent = 0.0;
    for (const Box& box : boxes) {
        extent = std::max({extent, box.maxX - box.minX, box.maxY - box.minY});
    }
    while (m_nZoomStep < kMaxZoomStep && extent * m_dZoom > room) {
        SetZoomStep(m_nZoomStep + 1);
    }
    // Then centre each side's marks in its panel.
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        const Box& box = boxes[side == ViewSide::Left ? 0 : 1];
        const double cx = 0.5 * (box.minX + box.maxX);
        const double cy = 0.5 * (box.minY + box.maxY);
        SetOffset(side, PanOffset{std::round(0.5 * half * m_dZoom - cx * m_dZoom),
                                  std::round(0.5 * half * m_dZoom - cy * m_dZoom)});
    }
    update();
}

void CChildView::DrawWorkspaceMarks(QPainter& p, ViewSide side, const SideLayout& layout) const {
    const auto& rows = m_doc.Session().Measurements();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(
        QRect(layout.panel.left, layout.panel.top, layout.panel.Width(), layout.panel.Height())
            .intersected(QRect(layout.image.left, layout.image.top, layout.image.Width(),
                               layout.image.Height())));
    const auto toScreen = [&](const ImagePoint& q) {
        const ImageToScreenResult r = ImageToScreen(q, side, layout);
        return QPointF(r.x, r.y);
    };
    if (m_bErrorEllipses) {
        // Projected once per change of the measurements or the cameras.
        auto& ellipses = m_vEllipses[side == ViewSide::Left ? 0 : 1];
        if (m_nEllipsesRevision != m_doc.Session().Revision() ||
            m_nEllipsesCameras != m_nCameraChanges) {
            m_nEllipsesRevision = m_doc.Session().Revision();
            m_nEllipsesCameras = m_nCameraChanges;
            const AssistedPair* assist = Assist();
            for (const ViewSide s : {ViewSide::Left, ViewSide::Right}) {
                auto& list = m_vEllipses[s == ViewSide::Left ? 0 : 1];
                list.assign(rows.size(), std::nullopt);
                const ICameraProjection* camera =
                    assist != nullptr ? assist->Camera(EyeOf(s)) : nullptr;
                for (std::size_t row = 0; camera != nullptr && row < rows.size(); ++row) {
                    list[row] = EllipseOf(*camera, rows[row], s);
                }
            }
        }
        p.setPen(QPen(kEllipseColour, 1));
        p.setBrush(Qt::NoBrush);
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (!m_doc.Session().RowHasMarks(row) ||
                !ImageToScreen(PixelOf(rows[row], side), side, layout).visible) {
                continue;
            }
            const auto& e = ellipses[row];
            // Less than a screen pixel across hides under the cross; the
            // outline has as many corners as its size needs.
            const double radius = e ? e->semiMajorPx * m_dZoom : 0.0;
            if (radius < 0.5) {
                continue;
            }
            QPolygonF outline;
            const int segments = static_cast<int>(std::clamp(radius * 2.0, 8.0, 48.0));
            for (const ImagePoint& q : EllipseOutline(*e, PixelOf(rows[row], side), segments)) {
                outline << toScreen(q);
            }
            p.drawPolygon(outline);
        }
    }
    p.setPen(QPen(kHighlightColour, 2));
    p.setBrush(Qt::NoBrush);
    for (const std::size_t row : m_vHighlightedRows) {
        if (row >= rows.size() || !m_doc.Session().RowHasMarks(row)) {
            continue;
        }
        const ImageToScreenResult r = ImageToScreen(PixelOf(rows[row], side), side, layout);
        if (r.visible) {
            const QPointF c(r.x, r.y);
            p.drawEllipse(c, kHighlightRadius, kHighlightRadius);
            p.drawLine(c - QPointF(kHighlightRadius, 0), c + QPointF(kHighlightRadius, 0));
            p.drawLine(c - QPointF(0, kHighlightRadius), c + QPointF(0, kHighlightRadius));
        }
    }
    p.restore();
}
