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

bool IsStereoCommand(int commandId) {
    switch (commandId) {
    case ID_SHOW_CALC_CONTROL:
    case ID_SWAP_IMAGES:
    case ID_EPIPOLAR_CURVE:
    case ID_AUTO_MATCH:
    case ID_ERROR_ELLIPSES:
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

COneImageView::COneImageView(IUiServices& ui, ImageDatabase& db, PairDocument& doc, QWidget* parent)
    : QWidget(parent), m_ui(ui), m_db(db), m_doc(doc) {
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
    const ImageSize size{static_cast<int>(image->GetWidth()), static_cast<int>(image->GetHeight())};
    m_camera = MakeMonoCamera(file, m_doc.Setup().options, m_db, size);
    m_sFile = file;
    m_pImage = std::move(image);
    m_dense = std::move(dense);
    m_dZoom = 1.0;
    m_pan = {};
    m_doc.Open({file, {}, {size, std::nullopt}, m_doc.Setup().options});
    setGeometry(parentWidget() != nullptr ? parentWidget()->rect() : geometry());
    show();
    raise();
    if (!m_camera.camera) {
        ShowStatus("No range from this image: " + m_camera.problem);
    } else {
        ShowStatus(std::string("One image: a click measures on the ") +
                   (m_dense ? "range map of its pair, else the ground plane (" : "ground plane (") +
                   m_camera.source +
                   (m_camera.note.empty() ? std::string() : "; " + m_camera.note) + ")");
    }
    update();
    return true;
}

void COneImageView::Close() {
    m_pImage.reset();
    m_sFile.clear();
    m_camera = {};
    hide();
}

bool COneImageView::SetHeightSigmaM(double m) {
    if (!(m >= 0.0)) {
        return false;
    }
    m_surface.heightSigmaM = m;
    return true;
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
    const MonoSurface* surface = &m_surface;
    if (m_dense) {
        // The map first; the ground where the map shows nothing.
        r = MeasureOnSurface(*m_camera.camera, pixel, *m_dense, m_doc.ClickSigmaPx());
        if (r.ok) {
            surface = &*m_dense;
        }
    }
    if (!r.ok) {
        r = MeasureOnSurface(*m_camera.camera, pixel, m_surface, m_doc.ClickSigmaPx());
    }
    if (!r.ok) {
        ShowStatus("No range: " + r.problem);
        return r;
    }
    MeasurementSession& session = m_doc.Session();
    MeasurementRecord record =
        RecordOfMonoMeasurement(m_sFile, pixel, PixelSource::Clicked, m_doc.ClickSigmaPx(),
                                *surface, r, session.LastPosition(), UtcNow());
    session.Append(std::move(record));
    m_doc.Touch(PairDocument::Change::Measurements);
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
    // The monoscopic measurements of this image: a cross and the row's number.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 200, 0), 1.5));
    for (const MeasurementRecord& r : m_doc.Session().Measurements()) {
        if (!r.IsMono()) {
            continue;
        }
        const QPointF c = WidgetPointOf(r.leftPixel);
        p.drawLine(c - QPointF(6, 0), c + QPointF(6, 0));
        p.drawLine(c - QPointF(0, 6), c + QPointF(0, 6));
        p.drawText(c + QPointF(8, -4), QString::number(r.index));
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
