#include "viewer/ChildView.h"

#include "base/Format.h"
#include "base/Paths.h"
#include "viewer/OneImageView.h"
#include "viewer/RangeMapTool.h"

#include <QPainter>
#include <QRegion>
#include <QSettings>

#include <cmath>
#include <filesystem>

namespace {
const QColor kStoredMarkColour(255, 0, 255);
const QColor kCurrentMarkColour(255, 255, 0);
constexpr int kLabelCellHeight = 12;

QRect ToQRect(const ViewRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// A cross of two 10-pixel arms; as with the platform's lines, each arm stops
// one pixel short of its end point.
void DrawCross(QPainter& p, double sx, double sy) {
    const int x = TruncToInt(sx);
    const int y = TruncToInt(sy);
    const int top = TruncToInt(sy - 5);
    const int bottom = TruncToInt(sy + 5);
    const int left = TruncToInt(sx - 5);
    const int right = TruncToInt(sx + 5);
    p.drawLine(QPoint(x, top), QPoint(x, bottom - 1));
    p.drawLine(QPoint(left, y), QPoint(right - 1, y));
}

// Black text on a white box one character cell high, its top-left corner
// just below and right of the mark.
void DrawLabel(QPainter& p, double sx, double sy, std::size_t index) {
    const QString text = QString::fromStdString(StrFormat("%u", static_cast<unsigned>(index)));
    const QFontMetrics fm(p.font());
    const QRect box(TruncToInt(sx + 0.25), TruncToInt(sy + 0.25), fm.horizontalAdvance(text),
                    kLabelCellHeight);
    p.fillRect(box, Qt::white);
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() + fm.ascent(), text);
}

// Arial with a character cell (ascent plus descent) of 12 pixels: the
// largest pixel size whose cell still fits.
QFont LabelFont() {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setPixelSize(kLabelCellHeight);
    while (font.pixelSize() > 1 && QFontMetrics(font).height() > kLabelCellHeight) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}
} // namespace

CChildView::CChildView(IUiServices& ui, const PairDocument& doc, QWidget* parent)
    : QWidget(parent), m_ui(ui), m_doc(doc) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setAcceptDrops(true);
    setCursor(Qt::ArrowCursor);
    ReadSettings();
    m_doc.Subscribe([this](PairDocument::Change change) {
        if (change == PairDocument::Change::Cameras || change == PairDocument::Change::Pair) {
            ++m_nCameraChanges;
        }
    });
    CreateStereoTools();
}

CChildView::~CChildView() {
    m_pRangeMap.reset();
    OnDestroy();
    ReleaseImages();
}

void CChildView::ReadSettings() {
    QSettings settings(kSettingsName, kSettingsName);
    settings.beginGroup(kSettingsName);
    m_sFilePath = settings.value("m_sFilePath", QString()).toString().toStdString();
    m_bDisableBeeps = settings.value("m_bDisableBeeps", 0).toInt() != 0;
    m_bEpipolarCurve = settings.value("m_bEpipolarCurve", 1).toInt() != 0;
    m_bAutoMatch = settings.value("m_bAutoMatch", 0).toInt() != 0;
    m_bErrorEllipses = settings.value("m_bErrorEllipses", 0).toInt() != 0;
}

void CChildView::OnDestroy() {
    QSettings settings(kSettingsName, kSettingsName);
    settings.beginGroup(kSettingsName);
    settings.setValue("m_sFilePath", QString::fromStdString(m_sFilePath));
    settings.setValue("m_bDisableBeeps", m_bDisableBeeps ? 1 : 0);
    settings.setValue("m_bEpipolarCurve", m_bEpipolarCurve ? 1 : 0);
    settings.setValue("m_bAutoMatch", m_bAutoMatch ? 1 : 0);
    settings.setValue("m_bErrorEllipses", m_bErrorEllipses ? 1 : 0);
    settings.endGroup();
    settings.sync();
}

const CImage* CChildView::Image(ViewSide side) const {
    return side == ViewSide::Left ? m_pLeftImage.get() : m_pRightImage.get();
}

SideLayout CChildView::ComputeLayout(const ViewRect& client, ViewSide side) const {
    const CImage* image = Image(side);
    const PanOffset offset = side == ViewSide::Left ? m_ptLeftOffset : m_ptRightOffset;
    return ComputeSideLayout(client, side, image ? image->GetWidth() : 0,
                             image ? image->GetHeight() : 0, offset, m_dZoom);
}

ScreenToImageResult CChildView::ScreenToImage(IntPoint p, ViewSide side,
                                              const SideLayout& layout) const {
    const CImage* image = Image(side);
    if (image == nullptr) {
        return {};
    }
    return MapScreenToImage(p, layout, image->GetWidth(), image->GetHeight());
}

ImageToScreenResult CChildView::ImageToScreen(const ImagePoint& q, ViewSide side,
                                              const SideLayout& layout) const {
    const CImage* image = Image(side);
    if (image == nullptr) {
        return {};
    }
    return MapImageToScreen(q, layout, image->GetWidth(), image->GetHeight());
}

std::string CChildView::TitleText() const {
    if (IsOneImage()) {
        return StrFormat("%s -- IMAGE(%s)", kBaseTitle,
                         PathTitle(m_doc.Session().LeftFile()).c_str());
    }
    if (!HasBothImages()) {
        return kBaseTitle;
    }
    const std::string left = PathTitle(m_doc.Session().LeftFile());
    const std::string right = PathTitle(m_doc.Session().RightFile());
    if (m_bHoverVertex) {
        // Numbered from 1, as the marks' labels and the table are.
        return StrFormat("%s -[%u]- LEFT(%s)  RIGHT(%s)", kBaseTitle, m_nHoverVertex + 1,
                         left.c_str(), right.c_str());
    }
    return StrFormat("%s -- LEFT(%s)  RIGHT(%s)", kBaseTitle, left.c_str(), right.c_str());
}

void CChildView::UpdateTitle() {
    window()->setWindowTitle(QString::fromStdString(TitleText()));
}

void CChildView::SetZoomStep(long long step) {
    m_eFit = FitMode::Off;
    m_nZoomStep = ClampZoomStep(step);
    m_dZoom = ZoomForStep(m_nZoomStep);
}

void CChildView::ResetZoomAndPan() {
    m_eFit = FitMode::Off;
    m_dZoom = 1.0;
    m_ptLeftOffset = PanOffset{};
    m_ptRightOffset = PanOffset{};
    m_nZoomStep = 0;
}

void CChildView::SetImage(ViewSide side, std::unique_ptr<CImage> image) {
    DropAssist();
    std::unique_ptr<CImage>& held = side == ViewSide::Left ? m_pLeftImage : m_pRightImage;
    if (held) {
        held->Destroy();
    }
    held = std::move(image);
}

void CChildView::ReleaseImages() {
    DropAssist();
    for (auto* image : {&m_pLeftImage, &m_pRightImage}) {
        if (*image) {
            (*image)->Destroy();
            image->reset();
        }
    }
}

void CChildView::RenderTo(QImage& buffer) const {
    const ViewRect client = ClientRect();
    const ViewRect bounds{0, 0, buffer.width(), buffer.height()};
    QRegion black(ToQRect(bounds));
    for (ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        if (Image(side) != nullptr) {
            const SideLayout layout = ComputeLayout(client, side);
            black -= ToQRect(layout.image.Intersect(layout.panel).Intersect(bounds));
        }
    }
    {
        QPainter p(&buffer);
        for (const QRect& r : black) {
            p.fillRect(r, Qt::black);
        }
    }
    DrawEmptyHint(buffer);

    const QFont labelFont = LabelFont();
    const QPen storedPen(kStoredMarkColour, 1);
    const QPen currentPen(kCurrentMarkColour, 1);
    // Each side in turn, its image and then its marks: the right image covers
    // whatever of the left side's crosses and labels reaches into its panel.
    for (ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        const CImage* image = Image(side);
        if (image == nullptr) {
            continue;
        }
        const SideLayout layout = ComputeLayout(client, side);
        image->Draw(buffer, layout.image, &layout.panel);

        QPainter p(&buffer);
        if (side == ViewSide::Left) {
            DrawRangeMap(p, layout);
        }
        DrawEpipolarCurve(p, side, layout);
        p.setFont(labelFont);
        const bool left = side == ViewSide::Left;
        const std::vector<ImagePoint>& marks = m_doc.Session().Marks(left ? Eye::Left : Eye::Right);
        for (std::size_t i = 0; i < marks.size(); ++i) {
            const ImageToScreenResult r = ImageToScreen(marks[i], side, layout);
            if (r.visible) {
                p.setPen(storedPen);
                DrawCross(p, r.x, r.y);
                if (m_bVertexIndices) {
                    DrawLabel(p, r.x, r.y, i + 1); // numbered from 1, as the table is
                }
            }
        }
        DrawWorkspaceMarks(p, side, layout);
        if (const auto mark = m_doc.Session().Mark(left ? Eye::Left : Eye::Right)) {
            const ImageToScreenResult r = ImageToScreen(*mark, side, layout);
            if (r.visible) {
                p.setPen(currentPen);
                DrawCross(p, r.x, r.y);
            }
        }
    }
}

void CChildView::paintEvent(QPaintEvent*) {
    if (m_buffer.size() != size()) {
        m_buffer = QImage(size(), QImage::Format_RGB32);
    }
    RenderTo(m_buffer);
    QPainter p(this);
    p.drawImage(0, 0, m_buffer);
}

void CChildView::Repaint() {
    repaint();
}

void CChildView::RepaintPanel(ViewSide side) {
    if (Image(side) == nullptr) {
        return;
    }
    repaint(ToQRect(ComputeLayout(ClientRect(), side).panel));
}

void CChildView::OnReset() {
    if (IsOneImage()) {
        m_pOneImage->FitImage();
        return;
    }
    ResetZoomAndPan();
    Repaint();
}

void CChildView::SwapImages() {
    std::swap(m_pLeftImage, m_pRightImage);
    DropAssist();
    Repaint();
    UpdateTitle();
}

void CChildView::OnVertexIndices() {
    m_bVertexIndices = !m_bVertexIndices;
    Repaint();
}

void CChildView::OnDisableBeeps() {
    m_bDisableBeeps = !m_bDisableBeeps;
}

void CChildView::CompletionBeep() {
    CompletionBeeps(m_ui, m_bDisableBeeps);
}
