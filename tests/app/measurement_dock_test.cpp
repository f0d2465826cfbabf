// The measurement workspace in a real frame, offscreen: three measurements
// of the sample pair reach the table; delete and undo; two rows give the
// distance and slope; exports read back; a saved session opens identically
// in a new window; an autosave left behind is offered and restored.
#include "AppFixture.h"

#include "analysis/PointGeometry.h"
#include "app/MeasurementDock.h"
#include "imagedb/StoreTransaction.h"

#include <QDir>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QUndoStack>

#include <fstream>
#include <sstream>

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";
const std::string kLeft = kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png";
const std::string kRight = kSamples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png";

std::string Read(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

class Workspace : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadStoreFile(db, kSamples + "ImgBinDat"), StoreFileResult::Status::kClean);
    }

    std::unique_ptr<CMainFrame> NewFrame() {
        auto f = std::make_unique<CMainFrame>(ui, db);
        f->Create();
        return f;
    }
    // What CALCULATE hands the view, for the sample pair's points.
    static void Measure(CMainFrame& f, const ImageDatabase& db, ImagePoint l, ImagePoint r) {
        const MeasurementSession& s = f.View().Session();
        const RangeCalcInput in =
            MakeRangeCalcInput({}, s.LeftFile(), s.RightFile(), l, r, s.LastPosition(), db);
        const RangeCalcResult res = CalculateRange(in);
        ASSERT_TRUE(res.bOk);
        f.View().AppendMeasurementRecord(
            RecordOfCalculation(in, res, PixelSource::Clicked, PixelSource::Clicked, {}, UtcNow()));
        f.MeasurementDock()->Refresh();
    }
    std::unique_ptr<CMainFrame> MeasuredFrame() {
        auto f = NewFrame();
        f->View().OpenPairFiles(kLeft, kRight);
        Measure(*f, db, {386, 761}, {289, 758});
        Measure(*f, db, {727, 697}, {634, 695});
        Measure(*f, db, {321, 647}, {239, 645});
        return f;
    }
    static std::vector<QString> Cells(CMeasurementDock& dock) {
        std::vector<QString> cells;
        QAbstractItemModel* m = dock.Table()->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            for (int c = 0; c < m->columnCount(); ++c) {
                if (c != CMeasurementTableModel::kTime) {
                    cells.push_back(m->data(m->index(r, c)).toString());
                }
            }
        }
        return cells;
    }

    FakeUi ui;
    ImageDatabase db;
    QTemporaryDir dir;
};

} // namespace

TEST_F(Workspace, MeasurementsReachTheTableAndDeleteUndoesWithMarksVerticesAndLog) {
    auto f = MeasuredFrame();
    CMeasurementDock& dock = *f->MeasurementDock();
    MeasurementSession& s = f->View().Session();
    ASSERT_EQ(dock.Table()->model()->rowCount(), 3);
    EXPECT_FALSE(dock.Table()
                     ->model()
                     ->data(dock.Table()->model()->index(0, CMeasurementTableModel::kSigmaRange))
                     .toString()
                     .isEmpty());
    const std::string log = s.ResultsLog();
    const auto before = Cells(dock);

    dock.SelectRows({1});
    dock.DeleteSelected();
    EXPECT_EQ(dock.Table()->model()->rowCount(), 2);
    EXPECT_EQ(s.Marks(Eye::Left).size(), 2u);
    EXPECT_EQ(s.Vertices().size(), 2u);
    EXPECT_EQ(s.ResultsLog().find("Range=2.92"), std::string::npos)
        << "the deleted measurement's entry left the log";

    dock.UndoStack()->undo();
    EXPECT_EQ(s.ResultsLog(), log);
    EXPECT_EQ(Cells(dock), before);
    dock.UndoStack()->redo();
    EXPECT_EQ(dock.Table()->model()->rowCount(), 2);
    dock.UndoStack()->undo();

    // A note typed into the table is undoable too.
    QAbstractItemModel* m = dock.Table()->model();
    ASSERT_TRUE(m->setData(m->index(0, CMeasurementTableModel::kNote), "rock top"));
    EXPECT_EQ(s.Measurements()[0].note, "rock top");
    dock.UndoStack()->undo();
    EXPECT_EQ(s.Measurements()[0].note, "");
}

TEST_F(Workspace, TwoSelectedRowsShowDistanceAndSlopeAndSortingKeepsTheSelectionRight) {
    auto f = MeasuredFrame();
    CMeasurementDock& dock = *f->MeasurementDock();
    const auto& rows = f->View().Session().Measurements();
    // Sort by range, descending: the rows the user selects are still the
    // measurements they see.
    dock.Table()->sortByColumn(CMeasurementTableModel::kRange, Qt::DescendingOrder);
    const QModelIndex top = dock.Table()->model()->index(0, CMeasurementTableModel::kIndex);
    EXPECT_EQ(dock.Table()->model()->data(top).toInt(), 3) << "the farthest point first";
    dock.SelectRows({0, 2});
    EXPECT_EQ(dock.SelectedRows(), (std::vector<std::size_t>{0, 2}));
    const PointPairResult want = ComparePoints(rows[0].position, rows[0].uncertainty->covarianceM2,
                                               rows[2].position, rows[2].uncertainty->covarianceM2);
    const QString text = dock.ComparisonText();
    EXPECT_TRUE(text.contains(QString::number(want.distanceM.value, 'f', 4))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::number(want.slopeDeg.value, 'f', 2))) << text.toStdString();
    EXPECT_TRUE(text.contains("±"));
    dock.SelectRows({0, 1, 2});
    EXPECT_TRUE(dock.ComparisonText().contains("Dip")) << dock.ComparisonText().toStdString();
}

TEST_F(Workspace, ExportsAndASavedSessionOpenIdenticallyInANewWindow) {
    auto f = MeasuredFrame();
    CMeasurementDock& dock = *f->MeasurementDock();
    const std::string csv = dir.filePath("points.csv").toStdString();
    const std::string ply = dir.filePath("points.ply").toStdString();
    const std::string session = dir.filePath("work.rvsession").toStdString();
    ui.AnswerSave(csv);
    ASSERT_TRUE(dock.ExportCsv());
    const std::string text = Read(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    ui.AnswerSave(ply);
    ASSERT_TRUE(dock.ExportPly(false));
    const std::string points = Read(ply);
    EXPECT_NE(points.find("element vertex 3\n"), std::string::npos);
    EXPECT_NE(points.find("property uchar red\n"), std::string::npos)
        << "coloured from the left image";
    ui.AnswerSave(session);
    ASSERT_TRUE(dock.SaveSession());

    auto other = NewFrame();
    ui.AnswerOpen({session});
    ASSERT_TRUE(other->MeasurementDock()->OpenSession());
    EXPECT_TRUE(ui.messages.empty()) << "nothing changed on recalculation: " << ui.messages.front();
    EXPECT_EQ(Cells(*other->MeasurementDock()), Cells(dock));
    EXPECT_EQ(other->View().Session().ResultsLog(), f->View().Session().ResultsLog());
    EXPECT_EQ(other->View().Session().LeftFile(), kLeft);
}

TEST_F(Workspace, AnAutosaveLeftBehindIsOfferedAndRestoresEveryMeasurement) {
    // Left by a process that has gone (no process has so large an id), and
    // this run's own, which a run at the same time must not take.
    const std::string autosave = dir.filePath("state/autosave-999999999.rvsession").toStdString();
    const std::string own = dir.filePath("state/autosave-1.rvsession").toStdString();
    std::vector<QString> cells;
    {
        auto f = MeasuredFrame();
        f->MeasurementDock()->SetAutosavePath(autosave);
        f->View().Session().SetNote(1, "kept through a crash");
        f->MeasurementDock()->Refresh();
        cells = Cells(*f->MeasurementDock());
        f->MeasurementDock()->FlushAutosave();
        // The frame goes without a close: as when the process is killed.
    }
    ASSERT_FALSE(Read(autosave).empty());
    auto next = NewFrame();
    next->MeasurementDock()->SetAutosavePath(own);
    ui.saveChoices.push_back(IUiServices::SaveChoice::Save);
    next->MeasurementDock()->OfferRestore();
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(Cells(*next->MeasurementDock()), cells);
    next->MeasurementDock()->FlushAutosave();
    EXPECT_TRUE(Read(autosave).empty()) << "restored: kept under the new run's name";
    EXPECT_FALSE(Read(own).empty());
    // The autosave of a run still going (process 1 always runs) is not offered.
    auto third = NewFrame();
    third->MeasurementDock()->SetAutosavePath(
        dir.filePath("state/autosave-2.rvsession").toStdString());
    third->MeasurementDock()->OfferRestore();
    EXPECT_EQ(ui.questions.size(), 1u);
    // A clean close removes it.
    next->close();
    EXPECT_TRUE(Read(own).empty());
}

TEST_F(Workspace, ScreenshotShowsTheTableWithTwoRowsComparedBesideThePair) {
    auto f = MeasuredFrame();
    f->resize(1500, 820);
    f->show();
    CMeasurementDock& dock = *f->MeasurementDock();
    dock.show();
    f->resizeDocks({&dock}, {620}, Qt::Horizontal);
    dock.Table()->resizeColumnsToContents();
    f->View().SetZoomStep(4);
    dock.SelectRows({0, 2});
    QApplication::processEvents();
    EXPECT_TRUE(dock.isVisible());
    const QImage shot = f->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QString artifacts = QStringLiteral(RANVISTA_BINARY_DIR "/test-artifacts");
    QDir().mkpath(artifacts);
    EXPECT_TRUE(shot.save(artifacts + "/screenshot-workspace.png"));
    EXPECT_TRUE(dock.ComparisonText().contains("Slope"));
}
