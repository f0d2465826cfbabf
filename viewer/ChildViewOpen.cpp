// A pair on screen: the images its controller read, shown with the document
// opened on them.
#include "viewer/ChildView.h"
#include "viewer/OneImageView.h"

void CChildView::ShowPair(const std::string& leftFile, const std::string& rightFile,
                          DecodedPair images) {
    ReleaseImages();
    ResetZoomAndPan();
    if (m_pOneImage != nullptr) {
        m_pOneImage->Close();
    }
    m_pLeftImage = std::move(images.left);
    m_pRightImage = std::move(images.right);
    DropAssist();
    m_doc.Open({leftFile, rightFile, ImageSizes(), m_doc.Setup().options});
    ChooseOpeningZoom();
    Repaint();
    UpdateTitle();
}

void CChildView::SetOpening(bool opening) {
    m_bOpening = opening;
}

DecodedImageSizes CChildView::ImageSizes() const {
    DecodedImageSizes sizes;
    if (m_pLeftImage) {
        sizes.left = ImageSize{static_cast<int>(m_pLeftImage->GetWidth()),
                               static_cast<int>(m_pLeftImage->GetHeight())};
    }
    if (m_pRightImage) {
        sizes.right = ImageSize{static_cast<int>(m_pRightImage->GetWidth()),
                                static_cast<int>(m_pRightImage->GetHeight())};
    }
    return sizes;
}
