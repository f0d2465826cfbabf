// One image alone: File > Open Image, one file given or dropped.
#include "viewer/ChildView.h"

#include "base/Paths.h"
#include "viewer/OneImageView.h"

#include <filesystem>

bool CChildView::IsOneImage() const {
    return m_pOneImage != nullptr && m_pOneImage->IsOpen();
}

void CChildView::OnOpenImage() {
    FileChooserRequest request;
    request.title = kOpenImageTitle;
    request.filter = kImageFilter;
    request.startFolder = m_sFilePath;
    const std::vector<std::string> chosen = m_ui.ChooseOpenFiles(request);
    if (chosen.empty()) {
        return;
    }
    OpenImageFile(chosen.front());
}

void CChildView::OpenImageFile(const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        m_ui.ShowMessage("Unable to open " + file + ": the file does not exist");
        return;
    }
    if (!CanLeavePair()) {
        return;
    }
    if (m_pOneImage == nullptr) {
        m_pOneImage = new COneImageView(m_ui, m_db, m_doc, this);
        m_pOneImage->SetStatusSink([this](const std::string& text) { ShowStatus(text); });
    }
    CancelOpening();
    if (!m_pOneImage->Open(file)) {
        return; // what was open stays
    }
    // The pair's images, marks and dialog go; the document holds the image.
    ReleaseImages();
    ResetZoomAndPan();
    DropAssist();
    if (m_bCalcDlgOpen) {
        CloseCalcDialog();
    }
    m_sFilePath = PathFolder(file);
    UpdateTitle();
    m_pOneImage->setFocus();
}
