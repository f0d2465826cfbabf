// Commands on the view's result files and on the image database, the
// Transform and About dialogs, and the question before the frame closes.
#include "imagedb/ImageDatabase.h"
#include "viewer/ChildView.h"
#include "viewer/ProgressDownloader.h"
#include "viewer/ViewCommands.h"

void CChildView::OnSaveCalculationResults() {
    if (SaveCalculationResults(m_ui, m_sResultsLog, m_bDisableBeeps)) {
        m_nSavedLogLength = m_sResultsLog.size();
    }
}

void CChildView::OnSaveVertexResults() {
    SaveVertexResults(m_ui, m_vVertices, m_bDisableBeeps);
}

void CChildView::RefreshCalcDialogAfterImport() {
    if ((m_pLeftImage || m_pRightImage) && m_bCalcDlgOpen && m_pCalcDlg) {
        m_pCalcDlg->UpdateImageInfo();
    }
}

void CChildView::OnImportImageDatabase() {
    ImportImageDatabase(m_ui, ImageDatabase::Instance(), m_bDisableBeeps,
                        [this] { RefreshCalcDialogAfterImport(); });
}

void CChildView::OnInitializeImageDatabase() {
    InitializeImageDatabase(m_ui, ImageDatabase::Instance(), m_bDisableBeeps,
                            [this] { RefreshCalcDialogAfterImport(); });
}

void CChildView::OnUpdateImageDatabase() {
    CProgressDownloader downloader(window());
    UpdateImageDatabase(m_ui, ImageDatabase::Instance(), downloader, m_sUpdateUrl, m_bDisableBeeps);
}

void CChildView::OnImageDatabaseInfo() {
    ShowImageDatabaseInfo(m_ui, ImageDatabase::Instance());
}

void CChildView::OnTransformVertexFiles() {
    if (m_fnTransformDialog) {
        m_fnTransformDialog(window());
    }
}

void CChildView::OnAbout() {
    if (m_fnAboutDialog) {
        m_fnAboutDialog(window());
    }
}

bool CChildView::CanCloseFrame() {
    if (m_sResultsLog.size() == m_nSavedLogLength) {
        return true;
    }
    return ConfirmCloseWithUnsavedResults(m_ui, [this] {
        OnSaveCalculationResults();
        return m_sResultsLog.size() == m_nSavedLogLength;
    });
}
