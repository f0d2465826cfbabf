// The view's help with the second click: the epipolar curve of the current
// mark and auto-match of a click.
#include "viewer/ChildView.h"

#include "base/Format.h"
#include "matching/Corners.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
const QColor kEpipolarColour(0, 200, 255);
constexpr double kTickHalfLength = 4.0;

Eye EyeOf(ViewSide side) {
    return side == ViewSide::Left ? Eye::Left : Eye::Right;
}

Eye Other(Eye eye) {
    return eye == Eye::Left ? Eye::Right : Eye::Left;
}

std::string RangeText(double rangeM) {
    return StrFormat("%g m", rangeM);
}

// A label's box clears all the others.
bool LabelFits(const QRectF& box, const std::vector<QRectF>& drawn) {
    return std::none_of(drawn.begin(), drawn.end(),
                        [&](const QRectF& other) { return other.intersects(box); });
}
} // namespace

const AssistedPair* CChildView::Assist() const {
    if (!HasBothImages()) {
        return nullptr;
    }
    if (!m_pAssist) {
        const auto grey = [](const CImage& image) {
            GreyImage g = GreyOfImage(image.Samples());
            g.smoothed = image.WasMosaic(); // a raw mosaic's luminance, through the binomial
            return g;
        };
        m_pAssist = std::make_unique<AssistedPair>(grey(*m_pLeftImage), grey(*m_pRightImage));
    }
    // The cameras as CALCULATE takes them now: the document's, which the
    // dialog's options choose (CalcOptionsChanged).
    if (m_nAssistCameras != m_nCameraChanges) {
        m_pAssist->SetCameras(m_doc.Rig().Cameras());
        m_nAssistCameras = m_nCameraChanges;
    }
    return m_pAssist.get();
}

void CChildView::DrawEpipolarCurve(QPainter& p, ViewSide side, const SideLayout& layout) const {
    const Eye from = Other(EyeOf(side));
    const std::optional<ImagePoint> mark = m_doc.Session().Mark(from);
    if (!m_bEpipolarCurve || !mark) {
        return;
    }
    const AssistedPair* assist = Assist();
    if (assist == nullptr || !assist->HasCameras()) {
        return;
    }
    const EpipolarCurveResult curve = assist->Curve(from, *mark);
    if (!curve.ok) {
        return;
    }
    const CImage* image = Image(side);
    const auto toScreen = [&](const ImagePoint& q) {
        const ImageToScreenResult r =
            MapImageToScreen(q, layout, image->GetWidth(), image->GetHeight());
        return QPointF(r.x, r.y);
    };
    p.save();
    p.setClipRect(
        QRect(layout.panel.left, layout.panel.top, layout.panel.Width(), layout.panel.Height())
            .intersected(QRect(layout.image.left, layout.image.top, layout.image.Width(),
                               layout.image.Height())));
    p.setPen(QPen(kEpipolarColour, 1));
    QPolygonF line;
    for (const ImagePoint& q : curve.points) {
        line << toScreen(q);
    }
    p.drawPolyline(line);
    // Each tick across the curve, its range beside it where the label clears
    // every label drawn so far (toward the far end the ticks crowd together,
    // and a bending curve can bring a far tick back over a near one).
    const QFontMetrics fm(p.font());
    std::vector<QRectF> labels;
    for (const EpipolarTick& tick : curve.ticks) {
        const QPointF at = toScreen(tick.pixel);
        qsizetype nearest = 0;
        double best = INFINITY;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QPointF d = line[i] - at;
            const double d2 = QPointF::dotProduct(d, d);
            if (d2 < best) {
                best = d2;
                nearest = i;
            }
        }
        const qsizetype a = nearest > 0 ? nearest - 1 : nearest;
        const qsizetype b = std::min(nearest + 1, line.size() - 1);
        QPointF along = line[b] - line[a];
        const double length = std::hypot(along.x(), along.y());
        along = length > 0 ? along / length : QPointF(1, 0);
        const QPointF across(-along.y() * kTickHalfLength, along.x() * kTickHalfLength);
        p.drawLine(at - across, at + across);
        const QString text = QString::fromStdString(RangeText(tick.rangeM));
        const QPointF origin = at + across + QPointF(2, fm.ascent() / 2.0);
        const QRectF box(origin.x(), origin.y() - fm.ascent(), fm.horizontalAdvance(text) + 4,
                         fm.height());
        if (LabelFits(box, labels)) {
            p.drawText(origin, text);
            labels.push_back(box);
        }
    }
    p.restore();
}

void CChildView::ShowStatus(const std::string& text) {
    m_sStatus = text;
    if (m_fnStatus) {
        m_fnStatus(text);
    }
}

void CChildView::OnEpipolarCurve() {
    m_bEpipolarCurve = !m_bEpipolarCurve;
    Repaint();
}

void CChildView::OnAutoMatch() {
    SetAutoMatch(!m_bAutoMatch);
}

void CChildView::SetAutoMatch(bool on) {
    m_bAutoMatch = on;
    emit AutoMatchChanged();
}

std::optional<PixelRect> CChildView::LeftImageOnScreen() const {
    if (!m_pLeftImage) {
        return std::nullopt;
    }
    const SideLayout layout = ComputeLayout(ClientRect(), ViewSide::Left);
    const ViewRect shown = layout.image.Intersect(layout.panel).Intersect(ClientRect());
    if (shown.IsEmpty()) {
        return std::nullopt;
    }
    const CImage& left = *m_pLeftImage;
    const ScreenToImageResult a =
        MapScreenToImage({shown.left, shown.top}, layout, left.GetWidth(), left.GetHeight());
    const ScreenToImageResult b = MapScreenToImage({shown.right - 1, shown.bottom - 1}, layout,
                                                   left.GetWidth(), left.GetHeight());
    PixelRect area;
    area.x = static_cast<int>(std::floor(std::min(a.pt.x, b.pt.x)));
    area.y = static_cast<int>(std::floor(std::min(a.pt.y, b.pt.y)));
    area.width = static_cast<int>(std::ceil(std::max(a.pt.x, b.pt.x))) - area.x + 1;
    area.height = static_cast<int>(std::ceil(std::max(a.pt.y, b.pt.y))) - area.y + 1;
    return area;
}
