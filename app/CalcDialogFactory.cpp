// How the view makes its Analyse dialog.
#include "app/RanvistaApp.h"

CChildView::CalcDialogFactory MakeCalcDialogFactory() {
    return {};
}
