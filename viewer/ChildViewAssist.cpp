// The view's help with the second click: the epipolar curve of the current
// mark, auto-match of a click, and Auto-Detect Vertex Pairs.
#include "viewer/ChildView.h"

#include "base/Format.h"
#include "matching/Corners.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
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

void CChildView::AutoMatchClick(Eye clicked, const ImagePoint& click) {
    const AssistedPair* assist = Assist();
    if (assist == nullptr) {
        return;
    }
    const MatchResult r = assist->Match(clicked, click);
    if (!r.ok) {
        // A partner matched to an earlier click is not this click's partner.
        if (m_doc.Session().Origin(Other(clicked)).matched) {
            m_doc.Session().ClearMark(Other(clicked));
        }
        ShowStatus("No match: " + r.reason + "; click the partner");
        return;
    }
    m_doc.SetMatchedMark(Other(clicked), r.pixel, r.score, r.sigmaPx);
    ShowStatus(StrFormat("Matched (%.2f, %.2f): score %.3f, ambiguity %.2f, back %.2f px",
                         r.pixel.x, r.pixel.y, r.score, r.ambiguity, r.consistencyPx));
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
    if (ICalcDialog* dlg = CalcDialog()) {
        dlg->AutoMatchChanged();
    }
}

void CChildView::CalcOptionsChanged() {
    TakeDialogOptions();
    Repaint();
}

void CChildView::TakeDialogOptions() {
    // The rig is rebuilt only when they differ from the document's.
    if (const ICalcDialog* dlg = CalcDialog()) {
        if (const auto options = dlg->CurrentOptions()) {
            m_doc.SetOptions(*options);
        }
    }
}

void CChildView::OnAutoDetectVertexPairs() {
    const AssistedPair* assist = Assist();
    if (assist == nullptr) {
        m_ui.ShowMessage("Open a stereo pair first");
        return;
    }
    if (!assist->HasCameras()) {
        m_ui.ShowMessage(assist->CamerasProblem().empty()
                             ? std::string("Select the cameras of both images first")
                             : "No cameras to match with: " + assist->CamerasProblem());
        return;
    }
    if (!m_bCalcDlgOpen) {
        OpenCalcDialog();
    }
    ICalcDialog* dlg = CalcDialog();
    if (dlg == nullptr) {
        return;
    }
    // The part of the left image on screen, in its pixels.
    const SideLayout layout = ComputeLayout(ClientRect(), ViewSide::Left);
    const ViewRect shown = layout.image.Intersect(layout.panel).Intersect(ClientRect());
    if (shown.IsEmpty()) {
        m_ui.ShowMessage("No part of the left image is on screen");
        return;
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

    const DetectOptions options;
    std::atomic<bool> cancel = false;
    DetectResult found;
    {
        const std::unique_ptr<IProgress> progress =
            m_ui.BeginProgress("Auto-Detect Vertex Pairs", options.maxPoints);
        found = DetectVertexPairs(
            assist->Matcher(), area, options,
            [&](int done, int) {
                progress->SetValue(done);
                if (progress->Cancelled()) {
                    cancel = true;
                }
            },
            &cancel);
    }

    // Each pair through CALCULATE, as if clicked and matched.
    std::vector<std::string> messages;
    const std::size_t before = m_doc.Session().Vertices().size();
    for (const DetectedPair& pair : found.pairs) {
        m_doc.SetMark(Eye::Left, pair.left);
        m_doc.SetMatchedMark(Eye::Right, pair.match.pixel, pair.match.score, pair.match.sigmaPx);
        dlg->SetLeftPixel(pair.left.x, pair.left.y);
        dlg->SetRightPixel(pair.match.pixel.x, pair.match.pixel.y);
        dlg->CalculateQuietly(messages);
    }
    const std::size_t appended = m_doc.Session().Vertices().size() - before;
    if (appended > 0) {
        // One step that undo takes back whole.
        emit MeasurementsAppended(m_doc.Session().Measurements().size() - appended, appended,
                                  QStringLiteral("Auto-Detect Vertex Pairs"));
    }
    Repaint();
    std::string summary = StrFormat(
        "Auto-Detect Vertex Pairs%s: %d corners found, %d matched, %d refused; %u measurements "
        "appended",
        found.cancelled ? " (cancelled)" : "", found.found, found.matched, found.refused,
        static_cast<unsigned>(appended));
    if (!messages.empty()) {
        summary += StrFormat("\n%u calculations failed: %s", static_cast<unsigned>(messages.size()),
                             messages.front().c_str());
    }
    SignalCompletion(m_ui, m_bDisableBeeps, summary);
}
