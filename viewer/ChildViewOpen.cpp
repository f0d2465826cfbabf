// A pair on screen: the images its controller read, shown once the document
// holds the pair.
#include "viewer/ChildView.h"
#include "viewer/OneImageView.h"

void CChildView::ShowPair(DecodedPair images) {
    ReleaseImages();
    ResetZoomAndPan();
    if (m_pOneImage != nullptr) {
        m_pOneImage->Close();
    }
    m_pLeftImage = std::move(images.left);
    m_pRightImage = std::move(images.right);
    DropAssist();
    ChooseOpeningZoom();
    Repaint();
    UpdateTitle();
}

void CChildView::SetOpening(bool opening) {
    m_bOpening = opening;
}

DecodedImageSizes CChildView::ImageSizes() const {
    return SizesOf(m_pLeftImage.get(), m_pRightImage.get());
}
