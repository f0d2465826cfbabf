// How the pair's controller makes its Analyse dialog.
#include "app/CalcDlg.h"
#include "app/RanvistaApp.h"
#include "app/WindowState.h"
#include "imagedb/ImageDatabase.h"

CPairController::CalcDialogFactory MakeCalcDialogFactory(IUiServices& ui, const ImageDatabase& db,
                                                         QWidget* owner) {
    return [&ui, &db, owner](ICalcHost& host) {
        auto dialog = std::make_unique<CCalcDlg>(&host, ui, db, owner);
        KeepDialogPosition(*dialog, "AnalyseDialog/pos");
        return dialog;
    };
}
