#include "app/ViewCommandHandlers.h"

#include "app/MyAboutDlg.h"
#include "app/ProgressDownloader.h"
#include "app/RegisterDlg.h"
#include "app/TransformDlg.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/WebUpdate.h"
#include "viewer/CommandIds.h"
#include "viewer/ViewCommands.h"

#include <memory>

namespace {

struct CommandState {
    std::string sUpdateUrl;
    // Length of the results log when it was last saved; the log only grows.
    size_t nSavedLogLength = 0;
};

// After a database import the Analyse dialog shows the new poses, when it
// is open and an image of the pair is loaded.
void RefreshAfterImport(CChildView& view) {
    if ((view.m_pLeftImage || view.m_pRightImage) && view.CalcDialog() != nullptr) {
        view.CalcDialog()->UpdateImageInfo();
    }
}

} // namespace

void InstallViewCommands(CChildView& view, const ViewCommandOptions& options) {
    auto state = std::make_shared<CommandState>();
    state->sUpdateUrl = options.sUpdateUrl.empty() ? DefaultUpdateUrl() : options.sUpdateUrl;

    auto saveResults = [state](CChildView& v) {
        if (SaveCalculationResults(v.Ui(), v.m_sResultsLog, v.m_bDisableBeeps)) {
            state->nSavedLogLength = v.m_sResultsLog.size();
        }
    };
    view.SetCommandHandler(ID_SAVE_CALCULATION_RESULTS, saveResults);
    view.SetCommandHandler(ID_SAVE_VERTEX_RESULTS, [](CChildView& v) {
        SaveVertexResults(v.Ui(), v.m_vVertices, v.m_bDisableBeeps);
    });
    view.SetCommandHandler(ID_IMPORT_IMAGE_DATABASE, [](CChildView& v) {
        ImportImageDatabase(v.Ui(), ImageDatabase::Instance(), v.m_bDisableBeeps,
                            [&v] { RefreshAfterImport(v); });
    });
    view.SetCommandHandler(ID_INITIALIZE_IMAGE_DATABASE, [](CChildView& v) {
        InitializeImageDatabase(v.Ui(), ImageDatabase::Instance(), v.m_bDisableBeeps,
                                [&v] { RefreshAfterImport(v); });
    });
    view.SetCommandHandler(ID_UPDATE_IMAGE_DATABASE, [state](CChildView& v) {
        CProgressDownloader downloader(v.window());
        UpdateImageDatabase(v.Ui(), ImageDatabase::Instance(), downloader, state->sUpdateUrl,
                            v.m_bDisableBeeps);
    });
    view.SetCommandHandler(ID_IMAGE_DATABASE_INFO, [](CChildView& v) {
        ShowImageDatabaseInfo(v.Ui(), ImageDatabase::Instance());
    });
    view.SetCommandHandler(ID_TRANSFORM_VERTEX_FILES, [](CChildView& v) {
        CTransformDlg dlg(v.Ui(), v.window());
        dlg.exec();
    });
    view.SetCommandHandler(ID_AUTO_REGISTER_VERTICES, [](CChildView& v) {
        CRegisterDlg dlg(v.Ui(), v.window());
        dlg.exec();
    });
    view.SetCommandHandler(ID_APP_ABOUT, [](CChildView& v) { RunAboutDialog(v.window()); });

    view.SetCloseQuery([state, saveResults](CChildView& v) {
        if (v.m_sResultsLog.size() == state->nSavedLogLength) {
            return true;
        }
        return ConfirmCloseWithUnsavedResults(v.Ui(), [&] {
            saveResults(v);
            return v.m_sResultsLog.size() == state->nSavedLogLength;
        });
    });
}
