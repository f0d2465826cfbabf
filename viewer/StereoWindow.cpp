#include "viewer/StereoWindow.h"

#include "base/AtomicFile.h"
#include "stereo/DenseExport.h"
#include "viewer/ViewGeometry.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

QImage ToQImage(const RgbImage& image) {
    if (image.Empty()) {
        return {};
    }
    return QImage(image.rgb.data(), image.width, image.height, image.width * 3,
                  QImage::Format_RGB888)
        .copy();
}

double ClampZoom(double zoom) {
    return std::clamp(zoom, ZoomForStep(kMaxZoomStep), ZoomForStep(kMinZoomStep));
}

} // namespace

CStereoCanvas::CStereoCanvas(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
}

void CStereoCanvas::SetPicture(QImage picture) {
    const bool sameSize = picture.size() == m_picture.size();
    m_picture = std::move(picture);
    if (!sameSize || m_fitted) {
        FitToWindow();
    }
    update();
}

void CStereoCanvas::FitToWindow() {
    m_fitted = true;
    if (m_picture.isNull() || width() <= 0 || height() <= 0) {
        return;
    }
    m_zoom = ClampZoom(std::min(static_cast<double>(width()) / m_picture.width(),
                                static_cast<double>(height()) / m_picture.height()));
    m_pan = QPointF((width() - m_zoom * m_picture.width()) / 2,
                    (height() - m_zoom * m_picture.height()) / 2);
    update();
}

void CStereoCanvas::ActualSize() {
    ZoomAbout(1.0 / m_zoom, QPointF(width() / 2.0, height() / 2.0));
}

void CStereoCanvas::ZoomBySteps(int steps) {
    ZoomAbout(std::exp(-0.1 * steps), QPointF(width() / 2.0, height() / 2.0));
}

void CStereoCanvas::ZoomAbout(double factor, QPointF screen) {
    const double zoom = ClampZoom(m_zoom * factor);
    // The picture point under screen stays there.
    const QPointF picturePoint = (screen - m_pan) / m_zoom;
    m_zoom = zoom;
    m_pan = screen - picturePoint * m_zoom;
    m_fitted = false;
    update();
}

void CStereoCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (m_picture.isNull()) {
        return;
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform, m_zoom < 1.0);
    p.drawImage(QRectF(m_pan, QSizeF(m_picture.width() * m_zoom, m_picture.height() * m_zoom)),
                m_picture);
}

void CStereoCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton || event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragLast = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
}

void CStereoCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        return;
    }
    const QPoint p = event->position().toPoint();
    m_pan += QPointF(p - m_dragLast);
    m_dragLast = p;
    m_fitted = false;
    update();
}

void CStereoCanvas::mouseReleaseEvent(QMouseEvent*) {
    m_dragging = false;
    unsetCursor();
}

void CStereoCanvas::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) {
        ZoomAbout(std::exp(0.1 * steps), event->position());
    }
}

void CStereoCanvas::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_Plus:
        ZoomBySteps(-1);
        return;
    case Qt::Key_PageDown:
    case Qt::Key_Minus:
        ZoomBySteps(+1);
        return;
    case Qt::Key_0:
        if (ctrl) {
            FitToWindow();
            return;
        }
        break;
    case Qt::Key_1:
        if (ctrl) {
            ActualSize();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void CStereoCanvas::resizeEvent(QResizeEvent*) {
    if (m_fitted) {
        FitToWindow();
    }
}

CStereoWindow::CStereoWindow(IUiServices& ui, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(ui) {
    setWindowTitle(kTitle);
    setObjectName("StereoWindow");
    m_modes = new QComboBox(this);
    m_modes->addItem("Anaglyph (red/cyan)", static_cast<int>(StereoPictureMode::GreyAnaglyph));
    m_modes->addItem("Colour anaglyph (red/cyan)",
                     static_cast<int>(StereoPictureMode::ColourAnaglyph));
    m_modes->addItem("Cross-eyed side by side", static_cast<int>(StereoPictureMode::CrossEyed));
    m_modes->addItem("Parallel side by side", static_cast<int>(StereoPictureMode::Parallel));
    auto* fit = new QPushButton("Fit", this);
    auto* actual = new QPushButton("1:1", this);
    auto* exportButton = new QPushButton("Export PNG...", this);
    exportButton->setObjectName("ExportPng");
    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    m_problem->hide();
    m_canvas = new CStereoCanvas(this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_modes);
    bar->addWidget(fit);
    bar->addWidget(actual);
    bar->addStretch(1);
    bar->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_problem);
    layout->addWidget(m_canvas, 1);
    resize(900, 600);

    connect(m_modes, &QComboBox::currentIndexChanged, this, [this](int index) {
        SetMode(static_cast<StereoPictureMode>(m_modes->itemData(index).toInt()));
    });
    connect(fit, &QPushButton::clicked, m_canvas, &CStereoCanvas::FitToWindow);
    connect(actual, &QPushButton::clicked, m_canvas, &CStereoCanvas::ActualSize);
    connect(exportButton, &QPushButton::clicked, this, [this] { ExportPicture(); });
}

void CStereoWindow::SetSource(const StereoSource& source) {
    m_left = {};
    m_right = {};
    m_leftColour.reset();
    m_rightColour.reset();
    if (source.rect) {
        const StereoRectification& rect = *source.rect;
        m_left = rect.Resample(Eye::Left, source.left);
        m_right = rect.Resample(Eye::Right, source.right);
        if (source.leftColour && source.rightColour) {
            const auto resample = [&](Eye eye, const ColourPlanes& planes) {
                std::vector<GreyImage> r =
                    rect.Resample(eye, {&planes.red, &planes.green, &planes.blue});
                return ColourPlanes{std::move(r[0]), std::move(r[1]), std::move(r[2])};
            };
            m_leftColour = resample(Eye::Left, *source.leftColour);
            m_rightColour = resample(Eye::Right, *source.rightColour);
        }
    }
    m_problem->setText(QString::fromStdString(source.problem));
    m_problem->setVisible(!source.problem.empty());
    // The colour anaglyph only where there is colour.
    if (auto* items = qobject_cast<QStandardItemModel*>(m_modes->model())) {
        const int colour = m_modes->findData(static_cast<int>(StereoPictureMode::ColourAnaglyph));
        if (QStandardItem* item = items->item(colour)) {
            item->setEnabled(HasColour());
        }
    }
    if (!HasColour() && m_mode == StereoPictureMode::ColourAnaglyph) {
        m_mode = StereoPictureMode::GreyAnaglyph;
    }
    Rebuild();
}

void CStereoWindow::SetMode(StereoPictureMode mode) {
    m_mode = mode;
    const int index = m_modes->findData(static_cast<int>(mode));
    if (index >= 0 && m_modes->currentIndex() != index) {
        const QSignalBlocker block(m_modes);
        m_modes->setCurrentIndex(index);
    }
    Rebuild();
}

void CStereoWindow::Rebuild() {
    if (m_left.Empty()) {
        m_shown = {};
    } else {
        switch (m_mode) {
        case StereoPictureMode::ColourAnaglyph:
            m_shown = m_leftColour && m_rightColour
                          ? MakeColourAnaglyph(*m_leftColour, *m_rightColour)
                          : MakeStereoImage(m_left, m_right, StereoImageMode::Anaglyph);
            break;
        case StereoPictureMode::GreyAnaglyph:
            m_shown = MakeStereoImage(m_left, m_right, StereoImageMode::Anaglyph);
            break;
        case StereoPictureMode::CrossEyed:
            m_shown = MakeStereoImage(m_left, m_right, StereoImageMode::Cross);
            break;
        case StereoPictureMode::Parallel:
            m_shown = MakeStereoImage(m_left, m_right, StereoImageMode::Parallel);
            break;
        }
    }
    m_canvas->SetPicture(ToQImage(m_shown));
}

bool CStereoWindow::ExportPicture() {
    if (m_shown.Empty()) {
        m_ui.ShowMessage("There is no stereo picture to export");
        return false;
    }
    FileChooserRequest request;
    request.title = kExportTitle;
    request.filter = "PNG Images|*.png||";
    request.confirmOverwrite = true;
    request.defaultSuffix = "png";
    const std::string path = m_ui.ChooseSaveFile(request);
    if (path.empty()) {
        return false;
    }
    const std::string bytes = EncodePng(m_shown);
    std::string error = "the picture could not be encoded";
    if (bytes.empty() || !WriteFileAtomically(path, bytes, &error)) {
        m_ui.ShowMessage("Unable to write " + path + ": " + error);
        return false;
    }
    return true;
}
