// A run of the whole desktop application for tests that need a process of
// its own: "measure STORE LEFT RIGHT" opens the pair, measures three points
// through the Analyse dialog, prints the table and keeps running until it is
// killed; "restore STORE" starts, answers the restore offer with Save,
// prints what came back and closes, discarding the unsaved results.
// Questions and messages go to a recording stand-in.
#include "app/MeasurementDock.h"
#include "app/RanvistaApp.h"

#include "tests/support/FakeUi.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>

#include <clocale>
#include <cstdio>
#include <iostream>

namespace {

void PrintWorkspace(CMainFrame& frame) {
    CMeasurementDock& dock = *frame.MeasurementDock();
    const QAbstractItemModel* m = dock.Table()->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        std::cout << "row";
        for (int c = 0; c < m->columnCount(); ++c) {
            std::cout << '\t' << m->data(m->index(r, c)).toString().toStdString();
        }
        std::cout << '\n';
    }
    const MeasurementSession& s = frame.View().Session();
    std::cout << "marks " << s.Marks(Eye::Left).size() << ' ' << s.Marks(Eye::Right).size()
              << "\nvertices " << s.Vertices().size() << "\nlog " << s.ResultsLog().size() << '\n';
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::cerr << "usage: workspace_driver measure STORE LEFT RIGHT | restore STORE\n";
        return 2;
    }
    FakeUi ui;
    CRanvistaApp ranvista(&ui);
    StartupOptions options;
    options.sStorePath = args[2].toStdString();
    if (args[1] == "measure" && args.size() == 5) {
        options.sLeftFile = args[3].toStdString();
        options.sRightFile = args[4].toStdString();
        if (!ranvista.InitInstance(options)) {
            return 1;
        }
        PairDocument& doc = ranvista.MainFrame()->Controller().Document();
        ICalcDialog* dlg = ranvista.MainFrame()->Controller().CalcDialog();
        if (dlg == nullptr) {
            std::cerr << "no Analyse dialog\n";
            return 1;
        }
        const ImagePoint points[3][2] = {
            {{386, 761}, {289, 758}}, {{727, 697}, {634, 695}}, {{321, 647}, {239, 645}}};
        for (const auto& [left, right] : points) {
            doc.Session().SetMark(Eye::Left, left);
            doc.Session().SetMark(Eye::Right, right);
            dlg->SetLeftPixel(left.x, left.y);
            dlg->SetRightPixel(right.x, right.y);
            std::vector<std::string> messages;
            dlg->CalculateQuietly(messages);
            for (const std::string& m : messages) {
                std::cerr << m << '\n';
            }
        }
        ranvista.MainFrame()->MeasurementDock()->Refresh();
        PrintWorkspace(*ranvista.MainFrame());
        std::cout << "measured" << std::endl;
        return QApplication::exec(); // until killed
    }
    if (args[1] == "restore") {
        // Restore them; at the close, discard the unsaved results.
        ui.saveChoices.push_back(IUiServices::SaveChoice::Save);
        ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
        if (!ranvista.InitInstance(options)) {
            return 1;
        }
        std::cout << "questions " << ui.questions.size() << '\n';
        PrintWorkspace(*ranvista.MainFrame());
        // A clean close: the restored autosave is not offered again.
        if (ranvista.MainFrame()->close()) {
            std::cout << "closed" << std::endl;
        }
        return ranvista.ExitInstance(0);
    }
    std::cerr << "unknown mode\n";
    return 2;
}
