// Commands on the view's result files and on the image database, the
// transform tool and the About box. Their dialogs belong to the application,
// which hands the view a handler for each.
#include "viewer/ChildView.h"

#include "viewer/CommandIds.h"

void CChildView::SetCommandHandler(int nId, CommandHandler handler) {
    m_commandHandlers[nId] = std::move(handler);
}

void CChildView::RunCommandHandler(int nId) {
    const auto it = m_commandHandlers.find(nId);
    if (it != m_commandHandlers.end() && it->second) {
        it->second(*this);
    }
}

void CChildView::OnSaveCalculationResults() {
    RunCommandHandler(ID_SAVE_CALCULATION_RESULTS);
}

void CChildView::OnSaveVertexResults() {
    RunCommandHandler(ID_SAVE_VERTEX_RESULTS);
}

void CChildView::OnImportImageDatabase() {
    RunCommandHandler(ID_IMPORT_IMAGE_DATABASE);
}

void CChildView::OnInitializeImageDatabase() {
    RunCommandHandler(ID_INITIALIZE_IMAGE_DATABASE);
}

void CChildView::OnUpdateImageDatabase() {
    RunCommandHandler(ID_UPDATE_IMAGE_DATABASE);
}

void CChildView::OnImageDatabaseInfo() {
    RunCommandHandler(ID_IMAGE_DATABASE_INFO);
}

void CChildView::OnTransformVertexFiles() {
    RunCommandHandler(ID_TRANSFORM_VERTEX_FILES);
}

void CChildView::OnAbout() {
    RunCommandHandler(ID_APP_ABOUT);
}

bool CChildView::CanCloseFrame() {
    return !m_fnCloseQuery || m_fnCloseQuery(*this);
}
