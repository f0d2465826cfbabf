// Open Stereo Pair: choosing, loading and identifying a left and right image.
#include "viewer/ChildView.h"
#include "viewer/OneImageView.h"

#include "base/Paths.h"
#include "products/PairIdentification.h"
#include "stereo/CalcInput.h"
#include "stereo/ProductStereo.h"

#include <filesystem>

void CChildView::ResetForNewPair() {
    CancelOpening();
    ReleaseImages();
    ResetZoomAndPan();
}

void CChildView::OnOpenStereoPair() {
    FileChooserRequest request;
    request.title = kOpenPairTitle;
    request.filter = kImageFilter;
    request.startFolder = m_sFilePath;
    request.multiSelect = true;
    const std::vector<std::string> chosen = m_ui.ChooseOpenFiles(request);
    if (chosen.empty() || !CanLeavePair()) {
        // Cancelled: the pair on screen and its measurements stay as they were.
        return;
    }
    LoadChosenFiles(chosen);
}

void CChildView::OpenPairFiles(const std::string& leftFile, const std::string& rightFile) {
    if (!CanLeavePair()) {
        return;
    }
    LoadChosenFiles({rightFile, leftFile});
}

void CChildView::LoadChosenFiles(const std::vector<std::string>& paths) {
    // A raw image's record opens its image, bare product pixels their label.
    std::string files[2];
    for (std::size_t i = 0; i < paths.size() && i < 2; ++i) {
        files[i] = ImageFileToOpen(paths[i]);
    }
    // A file that is not there changes nothing: the open pair stays.
    for (const std::string& file : files) {
        std::error_code ec;
        if (!file.empty() && !std::filesystem::exists(file, ec)) {
            m_ui.ShowMessage("Unable to open " + file + ": the file does not exist");
            return;
        }
    }
    CancelOpening();
    m_ui.BeginWaitCursor();
    // One file chosen: it becomes the right image beside the open left one.
    m_sOpeningRight = files[0];
    m_sOpeningLeft = paths.size() >= 2 ? files[1] : m_doc.Session().LeftFile();
    if (!m_sOpeningLeft.empty()) {
        m_sFilePath = PathFolder(m_sOpeningLeft);
    }
    DecodeChosenFiles();
}

void CChildView::OnPairDecoded(DecodedPair images) {
    if (m_bReadingShown) {
        m_bReadingShown = false;
        ShowStatus("");
    }
    m_ui.EndWaitCursor();
    // An image that cannot be read changes nothing: the open pair stays,
    // and the first reason is said once.
    for (const std::unique_ptr<CImage>* image : {&images.left, &images.right}) {
        if (!*image || !(*image)->IsValid()) {
            m_ui.ShowMessage(*image ? (*image)->GetLastError() : std::string("Unable to open"));
            Repaint();
            return;
        }
    }

    ResetForNewPair();
    if (m_pOneImage != nullptr) {
        m_pOneImage->Close();
    }
    m_pLeftImage = std::move(images.left);
    m_pRightImage = std::move(images.right);
    DropAssist();
    m_doc.Open({m_sOpeningLeft, m_sOpeningRight, ImageSizes(), m_doc.Setup().options});
    const PairIdentification id =
        IdentifyPair(PathTitle(m_doc.Session().LeftFile()), PathTitle(m_doc.Session().RightFile()));

    ChooseOpeningZoom();
    Repaint();
    UpdateTitle();

    if (!id.bRecognised) {
        m_ui.ShowMessage("Verify Rover and Camera Selection");
    } else if (id.bSwap) {
        OnSwapImages();
    } else if (id.bVerify) {
        m_ui.ShowMessage("Verify Correct Left/Right Images");
    }

    emit PairOpened();
    ReportProductModels();
    CompletionBeep();
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

void CChildView::ReportProductModels() {
    if (!HasBothImages()) {
        return;
    }
    const StereoRig& rig = m_doc.Rig();
    std::string text;
    if (!rig.Warning().empty()) {
        text = "Warning: " + rig.Warning();
    } else if (!rig.Problem().empty() && !rig.MissingCamera()) {
        text = rig.Problem();
    } else if (rig.ProductModels()) {
        text = "Camera models from the products: " + rig.ModelSource(Eye::Left) + " | " +
               rig.ModelSource(Eye::Right) +
               (rig.Note().empty() ? std::string() : " (" + rig.Note() + ")");
    }
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        if (Image(side)->WasMosaic()) {
            text += std::string(text.empty() ? "" : "; ") +
                    (side == ViewSide::Left ? "left" : "right") +
                    " image: a raw colour mosaic, shown and matched as its luminance";
        }
    }
    if (!text.empty() || !m_sStatus.empty()) {
        ShowStatus(text); // nothing said of the last pair holds for this one
    }
}
