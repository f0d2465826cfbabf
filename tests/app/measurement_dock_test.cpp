// The measurement workspace in a real frame, offscreen: three measurements
// of the sample pair reach the table; delete and undo; two rows give the
// distance and slope; exports read back; a saved session opens identically
// in a new window; an autosave left behind is offered and restored.
#include "AppFixture.h"

#include "app/MeasurementDock.h"
#include "geometry/PointGeometry.h"
#include "imagedb/StoreTransaction.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <QUndoStack>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

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
        QSettings("Ranvista", "Ranvista").clear();
        ASSERT_EQ(LoadStoreFile(db, kSamples + "ImgBinDat"), StoreFileResult::Status::kClean);
    }

    std::unique_ptr<CMainFrame> NewFrame() {
        auto f = std::make_unique<CMainFrame>(ui, db);
        f->Create();
        return f;
    }
    // What CALCULATE hands the view, for the sample pair's points.
    static void Measure(CMainFrame& f, const ImageDatabase& db, ImagePoint l, ImagePoint r) {
        const MeasurementSession& s = f.Controller().Document().Session();
        const RangeCalcInput in =
            MakeRangeCalcInput({}, s.LeftFile(), s.RightFile(), l, r, s.LastPosition(), db);
        const RangeCalcResult res = CalculateRange(in);
        ASSERT_TRUE(res.bOk);
        f.Controller().AppendMeasurementRecord(
            RecordOfCalculation(in, res, PixelSource::Clicked, PixelSource::Clicked, {}, UtcNow()));
        f.MeasurementDock()->Refresh();
    }
    std::unique_ptr<CMainFrame> MeasuredFrame() {
        auto f = NewFrame();
        f->Controller().OpenPairFiles(kLeft, kRight);
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

    // Every row's marks drawn as stored crosses where the view says they are.
    static void ExpectMarksDrawn(CMainFrame& f) {
        CChildView& v = f.View();
        QImage buffer(v.size(), QImage::Format_RGB32);
        v.RenderTo(buffer);
        const std::size_t rows = v.Session().Measurements().size();
        for (std::size_t row = 0; row < rows; ++row) {
            for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
                const auto at = v.MarkOnScreen(row, side);
                ASSERT_TRUE(at) << "row " << row << " is out of sight";
                EXPECT_EQ(buffer.pixel(int(at->x()), int(at->y())), qRgb(255, 0, 255))
                    << "row " << row;
            }
        }
    }
    static int CountPixels(CChildView& v, const std::function<bool(QRgb)>& test) {
        QImage buffer(v.size(), QImage::Format_RGB32);
        v.RenderTo(buffer);
        int n = 0;
        for (int y = 0; y < buffer.height(); ++y) {
            for (int x = 0; x < buffer.width(); ++x) {
                n += test(buffer.pixel(x, y)) ? 1 : 0;
            }
        }
        return n;
    }
    static bool Green(QRgb c) { return qGreen(c) > 200 && qRed(c) < 80 && qBlue(c) < 80; }
    static bool Orange(QRgb c) {
        return qRed(c) > 200 && qGreen(c) > 90 && qGreen(c) < 190 && qBlue(c) < 80;
    }
    static QPoint At(CMainFrame& f, std::size_t row, ViewSide side) {
        const auto p = f.View().MarkOnScreen(row, side);
        EXPECT_TRUE(p);
        return p ? QPoint(int(p->x()), int(p->y())) : QPoint();
    }

    FakeUi ui;
    ImageDatabase db;
    QTemporaryDir dir;
};

} // namespace

TEST_F(Workspace, MeasurementsReachTheTableAndDeleteUndoesWithMarksVerticesAndLog) {
    auto f = MeasuredFrame();
    CMeasurementDock& dock = *f->MeasurementDock();
    MeasurementSession& s = f->Controller().Document().Session();
    ASSERT_EQ(dock.Table()->model()->rowCount(), 3);
    EXPECT_FALSE(dock.Table()
                     ->model()
                     ->data(dock.Table()->model()->index(0, CMeasurementTableModel::kSigmaRange))
                     .toString()
                     .isEmpty());
    const std::string log = s.ResultsLog();
    const auto before = Cells(dock);
    // The table follows by inserting and removing rows: it is never reset,
    // so it keeps its scroll position and its current cell.
    int resets = 0, inserted = 0, removed = 0;
    QObject::connect(&dock.Model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(
        &dock.Model(), &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
    QObject::connect(&dock.Model(), &QAbstractItemModel::rowsRemoved,
                     [&](const QModelIndex&, int first, int last) { removed += last - first + 1; });

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
    EXPECT_EQ(Cells(dock), before);
    Measure(*f, db, {386, 761}, {289, 758});
    EXPECT_EQ(dock.Table()->model()->rowCount(), 4);
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(inserted, 3);
    // The cell the user is on stays current as rows come.
    QTableView* table = dock.Table();
    table->setCurrentIndex(table->model()->index(2, CMeasurementTableModel::kRange));
    Measure(*f, db, {727, 697}, {634, 695});
    EXPECT_EQ(table->currentIndex().row(), 2);
    EXPECT_EQ(table->currentIndex().column(), CMeasurementTableModel::kRange);

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
    const auto& rows = f->Controller().Document().Session().Measurements();
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
    EXPECT_EQ(other->Controller().Document().Session().ResultsLog(),
              f->Controller().Document().Session().ResultsLog());
    EXPECT_EQ(other->Controller().Document().Session().LeftFile(), kLeft);
    // The images show the same marks; the vertex file would hold the same points.
    const MeasurementSession& was = f->Controller().Document().Session();
    const MeasurementSession& now = other->Controller().Document().Session();
    EXPECT_EQ(now.Marks(Eye::Left), was.Marks(Eye::Left));
    EXPECT_EQ(now.Marks(Eye::Right), was.Marks(Eye::Right));
    EXPECT_EQ(now.Vertices(), was.Vertices());
    other->resize(1200, 700);
    other->show();
    QApplication::processEvents();
    other->MeasurementDock()->OpenSessionFile(session);
    ExpectMarksDrawn(*other);
}

TEST_F(Workspace, ASessionMeasuresWithTheDatabaseItRecordsOrKeepsItsResultsWhenThatIsGone) {
    auto f = MeasuredFrame();
    const std::vector<QString> saved = Cells(*f->MeasurementDock());
    const MeasurementRecord first = f->Controller().Document().Session().Measurements().front();
    // The session names the store its measurements were made with.
    const std::string store = dir.filePath("ImgBinDat").toStdString();
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(kSamples + "ImgBinDat"), QString::fromStdString(store)));
    SessionDocument doc = f->MeasurementDock()->Document();
    doc.database = store;
    const std::string session = dir.filePath("work.rvsession").toStdString();
    ASSERT_TRUE(WriteSessionFile(session, doc, nullptr));
    doc.database = dir.filePath("gone/ImgBinDat").toStdString();
    const std::string orphan = dir.filePath("orphan.rvsession").toStdString();
    ASSERT_TRUE(WriteSessionFile(orphan, doc, nullptr));

    // Started elsewhere, with an empty database of its own.
    ImageDatabase empty;
    empty.SetStorePath(dir.filePath("elsewhere/ImgBinDat").toStdString());
    {
        CMainFrame other(ui, empty);
        other.Create();
        ui.messages.clear();
        ASSERT_TRUE(other.MeasurementDock()->OpenSessionFile(session));
        EXPECT_EQ(Cells(*other.MeasurementDock()), saved) << "measured again with its own store";
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find(store), std::string::npos) << ui.messages[0];
        // A new point joins them measured the same way.
        other.Controller().Document().SetMark(Eye::Left, first.leftPixel);
        other.Controller().Document().SetMark(Eye::Right, first.rightPixel);
        const PairDocument::Measured again = other.Controller().Document().Measure("now");
        ASSERT_TRUE(again.row) << again.problem;
        EXPECT_NEAR((again.result.ptPosition - first.position).Length(), 0.0, 1e-9);
    }
    ImageDatabase stillEmpty;
    CMainFrame third(ui, stillEmpty);
    third.Create();
    ui.messages.clear();
    ASSERT_TRUE(third.MeasurementDock()->OpenSessionFile(orphan));
    EXPECT_EQ(Cells(*third.MeasurementDock()), saved) << "the saved results are kept";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("does not exist"), std::string::npos) << ui.messages[0];
}

TEST_F(Workspace, AnotherPairOffersToSaveTheTableFirstAndCancelKeepsIt) {
    auto f = MeasuredFrame();
    const std::vector<QString> rows = Cells(*f->MeasurementDock());
    ui.questions.clear();
    ui.saveChoices = {IUiServices::SaveChoice::Cancel};
    f->Controller().OpenPairFiles(kRight, kLeft);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(Cells(*f->MeasurementDock()), rows);

    const std::string session = dir.filePath("kept.rvsession").toStdString();
    ui.saveChoices = {IUiServices::SaveChoice::Save};
    ui.AnswerSave(session);
    f->Controller().OpenPairFiles(kRight, kLeft);
    EXPECT_TRUE(f->Controller().Document().Session().Measurements().empty());
    const SessionReadResult kept = ReadSessionFile(session);
    ASSERT_TRUE(kept.ok) << kept.message;
    EXPECT_EQ(kept.session.measurements.size(), 3u);
    // Nothing in the table: no question.
    ui.questions.clear();
    f->Controller().OpenPairFiles(kLeft, kRight);
    EXPECT_TRUE(ui.questions.empty());
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
        f->Controller().Document().Session().SetNote(1, "kept through a crash");
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
    EXPECT_EQ(next->Controller().Document().Session().Marks(Eye::Right).size(), 3u);
    EXPECT_EQ(next->Controller().Document().Session().Vertices().size(), 3u);
    EXPECT_NE(next->Controller().Document().Session().ResultsLog().find("Range=2.92"),
              std::string::npos);
    next->MeasurementDock()->FlushAutosave();
    EXPECT_TRUE(Read(autosave).empty()) << "restored: kept under the new run's name";
    EXPECT_FALSE(Read(own).empty());
    // The autosave of a run still going (process 1 always runs) is not offered.
    auto third = NewFrame();
    third->MeasurementDock()->SetAutosavePath(
        dir.filePath("state/autosave-2.rvsession").toStdString());
    third->MeasurementDock()->OfferRestore();
    EXPECT_EQ(ui.questions.size(), 1u);
    // A clean close removes it (the restored results are discarded when asked).
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    EXPECT_TRUE(next->close());
    EXPECT_TRUE(Read(own).empty());
}

TEST_F(Workspace, AStartNeverWaitsOnAFifoNamedAsAnAutosaveAndClearsStaleTemporaries) {
    const QString state = dir.filePath("state");
    QDir().mkpath(state);
    // A FIFO under a dead run's autosave name: opening it would block until
    // a writer came, with the window not yet shown.
    const std::string fifo = (state + "/autosave-999999998.rvsession").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A save of a dead run's autosave killed half-way.
    const std::string temp =
        (state + "/autosave-999999997.rvsession.rvsave-999999997-abcdef").toStdString();
    { std::ofstream(temp) << "half a session"; }
    std::filesystem::last_write_time(temp, std::filesystem::file_time_type::clock::now() -
                                               std::chrono::hours(1));
    auto f = NewFrame();
    f->MeasurementDock()->SetAutosavePath((state + "/autosave-1.rvsession").toStdString());
    f->MeasurementDock()->OfferRestore(); // returns: the FIFO is not opened
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_TRUE(std::filesystem::exists(fifo)); // not ours to remove
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
    QApplication::processEvents();
    f->View().ShowMarksOfRows({0, 1, 2});
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

TEST_F(Workspace, SelectedRowsLightUpTheirMarksAndAPickedOrHoveredMarkFindsItsRow) {
    auto f = MeasuredFrame();
    f->resize(1400, 800);
    f->show();
    CMeasurementDock& dock = *f->MeasurementDock();
    CChildView& v = f->View();
    QApplication::processEvents();
    dock.SelectRows({0, 2});
    EXPECT_EQ(v.HighlightedRows(), (std::vector<std::size_t>{0, 2}));
    // Selected marks out of sight are brought into view, in both images.
    ASSERT_TRUE(v.MarkOnScreen(0, ViewSide::Left) && v.MarkOnScreen(2, ViewSide::Right));
    EXPECT_GT(CountPixels(v, Green), 40);
    dock.SelectRows({});
    EXPECT_EQ(CountPixels(v, Green), 0) << "nothing selected, nothing lit";

    dock.SelectRows({0, 1, 2});
    dock.SelectRows({});
    // Ctrl+click on a mark selects its row and sets no mark; Ctrl+Shift+click
    // adds a row (here from the right image), again removes it.
    QTest::mouseClick(&v, Qt::LeftButton, Qt::ControlModifier, At(*f, 1, ViewSide::Left));
    EXPECT_EQ(dock.SelectedRows(), (std::vector<std::size_t>{1}));
    EXPECT_FALSE(v.Session().Mark(Eye::Left));
    const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::ShiftModifier;
    QTest::mouseClick(&v, Qt::LeftButton, both, At(*f, 2, ViewSide::Right));
    EXPECT_EQ(dock.SelectedRows(), (std::vector<std::size_t>{1, 2}));
    QTest::mouseClick(&v, Qt::LeftButton, both, At(*f, 1, ViewSide::Right));
    EXPECT_EQ(dock.SelectedRows(), (std::vector<std::size_t>{2}));
    // Far from every mark, Ctrl+click is an ordinary click.
    QTest::mouseClick(&v, Qt::LeftButton, Qt::ControlModifier,
                      At(*f, 1, ViewSide::Left) + QPoint(40, 0));
    EXPECT_TRUE(v.Session().Mark(Eye::Left));
    EXPECT_EQ(dock.SelectedRows(), (std::vector<std::size_t>{2}));

    // Hovering a mark makes its row the table's current one, sorted or not.
    dock.Table()->sortByColumn(CMeasurementTableModel::kRange, Qt::DescendingOrder);
    QTest::mouseMove(&v, At(*f, 0, ViewSide::Left));
    const QModelIndex current = dock.Table()->currentIndex();
    ASSERT_TRUE(current.isValid());
    EXPECT_EQ(dock.Proxy()->mapToSource(current).row(), 0);
    EXPECT_EQ(dock.SelectedRows(), (std::vector<std::size_t>{2})) << "hovering selects nothing";
}

TEST_F(Workspace, ErrorEllipsesSitOnTheirMarksInBothImagesAndTheChoiceIsRemembered) {
    auto f = MeasuredFrame();
    f->resize(1400, 800);
    f->show();
    CChildView& v = f->View();
    const auto& rows = v.Session().Measurements();
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        const ImagePoint mark = side == ViewSide::Left ? rows[1].leftPixel : rows[1].rightPixel;
        const auto outline = v.ErrorEllipseOf(1, side);
        ASSERT_FALSE(outline.empty()) << "the sample pair's cameras project the point";
        double far = 0.0;
        for (const ImagePoint& q : outline) {
            far = std::max(far, std::hypot(q.x - mark.x, q.y - mark.y));
        }
        // Half a pixel on each click: an ellipse of about that size.
        EXPECT_GT(far, 0.1);
        EXPECT_LT(far, 5.0);
    }
    // Drawn when shown, deep enough in to see them.
    v.SetZoomStep(-30);
    v.SetOffset(ViewSide::Left, {1e6, 1e6});
    v.ShowMarksOfRows({1});
    ASSERT_TRUE(v.MarkOnScreen(1, ViewSide::Left));
    EXPECT_EQ(CountPixels(v, Orange), 0);
    f->Action(ID_ERROR_ELLIPSES)->trigger();
    const int drawn = CountPixels(v, Orange);
    EXPECT_GT(drawn, 30);
    // A deleted measurement takes its ellipse with it; undo brings it back.
    f->MeasurementDock()->SelectRows({1});
    f->MeasurementDock()->DeleteSelected();
    EXPECT_EQ(CountPixels(v, Orange), 0);
    f->MeasurementDock()->UndoStack()->undo();
    f->MeasurementDock()->SelectRows({}); // the highlight would cover part of it
    EXPECT_EQ(CountPixels(v, Orange), drawn);
    f.reset();
    auto next = NewFrame();
    EXPECT_TRUE(next->View().ErrorEllipsesShown()) << "remembered in the settings";
}

TEST_F(Workspace, AReselectionIsUndoneAndRedoneWithItsMarks) {
    auto f = MeasuredFrame();
    f->resize(1400, 800);
    f->show();
    CMeasurementDock& dock = *f->MeasurementDock();
    CChildView& v = f->View();
    MeasurementSession& s = f->Controller().Document().Session();
    v.ShowMarksOfRows({0, 1, 2});
    const auto marks = s.Marks(Eye::Left);
    QTest::mouseDClick(&v, Qt::LeftButton, {}, At(*f, 1, ViewSide::Left));
    ASSERT_FALSE(s.RowHasMarks(1)) << "double-click re-selects";
    EXPECT_EQ(s.Mark(Eye::Right), s.Measurements()[1].rightPixel);
    ASSERT_EQ(dock.UndoStack()->count(), 1);
    // Ctrl+Z where the re-selection was made: in the view.
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    v.setFocus();
    QTest::keyClick(&v, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(s.RowHasMarks(1));
    EXPECT_EQ(s.Marks(Eye::Left), marks);
    EXPECT_NE(s.Mark(Eye::Right), s.Measurements()[1].rightPixel);
    dock.UndoStack()->redo();
    EXPECT_FALSE(s.RowHasMarks(1));
    EXPECT_EQ(s.Mark(Eye::Left), s.Measurements()[1].leftPixel);
    // Delete, then undo both: everything as it was.
    dock.SelectRows({0});
    dock.DeleteSelected();
    dock.UndoStack()->undo();
    dock.UndoStack()->undo();
    EXPECT_EQ(s.Marks(Eye::Left), marks);
    EXPECT_EQ(s.Measurements().size(), 3u);
}

TEST_F(Workspace, TheTableComesWithTheFirstMeasurementUnlessTheUserClosedIt) {
    {
        auto f = NewFrame();
        f->show();
        EXPECT_FALSE(f->MeasurementDock()->isVisible()) << "nothing to show yet";
        f->Controller().OpenPairFiles(kLeft, kRight);
        Measure(*f, db, {386, 761}, {289, 758});
        EXPECT_TRUE(f->MeasurementDock()->isVisible());
        f->MeasurementDock()->close();
        Measure(*f, db, {727, 697}, {634, 695});
        EXPECT_FALSE(f->MeasurementDock()->isVisible());
    }
    auto f = NewFrame();
    f->show();
    f->Controller().OpenPairFiles(kLeft, kRight);
    Measure(*f, db, {386, 761}, {289, 758});
    EXPECT_FALSE(f->MeasurementDock()->isVisible()) << "closed stays closed";
    f->MeasurementDock()->toggleViewAction()->trigger();
    EXPECT_TRUE(f->MeasurementDock()->isVisible());
    EXPECT_FALSE(f->MeasurementDock()->ClosedByUser());
}

namespace {
// The Analyse dialog as far as the session asks it: its options.
class OptionsDialog : public ICalcDialog {
public:
    explicit OptionsDialog(CalcOptions options) : m_options(std::move(options)) {}
    void ShowDialog() override {}
    void HideDialog() override {}
    void SetLeftPixel(double, double) override {}
    void SetRightPixel(double, double) override {}
    void UpdateImageInfo() override {}
    void OnCalculate() override {}
    std::optional<CalcOptions> CurrentOptions() const override { return m_options; }

private:
    CalcOptions m_options;
};
} // namespace

TEST_F(Workspace, ASavedSessionKeepsTheDialogsOptionsAndTheDatabaseItWasMeasuredWith) {
    db.SetStorePath(kSamples + "ImgBinDat");
    CalcOptions options;
    options.b2D = true;
    options.dAzCorrLeft = 1.5;
    auto f = NewFrame();
    f->Controller().SetCalcDialogFactory(
        [options](ICalcHost&) { return std::make_unique<OptionsDialog>(options); });
    f->Controller().OpenPairFiles(kLeft, kRight);
    ASSERT_NE(f->Controller().CalcDialog(), nullptr);
    Measure(*f, db, {386, 761}, {289, 758});
    const std::string path = dir.filePath("options.rvsession").toStdString();
    ui.AnswerSave(path);
    ASSERT_TRUE(f->MeasurementDock()->SaveSession());
    const SessionReadResult read = ReadSessionFile(path);
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_TRUE(read.session.options.b2D) << "opening would recalculate in 3-D";
    EXPECT_EQ(read.session.options.dAzCorrLeft, 1.5);
    EXPECT_EQ(read.session.database, kSamples + "ImgBinDat");
}

TEST_F(Workspace, TheClickUncertaintyScalesTheNextMeasurementIsSavedWithTheSessionAndRemembered) {
    db.SetStorePath(kSamples + "ImgBinDat");
    auto f = NewFrame();
    f->Controller().SetCalcDialogFactory(MakeCalcDialogFactory(ui, f.get()));
    f->Controller().OpenPairFiles(kLeft, kRight);
    CChildView& v = f->View();
    ICalcDialog* dlg = f->Controller().CalcDialog();
    ASSERT_NE(dlg, nullptr);
    const auto calculate = [&] {
        f->Controller().Document().Session().SetMark(Eye::Left, {386, 761});
        f->Controller().Document().Session().SetMark(Eye::Right, {289, 758});
        dlg->SetLeftPixel(386, 761);
        dlg->SetRightPixel(289, 758);
        dlg->UpdateImageInfo();
        dlg->OnCalculate();
    };
    const auto& rows = v.Session().Measurements();
    calculate();
    QDoubleSpinBox* box = f->MeasurementDock()->ClickSigmaBox();
    EXPECT_EQ(box->value(), 0.5);
    box->setValue(1.5);
    EXPECT_EQ(v.ClickSigmaPx(), 1.5);
    calculate();
    ASSERT_EQ(rows.size(), 2u) << (ui.messages.empty() ? "" : ui.messages[0]);
    ASSERT_TRUE(rows[0].uncertainty && rows[1].uncertainty);
    // Linear propagation: three times the pixel sigma, three times the spread.
    EXPECT_NEAR(rows[1].uncertainty->rangeSigmaM / rows[0].uncertainty->rangeSigmaM, 3.0, 1e-3);
    EXPECT_NEAR(rows[1].uncertainty->verticalSigmaM / rows[0].uncertainty->verticalSigmaM, 3.0,
                1e-3);
    // Refused values leave it as it was.
    EXPECT_FALSE(f->Controller().SetClickSigmaPx(0.0));
    EXPECT_FALSE(f->Controller().SetClickSigmaPx(-1.0));
    EXPECT_EQ(v.ClickSigmaPx(), 1.5);

    // Saved as the session's pixel sigma.
    const std::string path = dir.filePath("sigma.rvsession").toStdString();
    ui.AnswerSave(path);
    ASSERT_TRUE(f->MeasurementDock()->SaveSession());
    const SessionReadResult read = ReadSessionFile(path);
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_EQ(read.session.pixelSigmas.leftPx, 1.5);
    EXPECT_EQ(read.session.pixelSigmas.rightPx, 1.5);

    // A new window starts with it.
    f.reset();
    auto next = NewFrame();
    EXPECT_EQ(next->View().ClickSigmaPx(), 1.5) << "remembered in the settings";
    EXPECT_EQ(next->MeasurementDock()->ClickSigmaBox()->value(), 1.5);

    // A session opened brings its own, to be saved with it again.
    SessionDocument other = read.session;
    other.pixelSigmas = {0.75, 0.75};
    const std::string otherPath = dir.filePath("other.rvsession").toStdString();
    std::string error;
    ASSERT_TRUE(WriteSessionFile(otherPath, other, &error)) << error;
    ASSERT_TRUE(next->MeasurementDock()->OpenSessionFile(otherPath));
    EXPECT_EQ(next->View().ClickSigmaPx(), 0.75);
    EXPECT_EQ(next->MeasurementDock()->ClickSigmaBox()->value(), 0.75);
    EXPECT_EQ(next->MeasurementDock()->Document().pixelSigmas.leftPx, 0.75);
}
