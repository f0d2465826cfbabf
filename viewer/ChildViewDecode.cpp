// Reading the images of a pair being opened: at once for small pairs, on
// worker threads for large ones while the window carries on.
#include "viewer/ChildView.h"

#include "base/Paths.h"

void CChildView::DecodeChosenFiles() {
    const std::string left = m_sOpeningLeft;
    const std::string right = m_sOpeningRight;
    const bool background = DecodeInBackground(left, right);
    m_pDecoder->Start(left, right);
    if (!background) {
        WaitForImages();
        return;
    }
    ShowStatus("Reading " + PathTitle(left) + " and " + PathTitle(right) + "...");
    m_bReadingShown = true;
}

void CChildView::WaitForImages() {
    if (std::optional<DecodedPair> images = m_pDecoder->Wait()) {
        OnPairDecoded(std::move(*images));
    }
}

void CChildView::CancelOpening() {
    if (!m_pDecoder->Busy()) {
        return;
    }
    m_pDecoder->Cancel();
    // The wait cursor of the dropped opening.
    m_ui.EndWaitCursor();
    if (m_bReadingShown) {
        m_bReadingShown = false;
        ShowStatus("");
    }
}
