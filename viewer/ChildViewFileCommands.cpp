// Commands on the view's result files and on the image database, and the
// About box. Each is filled in together with the dialog it opens.
#include "viewer/ChildView.h"

void CChildView::OnSaveCalculationResults() {}

void CChildView::OnSaveVertexResults() {}

void CChildView::OnImportImageDatabase() {}

void CChildView::OnInitializeImageDatabase() {}

void CChildView::OnUpdateImageDatabase() {}

void CChildView::OnImageDatabaseInfo() {}

void CChildView::OnTransformVertexFiles() {}

void CChildView::OnAbout() {}

bool CChildView::CanCloseFrame() {
    return true;
}
