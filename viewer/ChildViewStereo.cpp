// The view's side of View > Stereo and of the range map: the commands, the
// overlay, the readout under the pointer and the one-click measurement.
#include "viewer/ChildView.h"

#include "viewer/RangeMapTool.h"
#include "viewer/StereoWindow.h"

#include <QTimer>

void CChildView::CreateStereoTools() {
    m_pRangeMap = std::make_unique<CRangeMapTool>(*this);
    connect(m_pRangeMap.get(), &CRangeMapTool::Changed, this, [this] { update(); });
    // An open stereo window follows the pair and its cameras.
    m_doc.Subscribe([this](PairDocument::Change change) {
        if (change != PairDocument::Change::Pair && change != PairDocument::Change::Cameras) {
            return;
        }
        if (m_pStereoWindow != nullptr && m_pStereoWindow->isVisible()) {
            QTimer::singleShot(0, this, [this] {
                if (m_pStereoWindow != nullptr && m_pStereoWindow->isVisible()) {
                    m_pStereoWindow->SetSource(StereoSourceOf(*this));
                }
            });
        }
    });
}

void CChildView::OnStereo() {
    if (m_pStereoWindow == nullptr) {
        m_pStereoWindow = new CStereoWindow(m_ui, this);
    }
    m_ui.BeginWaitCursor();
    m_pStereoWindow->SetSource(StereoSourceOf(*this));
    m_ui.EndWaitCursor();
    m_pStereoWindow->show();
    m_pStereoWindow->raise();
    m_pStereoWindow->activateWindow();
}

void CChildView::OnRangeMap() {
    if (!HasBothImages()) {
        ShowStatus("Open a stereo pair first");
        return;
    }
    m_pRangeMap->OnRangeMap();
    update();
}

bool CChildView::RangeMapChecked() const {
    return m_pRangeMap->OverlayShown() || m_pRangeMap->Busy();
}

void CChildView::OnRangeMapOpacity(double opacity) {
    m_pRangeMap->SetOpacity(opacity);
    m_pRangeMap->SetOverlayShown(true);
}

void CChildView::DrawRangeMap(QPainter& p, const SideLayout& layout) const {
    m_pRangeMap->Draw(p, layout);
}

void CChildView::ShowRangeReadout(const ImagePoint& left) {
    if (m_pRangeMap->OverlayShown()) {
        ShowStatus(m_pRangeMap->Readout(left));
    }
}

bool CChildView::RangeMapClick(IntPoint p) {
    if (!HasBothImages() || !m_pRangeMap->OverlayShown()) {
        return false;
    }
    const Hit hit = HitTest(p, BothLayouts());
    if (!hit.left.inside) {
        return false;
    }
    if (const auto marks = m_pRangeMap->MarksAt(hit.left.pt)) {
        emit DensePointPicked(marks->left, marks->right, marks->sigmaPx);
        Repaint();
    }
    return true;
}
