#include "viewer/OneImageView.h"

#include "base/Paths.h"
#include "products/ProductCamera.h"
#include "session/MonoRecord.h"
#include "viewer/CommandIds.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// As the pair view draws the workspace.
const QColor kMarkColour(255, 200, 0);
const QColor kHighlightColour(0, 255, 0);
const QColor kEllipseColour(255, 140, 0);
constexpr double kHighlightRadius = 7.0;
// How far the projection of a measured point may lie from its pixel before
// the image's camera is taken to be in another frame than the point.
constexpr double kEllipseCentreTolerancePx = 3.0;
} // namespace

bool IsStereoCommand(int commandId) {
    switch (commandId) {
    case ID_SHOW_CALC_CONTROL:
    case ID_SWAP_IMAGES:
    case ID_EPIPOLAR_CURVE:
    case ID_AUTO_MATCH:
    case ID_AUTO_DETECT_VERTEX_PAIRS:
    case ID_AUTO_REGISTER_VERTICES:
    case ID_VIEW_STEREO:
    case ID_RANGE_MAP:
    case ID_RANGE_OPACITY_25:
    case ID_RANGE_OPACITY_50:
    case ID_RANGE_OPACITY_75:
    case ID_RANGE_OPACITY_100:
        return true;
    default:
        return false;
    }
}

COneImageView::COneImageView(IUiServices& ui, const PairDocument& doc, QWidget* parent)
    : QWidget(parent), m_ui(ui), m_doc(doc) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    hide();
    if (parent != nullptr) {
        setGeometry(parent->rect());
        parent->installEventFilter(this);
    }
}

bool COneImageView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

bool COneImageView::Open(const std::string& chosen, std::optional<MonoSurface> dense) {
    // A raw image's record opens its image, bare product pixels their label.
    const std::string file = ImageFileToOpen(chosen);
    m_ui.BeginWaitCursor();
    std::unique_ptr<CImage> image = LoadImageFile(file);
    m_ui.EndWaitCursor();
    if (!image || !image->IsValid()) {
        m_ui.ShowMessage(image ? image->GetLastError() : "Unable to open " + file);
        return false;
    }
    const ImageSize size = image->Size();
    m_camera = MakeMonoCamera(file, m_doc.Setup().options, m_doc.Database(), size);
    m_sFile = file;
    m_pImage = std::move(image);
    m_dense = std::move(dense);
    m_dZoom = 1.0;
    m_pan = {};
    m_vHighlightedRows.clear();
    m_nEllipsesRevision.reset(); // another camera
    // Before the document drops the session's rows for the image.
    FitSessionPlane();
    setGeometry(parentWidget() != nullptr ? parentWidget()->rect() : geometry());
    show();
    raise();
    if (!m_camera.camera) {
        ShowStatus("No range from this image: " + m_camera.problem);
    } else {
        std::vector<std::string> surfaces;
        if (m_dense) {
            surfaces.push_back("range map of its pair");
        }
        if (m_fitted) {
            surfaces.push_back("plane fitted to " + std::to_string(m_fitted->fittedPoints) +
                               " measured points");
        }
        const SurfaceResult ground = VehicleGroundSurface(m_camera);
        if (ground.surface) {
            surfaces.push_back("ground plane");
        }
        std::string text = surfaces.empty() ? "One image: no surface to measure on"
                                            : "One image: a click measures on the ";
        for (size_t i = 0; i < surfaces.size(); ++i) {
            text += (i > 0 ? ", else the " : "") + surfaces[i];
        }
        text += " (" + m_camera.source +
                (m_camera.note.empty() ? std::string() : "; " + m_camera.note) + ")";
        if (!m_sFittedProblem.empty()) {
            text += "; the measured points give no plane: " + m_sFittedProblem;
        }
        if (!ground.surface) {
            text += "; " + ground.problem;
        }
        ShowStatus(text);
    }
    update();
    return true;
}

void COneImageView::FitSessionPlane() {
    m_fitted.reset();
    m_sFittedProblem.clear();
    const MeasurementSession& session = m_doc.Session();
    const auto& rows = session.Measurements();
    if (!m_camera.camera ||
        std::none_of(rows.begin(), rows.end(), [](const auto& r) { return !r.IsMono(); })) {
        return;
    }
    // The rows are the open pair's (a session of one image has no stereo rows).
    const SessionPlaneResult fitted =
        SessionPlaneSurface(session.LeftFile(), session.RightFile(), rows, m_camera);
    m_fitted = fitted.surface;
    m_sFittedProblem = fitted.otherPosition ? "the pair " + fitted.problem : fitted.problem;
}

void COneImageView::Close() {
    m_pImage.reset();
    m_sFile.clear();
    m_camera = {};
    m_fitted.reset();
    m_sFittedProblem.clear();
    m_vHighlightedRows.clear();
    hide();
}

void COneImageView::SetHighlightedRows(std::vector<std::size_t> rows) {
    if (rows != m_vHighlightedRows) {
        m_vHighlightedRows = std::move(rows);
        update();
    }
}

void COneImageView::SetErrorEllipsesShown(bool shown) {
    m_bErrorEllipses = shown;
    update();
}

const std::vector<std::optional<ImageEllipse>>& COneImageView::Ellipses() const {
    const auto& rows = m_doc.Session().Measurements();
    if (m_nEllipsesRevision != m_doc.Session().Revision() || m_vEllipses.size() != rows.size()) {
        m_nEllipsesRevision = m_doc.Session().Revision();
        m_vEllipses.assign(rows.size(), std::nullopt);
        for (std::size_t i = 0; m_camera.camera && i < rows.size(); ++i) {
            const MeasurementRecord& r = rows[i];
            if (!r.IsMono() || !r.uncertainty) {
                continue;
            }
            const ImageEllipseResult e =
                ProjectErrorEllipse(*m_camera.camera, r.position, r.uncertainty->covarianceM2);
            if (e.ok &&
                std::hypot(e.ellipse.centrePx.x - r.leftPixel.x,
                           e.ellipse.centrePx.y - r.leftPixel.y) <= kEllipseCentreTolerancePx) {
                m_vEllipses[i] = e.ellipse;
            }
        }
    }
    return m_vEllipses;
}

std::vector<ImagePoint> COneImageView::ErrorEllipseOf(std::size_t row) const {
    const auto& ellipses = Ellipses();
    if (row >= ellipses.size() || !ellipses[row]) {
        return {};
    }
    return EllipseOutline(*ellipses[row], m_doc.Session().Measurements()[row].leftPixel);
}

COneImageView::Placement COneImageView::Place() const {
    Placement p;
    if (!m_pImage || m_pImage->GetWidth() == 0 || m_pImage->GetHeight() == 0) {
        return p;
    }
    const double w = m_pImage->GetWidth(), h = m_pImage->GetHeight();
    p.scale = std::min(width() / w, height() / h) * m_dZoom;
    p.left = 0.5 * (width() - p.scale * w) + m_pan.x();
    p.top = 0.5 * (height() - p.scale * h) + m_pan.y();
    return p;
}

std::optional<ImagePoint> COneImageView::PixelAt(const QPoint& point) const {
    if (!m_pImage) {
        return std::nullopt;
    }
    const Placement p = Place();
    // Pixel centres at whole numbers: screen x covers pixel x - 0.5 .. x + 0.5.
    const ImagePoint pixel{(point.x() + 0.5 - p.left) / p.scale - 0.5,
                           (point.y() + 0.5 - p.top) / p.scale - 0.5};
    if (pixel.x < -0.5 || pixel.y < -0.5 || pixel.x > m_pImage->GetWidth() - 0.5 ||
        pixel.y > m_pImage->GetHeight() - 0.5) {
        return std::nullopt;
    }
    return pixel;
}

QPointF COneImageView::WidgetPointOf(const ImagePoint& pixel) const {
    const Placement p = Place();
    return {p.left + (pixel.x + 0.5) * p.scale, p.top + (pixel.y + 0.5) * p.scale};
}

MonoRangeResult COneImageView::MeasureAt(const ImagePoint& pixel) {
    MonoRangeResult r;
    if (!m_camera.camera) {
        r.problem = m_camera.problem.empty() ? "no image is open" : m_camera.problem;
        ShowStatus("No range: " + r.problem);
        return r;
    }
    // The map first, then the fitted plane, the ground where neither gives
    // a point.
    std::vector<MonoSurface> surfaces;
    if (m_dense) {
        surfaces.push_back(*m_dense);
    }
    if (m_fitted) {
        surfaces.push_back(*m_fitted);
    }
    const SurfaceResult ground = VehicleGroundSurface(m_camera, m_doc.GroundHeightSigmaM());
    if (ground.surface) {
        surfaces.push_back(*ground.surface);
    } else {
        r.problem = ground.problem;
    }
    const MonoSurface* surface = nullptr;
    for (const MonoSurface& s : surfaces) {
        r = MeasureOnSurface(*m_camera.camera, pixel, s, m_doc.ClickSigmaPx());
        if (r.ok) {
            surface = &s;
            break;
        }
    }
    if (surface == nullptr) {
        ShowStatus("No range: " + r.problem);
        return r;
    }
    emit Measured(RecordOfMonoMeasurement(m_sFile, pixel, PixelSource::Clicked,
                                          m_doc.ClickSigmaPx(), *surface, r,
                                          m_doc.Session().LastPosition(), UtcNow()));
    char text[200];
    std::snprintf(text, sizeof text, "Range %.3f m (1-sigma %.3f m) on the %s", r.rangeM,
                  r.uncertainty ? r.uncertainty->rangeSigmaM : 0.0, surface->Name().c_str());
    ShowStatus(text);
    update();
    return r;
}

void COneImageView::ShowStatus(const std::string& text) {
    m_sStatus = text;
    if (m_fnStatus) {
        m_fnStatus(text);
    }
}

void COneImageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!m_pImage) {
        return;
    }
    const Placement place = Place();
    const QRectF target(place.left, place.top, place.scale * m_pImage->GetWidth(),
                        place.scale * m_pImage->GetHeight());
    p.setRenderHint(QPainter::SmoothPixmapTransform, place.scale < 1.0);
    p.drawImage(target, m_pImage->Pixels());
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(target);
    DrawWorkspace(p);
}

void COneImageView::DrawWorkspace(QPainter& p) const {
    const auto& rows = m_doc.Session().Measurements();
    const double scale = Place().scale;
    if (m_bErrorEllipses) {
        p.setPen(QPen(kEllipseColour, 1));
        p.setBrush(Qt::NoBrush);
        const auto& ellipses = Ellipses();
        for (std::size_t row = 0; row < ellipses.size(); ++row) {
            const auto& e = ellipses[row];
            // Less than a screen pixel across hides under the cross; the
            // outline has as many corners as its size needs.
            const double radius = e ? e->semiMajorPx * scale : 0.0;
            if (radius < 0.5) {
                continue;
            }
            QPolygonF outline;
            const int segments = static_cast<int>(std::clamp(radius * 2.0, 8.0, 48.0));
            for (const ImagePoint& q : EllipseOutline(*e, rows[row].leftPixel, segments)) {
                outline << WidgetPointOf(q);
            }
            p.drawPolygon(outline);
        }
    }
    // The monoscopic measurements of this image: a cross and the row's number.
    p.setPen(QPen(kMarkColour, 1.5));
    for (const MeasurementRecord& r : rows) {
        if (!r.IsMono()) {
            continue;
        }
        const QPointF c = WidgetPointOf(r.leftPixel);
        p.drawLine(c - QPointF(6, 0), c + QPointF(6, 0));
        p.drawLine(c - QPointF(0, 6), c + QPointF(0, 6));
        p.drawText(c + QPointF(8, -4), QString::number(r.index));
    }
    p.setPen(QPen(kHighlightColour, 2));
    p.setBrush(Qt::NoBrush);
    for (const std::size_t row : m_vHighlightedRows) {
        if (row >= rows.size() || !rows[row].IsMono()) {
            continue;
        }
        const QPointF c = WidgetPointOf(rows[row].leftPixel);
        p.drawEllipse(c, kHighlightRadius, kHighlightRadius);
        p.drawLine(c - QPointF(kHighlightRadius, 0), c + QPointF(kHighlightRadius, 0));
        p.drawLine(c - QPointF(0, kHighlightRadius), c + QPointF(0, kHighlightRadius));
    }
}

void COneImageView::FitImage() {
    m_dZoom = 1.0;
    m_pan = {};
    update();
}

void COneImageView::ShowActualSize() {
    if (m_pImage) {
        ZoomAbout(1.0 / Place().scale, QPointF(0.5 * width(), 0.5 * height()));
    }
}

void COneImageView::ZoomBy(double factor) {
    ZoomAbout(factor, QPointF(0.5 * width(), 0.5 * height()));
}

void COneImageView::ZoomAbout(double factor, const QPointF& at) {
    const double zoom = std::clamp(m_dZoom * factor, 0.25, 64.0);
    const double applied = zoom / m_dZoom;
    // The point under `at` keeps its place: the image centre moves away
    // from it by the same factor.
    const QPointF centre(0.5 * width(), 0.5 * height());
    const QPointF imageCentre = centre + m_pan;
    m_pan = at + (imageCentre - at) * applied - centre;
    m_dZoom = zoom;
    update();
}

void COneImageView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) {
        ZoomAbout(std::pow(1.25, steps), event->position());
    }
}

void COneImageView::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragFrom) {
        m_pan += event->position() - *m_dragFrom;
        m_dragFrom = event->position();
        update();
    }
}

void COneImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        m_dragFrom.reset();
    }
}

void COneImageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        m_dragFrom = event->position();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (const auto pixel = PixelAt(event->position().toPoint())) {
        MeasureAt(*pixel);
    }
}
