// How the view makes its Analyse dialog.
#include "app/CalcDlg.h"
#include "app/RanvistaApp.h"
#include "imagedb/ImageDatabase.h"

CChildView::CalcDialogFactory MakeCalcDialogFactory(IUiServices& ui, const ImageDatabase& db,
                                                    QWidget* owner) {
    return [&ui, &db, owner](ICalcHost& host) {
        return std::make_unique<CCalcDlg>(&host, ui, db, owner);
    };
}
