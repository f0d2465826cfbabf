// Fitting the images to the window, Actual Size, the zoom keys, and the hint
// an empty window shows.
#include "viewer/ChildView.h"

#include "viewer/EmptyViewHint.h"
#include "viewer/OneImageView.h"

#include <QResizeEvent>

#include <algorithm>
#include <cmath>

void CChildView::OnFitToWindow() {
    if (IsOneImage()) {
        m_pOneImage->FitImage();
        return;
    }
    m_eFit = FitMode::Whole;
    ApplyFit();
    Repaint();
}

void CChildView::OnActualSize() {
    if (IsOneImage()) {
        m_pOneImage->ShowActualSize();
        return;
    }
    ZoomBySteps(-static_cast<long long>(m_nZoomStep));
}

void CChildView::ZoomBySteps(long long steps) {
    if (IsOneImage()) {
        // A step toward smaller images shrinks by a quarter, as the wheel does.
        m_pOneImage->ZoomBy(std::pow(1.25, -static_cast<double>(steps)));
        return;
    }
    const double before = m_dZoom;
    SetZoomStep(static_cast<long long>(m_nZoomStep) + steps);
    m_ptLeftOffset = OffsetForZoomChange(m_ptLeftOffset, before, m_dZoom);
    m_ptRightOffset = OffsetForZoomChange(m_ptRightOffset, before, m_dZoom);
    Repaint();
}

void CChildView::ApplyFit() {
    if (m_eFit == FitMode::Off) {
        return;
    }
    const ViewRect client = ClientRect();
    // One zoom for both sides (the zoom keys move them together): the one
    // the larger image needs.
    double zoom = INFINITY;
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        if (const CImage* image = Image(side)) {
            zoom = std::min(
                zoom, FitZoom(VisiblePanel(client, side), image->GetWidth(), image->GetHeight()));
        }
    }
    if (zoom == INFINITY) {
        return;
    }
    if (m_eFit == FitMode::ShrinkLarge) {
        zoom = std::min(zoom, 1.0);
    }
    // The keys step on from the nearest step.
    m_nZoomStep = NearestZoomStep(zoom);
    m_dZoom = zoom;
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        if (const CImage* image = Image(side)) {
            SetOffset(side, CentredOffset(client, side, VisiblePanel(client, side),
                                          image->GetWidth(), image->GetHeight(), zoom));
        }
    }
}

void CChildView::ChooseOpeningZoom() {
    const ViewRect client = ClientRect();
    bool large = false;
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        if (const CImage* image = Image(side)) {
            large = large || FitZoom(VisiblePanel(client, side), image->GetWidth(),
                                     image->GetHeight()) < 1.0;
        }
    }
    if (large) {
        m_eFit = FitMode::ShrinkLarge;
        ApplyFit();
    }
}

void CChildView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyFit();
}

void CChildView::DrawEmptyHint(QImage& buffer) const {
    if (m_pLeftImage || m_pRightImage || m_bOpening) {
        return;
    }
    DrawEmptyViewHint(buffer);
}
