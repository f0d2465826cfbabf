// How the pair's controller makes its Analyse dialog.
#include "app/CalcDlg.h"
#include "app/RanvistaApp.h"
#include "app/WindowState.h"

CPairController::CalcDialogFactory MakeCalcDialogFactory(IUiServices& ui, QWidget* owner) {
    return [&ui, owner](ICalcHost& host) {
        auto dialog = std::make_unique<CCalcDlg>(&host, ui, owner);
        KeepDialogPosition(*dialog, "AnalyseDialog/pos");
        return dialog;
    };
}
