#include "app/AppCommands.h"

#include "app/DatabaseCommands.h"
#include "app/MyAboutDlg.h"
#include "app/PairController.h"
#include "app/ProgressDownloader.h"
#include "app/RegisterDlg.h"
#include "app/TransformDlg.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/WebUpdate.h"
#include "viewer/ChildView.h"

CAppCommands::CAppCommands(CChildView& view, CPairController& controller, ImageDatabase& db,
                           IUiServices& ui, const AppCommandOptions& options)
    : m_view(view), m_controller(controller), m_db(db), m_ui(ui),
      m_sUpdateUrl(options.sUpdateUrl.empty() ? DefaultUpdateUrl() : options.sUpdateUrl) {}

void CAppCommands::RefreshCalcDialog() {
    // The open pair's cameras are posed by the records that changed.
    m_controller.Document().FollowDatabase();
    if ((m_view.Image(ViewSide::Left) != nullptr || m_view.Image(ViewSide::Right) != nullptr) &&
        m_controller.CalcDialog() != nullptr) {
        m_controller.CalcDialog()->UpdateImageInfo();
    }
}

void CAppCommands::SaveCalculationResults() {
    MeasurementSession& session = m_controller.Document().Session();
    if (::SaveCalculationResults(m_ui, session.ResultsLog(), m_view.BeepsDisabled())) {
        session.MarkResultsSaved();
    }
}

void CAppCommands::SaveVertexResults() {
    ::SaveVertexResults(m_ui, m_controller.Document().Session().Vertices(), m_view.BeepsDisabled());
}

void CAppCommands::ImportImageDatabase() {
    ::ImportImageDatabase(m_ui, m_db, m_view.BeepsDisabled(), [this] { RefreshCalcDialog(); });
}

void CAppCommands::InitializeImageDatabase() {
    ::InitializeImageDatabase(m_ui, m_db, m_view.BeepsDisabled(), [this] { RefreshCalcDialog(); });
}

void CAppCommands::UpdateImageDatabase() {
    CProgressDownloader downloader(m_view.window());
    ::UpdateImageDatabase(m_ui, m_db, downloader, m_sUpdateUrl, m_view.BeepsDisabled());
    RefreshCalcDialog();
}

void CAppCommands::ShowImageDatabaseInfo() {
    ::ShowImageDatabaseInfo(m_ui, m_db);
}

void CAppCommands::TransformVertexFiles() {
    CTransformDlg dlg(m_ui, m_view.window());
    dlg.exec();
}

void CAppCommands::RegisterVertices() {
    CRegisterDlg dlg(m_ui, m_view.window());
    dlg.exec();
}

void CAppCommands::About() {
    RunAboutDialog(m_view.window());
}

bool CAppCommands::CanClose() {
    if (!m_controller.Document().Session().HasUnsavedResults()) {
        return true;
    }
    return ConfirmCloseWithUnsavedResults(m_ui, [this] {
        SaveCalculationResults();
        return !m_controller.Document().Session().HasUnsavedResults();
    });
}
