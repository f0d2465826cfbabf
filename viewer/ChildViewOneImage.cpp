// One image alone, shown over the stereo view.
#include "viewer/ChildView.h"

#include "base/Paths.h"
#include "products/ProductCamera.h"
#include "stereo/DenseRange.h"
#include "viewer/OneImageView.h"
#include "viewer/RangeMapTool.h"

namespace {

// The motion counter of a product's vehicle frame; none for a plain image.
std::optional<std::vector<long long>> FrameIndexOf(const std::string& file) {
    const ProductCameraResult product = ReadProductCamera(file);
    if (!product.camera) {
        return std::nullopt;
    }
    return product.camera->frameIndex;
}

} // namespace

std::optional<MonoSurface> CChildView::DenseSurfaceFor(const std::string& file) const {
    // The range map of the open pair, when file was taken from the same
    // rover position: its points are then in the frame file's rays are cast in.
    if (!m_pRangeMap || m_pRangeMap->Map() == nullptr || !HasBothImages()) {
        return std::nullopt;
    }
    const auto pairFrame = FrameIndexOf(m_doc.Session().LeftFile());
    if (!pairFrame || pairFrame != FrameIndexOf(ImageFileToOpen(file))) {
        return std::nullopt;
    }
    const auto camera = m_doc.Rig().SharedCamera(Eye::Left);
    if (!camera) {
        return std::nullopt;
    }
    return DenseSurface(std::make_shared<const DenseRangeMap>(*m_pRangeMap->Map()), camera);
}

bool CChildView::IsOneImage() const {
    return m_pOneImage != nullptr && m_pOneImage->IsOpen();
}

std::optional<ImageSize> CChildView::ShowOneImage(const std::string& file) {
    if (m_pOneImage == nullptr) {
        m_pOneImage = new COneImageView(m_ui, m_doc, this);
        m_pOneImage->SetStatusSink([this](const std::string& text) { ShowStatus(text); });
        m_pOneImage->SetErrorEllipsesShown(m_bErrorEllipses);
        connect(m_pOneImage, &COneImageView::Measured, this, &CChildView::MonoMeasured);
    }
    if (!m_pOneImage->Open(file, DenseSurfaceFor(file))) {
        return std::nullopt; // what was open stays
    }
    // The pair's images and marks go.
    ReleaseImages();
    ResetZoomAndPan();
    DropAssist();
    m_sFilePath = PathFolder(file);
    m_pOneImage->setFocus();
    return m_pOneImage->Image()->Size();
}
