// Commands on the result files and the image database, the vertex-file
// tools and the About box: their work belongs to the application, which
// installs the object that does it.
#include "viewer/ChildView.h"

void CChildView::OnSaveCalculationResults() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->SaveCalculationResults();
    }
}

void CChildView::OnSaveVertexResults() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->SaveVertexResults();
    }
}

void CChildView::OnImportImageDatabase() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->ImportImageDatabase();
    }
}

void CChildView::OnInitializeImageDatabase() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->InitializeImageDatabase();
    }
}

void CChildView::OnUpdateImageDatabase() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->UpdateImageDatabase();
    }
}

void CChildView::OnImageDatabaseInfo() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->ShowImageDatabaseInfo();
    }
}

void CChildView::OnTransformVertexFiles() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->TransformVertexFiles();
    }
}

void CChildView::OnAutoRegisterVertices() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->RegisterVertices();
    }
}

void CChildView::OnAbout() {
    if (m_pAppCommands != nullptr) {
        m_pAppCommands->About();
    }
}

bool CChildView::CanCloseFrame() {
    return m_pAppCommands == nullptr || m_pAppCommands->CanClose();
}
