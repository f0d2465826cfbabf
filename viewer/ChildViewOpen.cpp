// Open Stereo Pair: choosing, loading and identifying a left and right image.
#include "viewer/ChildView.h"

#include "base/Paths.h"
#include "products/PairIdentification.h"
#include "stereo/CalcInput.h"
#include "stereo/ProductStereo.h"

void CChildView::ResetForNewPair() {
    CancelOpening();
    m_session.ClearForNewPair();
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
    if (chosen.empty()) {
        // Cancelled: the pair on screen and its measurements stay as they were.
        return;
    }
    ResetForNewPair();
    LoadChosenFiles(chosen);
}

void CChildView::OpenPairFiles(const std::string& leftFile, const std::string& rightFile) {
    ResetForNewPair();
    LoadChosenFiles({rightFile, leftFile});
}

void CChildView::LoadChosenFiles(const std::vector<std::string>& paths) {
    m_ui.BeginWaitCursor();
    for (std::size_t i = 0; i < paths.size() && i < 2; ++i) {
        // A raw image's record opens its image, bare product pixels their label.
        m_session.SetFile(i == 0 ? Eye::Right : Eye::Left, ImageFileToOpen(paths[i]));
        m_sFilePath = PathFolder(m_session.LeftFile());
    }
    DropAssist();
    DecodeChosenFiles();
}

void CChildView::OnPairDecoded(DecodedPair images) {
    if (m_bReadingShown) {
        m_bReadingShown = false;
        ShowStatus("");
    }
    m_pLeftImage = std::move(images.left);
    m_pRightImage = std::move(images.right);

    PairIdentification id;
    if (!m_pLeftImage->IsValid()) {
        m_ui.ShowMessage(m_pLeftImage->GetLastError());
        if (!m_pRightImage->IsValid()) {
            m_pRightImage->Destroy();
            m_pRightImage.reset();
        }
        m_pLeftImage->Destroy();
        m_pLeftImage.reset();
    } else if (!m_pRightImage->IsValid()) {
        m_ui.ShowMessage(m_pRightImage->GetLastError());
        m_pRightImage->Destroy();
        m_pRightImage.reset();
        m_session.SetFile(Eye::Left, {});
        m_session.SetFile(Eye::Right, {});
    } else {
        id = IdentifyPair(PathTitle(m_session.LeftFile()), PathTitle(m_session.RightFile()));
    }

    ChooseOpeningZoom();
    Repaint();
    UpdateTitle();
    m_ui.EndWaitCursor();

    if (!id.bRecognised) {
        m_ui.ShowMessage("Verify Rover and Camera Selection");
    } else if (id.bSwap) {
        OnSwapImages();
    } else if (id.bVerify) {
        m_ui.ShowMessage("Verify Correct Left/Right Images");
    }

    if (!m_bCalcDlgOpen) {
        OpenCalcDialog();
    }
    if (ICalcDialog* dlg = CalcDialog()) {
        dlg->UpdateImageInfo();
    }
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
    const RangeCalcInput in =
        MakeRangeCalcInput({}, LeftFile(), RightFile(), {}, {}, {}, m_db, nullptr, ImageSizes());
    if (!in.productWarning.empty()) {
        ShowStatus("Warning: " + in.productWarning);
    } else if (!in.productProblem.empty()) {
        ShowStatus(in.productProblem);
    } else if (in.leftProduct && in.rightProduct) {
        ShowStatus("Camera models from the products: " + in.leftProduct->Description() + " | " +
                   in.rightProduct->Description());
    } else if (!m_sStatus.empty()) {
        ShowStatus({}); // nothing said of the last pair holds for this one
    }
}
