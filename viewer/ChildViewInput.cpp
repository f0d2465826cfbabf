// Pointer and keyboard handling of the stereo view.
#include "viewer/ChildView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace {
// Hover and re-selection find a stored mark closer than this to the pointer
// (squared distance in image pixels when zoomed in; in screen pixels when
// zoomed out, where one screen pixel spans several image pixels and the
// pointer could otherwise never come near enough).
constexpr double kNearMarkSquared = 2.0;

double NearMarkSquared(double zoom) {
    const double scale = zoom > 0.0 && zoom < 1.0 ? 1.0 / zoom : 1.0;
    return kNearMarkSquared * scale * scale;
}

IntPoint PointOf(const QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    return IntPoint{p.x(), p.y()};
}

std::optional<std::size_t> FindNearMark(const std::vector<ImagePoint>& marks, const ImagePoint& q,
                                        double zoom) {
    const double limit = NearMarkSquared(zoom);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const double dx = marks[i].x - q.x;
        const double dy = marks[i].y - q.y;
        if (dx * dx + dy * dy < limit) {
            return i;
        }
    }
    return std::nullopt;
}

// One local file, or exactly two in the order they were dragged.
std::vector<std::string> DroppedPair(const QMimeData* mime) {
    std::vector<std::string> files;
    if (mime == nullptr || !mime->hasUrls()) {
        return files;
    }
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        files.push_back(url.toLocalFile().toStdString());
    }
    if (files.size() != 2 && files.size() != 1) {
        files.clear();
    }
    return files;
}
} // namespace

CChildView::Layouts CChildView::BothLayouts() const {
    Layouts out;
    const ViewRect client = ClientRect();
    if (m_pLeftImage) {
        out.left = ComputeLayout(client, ViewSide::Left);
    }
    if (m_pRightImage) {
        out.right = ComputeLayout(client, ViewSide::Right);
    }
    return out;
}

CChildView::Hit CChildView::HitTest(IntPoint p, const Layouts& layouts) const {
    Hit hit;
    if (layouts.left) {
        hit.left = ScreenToImage(p, ViewSide::Left, *layouts.left);
    }
    if (layouts.right) {
        hit.right = ScreenToImage(p, ViewSide::Right, *layouts.right);
    }
    return hit;
}

bool CChildView::InEitherPanel(IntPoint p, const Layouts& layouts) const {
    return (layouts.left && layouts.left->panel.Contains(p.x, p.y)) ||
           (layouts.right && layouts.right->panel.Contains(p.x, p.y));
}

bool CChildView::ApplyDrag(IntPoint p, const Layouts& layouts, bool updateLast) {
    const auto pan = [&](const std::optional<SideLayout>& layout, PanOffset& offset) {
        if (!layout || !layout->panel.Contains(m_ptDragLast.x, m_ptDragLast.y) ||
            !layout->panel.Contains(p.x, p.y)) {
            return false;
        }
        if (p.x != m_ptDragLast.x || p.y != m_ptDragLast.y) {
            m_eFit = FitMode::Off; // a panned view stays where the user put it
        }
        offset.x += p.x - m_ptDragLast.x;
        offset.y += p.y - m_ptDragLast.y;
        if (updateLast) {
            m_ptDragLast = p;
        }
        return true;
    };
    if (pan(layouts.left, m_ptLeftOffset)) {
        if (updateLast) {
            RepaintPanel(ViewSide::Left);
        }
        return true;
    }
    if (pan(layouts.right, m_ptRightOffset)) {
        if (updateLast) {
            RepaintPanel(ViewSide::Right);
        }
        return true;
    }
    return false;
}

void CChildView::OnMouseMove(IntPoint p) {
    const Layouts layouts = BothLayouts();
    if (m_bDragging && HasBothImages()) {
        ApplyDrag(p, layouts, true);
    }
    m_bHoverVertex = false;
    if (HasBothImages()) {
        const Hit hit = HitTest(p, layouts);
        if (!hit.left.inside && !hit.right.inside && !hit.left.inPanel && !hit.right.inPanel) {
            setCursor(Qt::ArrowCursor);
        } else {
            setCursor(Qt::CrossCursor);
            std::optional<std::size_t> near;
            if (hit.left.inside && !m_doc.Session().Marks(Eye::Left).empty()) {
                near = FindNearMark(m_doc.Session().Marks(Eye::Left), hit.left.pt, m_dZoom);
            } else if (hit.right.inside) {
                near = FindNearMark(m_doc.Session().Marks(Eye::Right), hit.right.pt, m_dZoom);
            }
            if (hit.left.inside) {
                ShowRangeReadout(hit.left.pt);
            }
            if (near) {
                m_nHoverVertex = static_cast<std::uint32_t>(*near);
                m_bHoverVertex = true;
                if (const auto row = m_doc.Session().RowOfMarkIndex(*near)) {
                    emit MarkHovered(*row);
                }
            }
        }
    } else {
        setCursor(Qt::ArrowCursor);
    }
    UpdateTitle();
}

void CChildView::OnLButtonDown(IntPoint p) {
    m_bHoverVertex = false;
    if (!HasBothImages()) {
        return;
    }
    const Hit hit = HitTest(p, BothLayouts());
    if (!hit.left.inside && !hit.right.inside) {
        return;
    }
    const bool left = hit.left.inside;
    const ImagePoint pt = left ? hit.left.pt : hit.right.pt;
    emit PixelClicked(left ? Eye::Left : Eye::Right, pt);
    // The mark shown at once.
    Repaint();
}

void CChildView::OnLButtonUp(IntPoint p) {
    m_bHoverVertex = false;
    if (HasBothImages()) {
        setCursor(InEitherPanel(p, BothLayouts()) ? Qt::CrossCursor : Qt::ArrowCursor);
    }
}

void CChildView::OnRButtonDown(IntPoint p) {
    m_bHoverVertex = false;
    if (HasBothImages()) {
        // The pointer stays with the view until the button is released.
        m_bDragging = true;
        m_ptDragLast = p;
    }
}

void CChildView::OnRButtonUp(IntPoint p) {
    m_bHoverVertex = false;
    if (!m_bDragging) {
        return;
    }
    m_bDragging = false;
    if (HasBothImages()) {
        const Layouts layouts = BothLayouts();
        ApplyDrag(p, layouts, false);
        setCursor(InEitherPanel(p, layouts) ? Qt::CrossCursor : Qt::ArrowCursor);
        Repaint();
    }
}

void CChildView::OnLButtonDblClk(IntPoint p) {
    m_bHoverVertex = false;
    if (HasBothImages()) {
        const Hit hit = HitTest(p, BothLayouts());
        if (hit.left.inside || hit.right.inside) {
            setCursor(Qt::CrossCursor);
            // The side clicked is searched; the other side's list gives the
            // partner of the mark found.
            const bool leftSide = hit.left.inside;
            if (const std::optional<std::size_t> i =
                    FindNearMark(m_doc.Session().Marks(leftSide ? Eye::Left : Eye::Right),
                                 leftSide ? hit.left.pt : hit.right.pt, m_dZoom)) {
                emit MarkDoubleClicked(*i);
            }
        }
    }
    Repaint();
    UpdateTitle();
}

void CChildView::StepZoom(int direction, int repeatCount, Qt::KeyboardModifiers modifiers) {
    if (!(modifiers & (Qt::ShiftModifier | Qt::ControlModifier))) {
        ZoomBySteps(static_cast<long long>(direction) * repeatCount);
    } else {
        Repaint();
    }
}

bool CChildView::OnKeyDown(int key, int repeatCount, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    if (key == Qt::Key_PageUp || (key == Qt::Key_Plus && keypad)) {
        StepZoom(-1, repeatCount, modifiers);
        return true;
    }
    if (key == Qt::Key_PageDown || (key == Qt::Key_Minus && keypad)) {
        StepZoom(+1, repeatCount, modifiers);
        return true;
    }
    // Also the main window's shortcuts; here for when the window is not the
    // active one (no window manager gave it the focus) or has none.
    if (ctrl && !shift && (key == Qt::Key_0 || key == Qt::Key_1)) {
        if (key == Qt::Key_0) {
            OnFitToWindow();
        } else {
            OnActualSize();
        }
        return true;
    }
    switch (key) {
    case Qt::Key_Space:
        emit SpacePressed();
        return true;
    case Qt::Key_End:
    case Qt::Key_Home:
        if (ctrl) {
            // Save (Ctrl+End, Ctrl+Shift+Home) or reload and save (Ctrl+Home).
            emit StoreKeyPressed(key == Qt::Key_Home && !shift);
        }
        return false;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

void CChildView::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove(PointOf(event));
}

void CChildView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        // Ctrl+click on a stored mark picks its measurement rather than
        // setting a mark.
        if (event->modifiers().testFlag(Qt::ControlModifier)) {
            if (const auto row = RowOfMarkAt(PointOf(event))) {
                emit MarkPicked(*row, event->modifiers().testFlag(Qt::ShiftModifier));
                return;
            }
        } else if (event->modifiers().testFlag(Qt::ShiftModifier) &&
                   RangeMapClick(PointOf(event))) {
            return;
        }
        OnLButtonDown(PointOf(event));
    } else if (event->button() == Qt::RightButton) {
        OnRButtonDown(PointOf(event));
    }
}

void CChildView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonUp(PointOf(event));
    } else if (event->button() == Qt::RightButton) {
        OnRButtonUp(PointOf(event));
    }
}

void CChildView::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the left button re-selects; a right double-click starts no drag.
    if (event->button() == Qt::LeftButton) {
        OnLButtonDblClk(PointOf(event));
    }
}

void CChildView::keyPressEvent(QKeyEvent* event) {
    if (!OnKeyDown(event->key(), event->count(), event->modifiers())) {
        QWidget::keyPressEvent(event);
    }
}

void CChildView::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedPair(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void CChildView::dropEvent(QDropEvent* event) {
    const std::vector<std::string> files = DroppedPair(event->mimeData());
    if (files.empty()) {
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(files);
}
