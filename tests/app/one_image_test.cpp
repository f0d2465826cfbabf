// One image alone in the desktop app: a real Navcam product (PNG and its raw
// JSON record) opened by File > Open Image and from the command line, shown
// alone with the stereo commands disabled and saying why; a click on the
// ground joins the table as a monoscopic row with what ranvista-cli ground
// gives; a click on the sky is refused on the status bar; a pair opened
// afterwards puts the stereo view back; the plane of the pair's measured
// points serves an image of the same rover position; the ground plane's
// height sigma is set in the table's dock; the table's selection and the
// error ellipses are drawn over the image.
#include "AppFixture.h"

#include "app/MeasurementDock.h"
#include "session/SessionFile.h"
#include "stereo/DenseRange.h"
#include "tests/support/CliRunner.h"
#include "tests/support/TestFiles.h"
#include "viewer/OneImageView.h"
#include "viewer/RangeMapTool.h"

#include <QDoubleSpinBox>
#include <QSortFilterProxyModel>
#include <QTableView>

#include <fstream>
#include <iterator>

namespace {

const std::string kData = std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/";
const std::string kLeft = kData + "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
const std::string kRight = kData + "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
// Another rover position.
const std::string kOther = kData + "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ.png";

// Stereo rows of the open pair on ground about 0.3 m below z = 0, not quite flat.
std::vector<MeasurementRecord> GroundRows() {
    std::vector<MeasurementRecord> rows;
    int index = 1;
    for (const CPoint3D& p : {CPoint3D{4, -1, -0.3}, CPoint3D{6, 1, -0.28}, CPoint3D{8, 3, -0.32},
                              CPoint3D{5, 4, -0.3}, CPoint3D{9, -2, -0.3}}) {
        MeasurementRecord r;
        r.index = index++;
        r.position = p;
        r.rangeM = p.Length();
        r.vertex.m_ptPosition = p;
        r.logEntry = "\nStereo row " + std::to_string(r.index) + "\n";
        rows.push_back(r);
    }
    return rows;
}

// Pixels of a grabbed widget near a point whose colour passes test.
template <typename Test>
int CountPixels(const QImage& shot, const QPointF& centre, int half, Test test) {
    int n = 0;
    for (int y = static_cast<int>(centre.y()) - half; y <= static_cast<int>(centre.y()) + half;
         ++y) {
        for (int x = static_cast<int>(centre.x()) - half; x <= static_cast<int>(centre.x()) + half;
             ++x) {
            if (shot.valid(x, y) && test(shot.pixelColor(x, y))) {
                ++n;
            }
        }
    }
    return n;
}

class OneImage : public AppFixture {
protected:
    COneImageView& Mono() {
        COneImageView* v = View().OneImage();
        EXPECT_NE(v, nullptr);
        return *v;
    }
    QString Cell(int row, int column, int role = Qt::DisplayRole) {
        auto& model = frame->MeasurementDock()->Model();
        return model.data(model.index(row, column), role).toString();
    }
    // The pair opened and measured: its rows as the table holds them.
    void OpenMeasuredPair() {
        Controller().OpenPairFiles(kLeft, kRight);
        Controller().WaitForImages();
        for (MeasurementRecord r : GroundRows()) {
            Controller().Document().Session().Append(std::move(r));
        }
        Controller().Document().Touch(PairDocument::Change::Measurements);
        ASSERT_EQ(frame->MeasurementDock()->Model().rowCount({}), 5);
    }
    void OpenImageByMenu(const std::string& file) {
        ui.AnswerOpen({file});
        frame->Action(ID_OPEN_IMAGE)->trigger();
    }
    std::string Status() { return frame->statusBar()->currentMessage().toStdString(); }
    void Click(const ImagePoint& pixel) {
        QTest::mouseClick(&Mono(), Qt::LeftButton, Qt::NoModifier,
                          Mono().WidgetPointOf(pixel).toPoint());
    }
};

TEST_F(OneImage, OpenImageShowsTheProductAloneAndAClickOnTheGroundJoinsTheTableAsMonoscopic) {
    Start();
    ui.AnswerOpen({kLeft});
    frame->Action(ID_OPEN_IMAGE)->trigger();
    ASSERT_TRUE(View().IsOneImage());
    COneImageView& mono = Mono();
    EXPECT_TRUE(mono.isVisible());
    EXPECT_EQ(mono.geometry(), View().rect());
    EXPECT_EQ(View().Image(ViewSide::Left), nullptr);
    EXPECT_NE(frame->windowTitle().indexOf("IMAGE(NLF_1110"), -1)
        << frame->windowTitle().toStdString();
    ASSERT_TRUE(mono.Camera().product);

    // The stereo commands are disabled and say why.
    OpenMenus();
    for (const int id : {ID_SWAP_IMAGES, ID_SHOW_CALC_CONTROL, ID_AUTO_MATCH, ID_EPIPOLAR_CURVE,
                         ID_AUTO_DETECT_VERTEX_PAIRS}) {
        EXPECT_FALSE(Action(id)->isEnabled()) << id;
        EXPECT_EQ(Action(id)->statusTip().toStdString(), kNeedsPairReason) << id;
    }
    const auto opacityMenu = [&] {
        for (QMenu* menu : frame->findChildren<QMenu*>()) {
            if (menu->title() == "Range Map Opacity") {
                return menu;
            }
        }
        return static_cast<QMenu*>(nullptr);
    };
    ASSERT_NE(opacityMenu(), nullptr);
    EXPECT_FALSE(opacityMenu()->isEnabled()) << "a submenu whose every item needs a pair";
    EXPECT_TRUE(Action(ID_OPEN_STEREO_PAIR)->isEnabled());
    EXPECT_TRUE(Action(ID_OPEN_IMAGE)->isEnabled());

    // A click on the ground near the bottom of the image.
    const ImagePoint ground{640.0, 900.0};
    const QPointF at = mono.WidgetPointOf(ground);
    QTest::mouseClick(&mono, Qt::LeftButton, Qt::NoModifier, at.toPoint());
    const auto& rows = Controller().Document().Session().Measurements();
    ASSERT_EQ(rows.size(), 1u) << View().StatusText();
    const MeasurementRecord& r = rows.front();
    EXPECT_TRUE(r.IsMono());
    // Within the image pixels one screen pixel spans at the fitted scale.
    EXPECT_NEAR(r.leftPixel.x, ground.x, 3.0);
    EXPECT_NEAR(r.leftPixel.y, ground.y, 3.0);
    EXPECT_NEAR(r.position.m_dZ, 0.0, 1e-9);
    ASSERT_TRUE(r.uncertainty);
    EXPECT_EQ(r.logEntry.rfind("\nMonoscopic Image NLF_1110", 0), 0u) << r.logEntry;
    EXPECT_EQ(Controller().Document().Session().ResultsLog(), r.logEntry);
    // The table shows it as monoscopic.
    ASSERT_EQ(frame->MeasurementDock()->Model().rowCount({}), 1);
    EXPECT_EQ(Cell(0, CMeasurementTableModel::kRightSet), "mono");
    EXPECT_EQ(Cell(0, CMeasurementTableModel::kRightPixel), "");
    EXPECT_EQ(Cell(0, CMeasurementTableModel::kRange), QString::number(r.rangeM, 'f', 4));
    // The command line gives the same point at the same pixel.
    const CliResult cli = RunCli("ground '" + kLeft + "' " + std::to_string(r.leftPixel.x) + " " +
                                 std::to_string(r.leftPixel.y) + " --json --db " + StorePath());
    ASSERT_EQ(cli.status, 0) << cli.out;
    EXPECT_NEAR(cli.Json()["range"].get<double>(), r.rangeM, 1e-4);

    // The sky: refused, said on the status bar, nothing added.
    QTest::mouseClick(&mono, Qt::LeftButton, Qt::NoModifier,
                      mono.WidgetPointOf({640.0, 20.0}).toPoint());
    EXPECT_EQ(Controller().Document().Session().Measurements().size(), 1u);
    EXPECT_NE(frame->statusBar()->currentMessage().indexOf("above the horizon"), -1)
        << frame->statusBar()->currentMessage().toStdString();

    // The view shows the image: the middle of the widget is not black.
    const QImage shot = mono.grab().toImage();
    const QColor middle = shot.pixelColor(shot.width() / 2, shot.height() / 2);
    EXPECT_GT(middle.red() + middle.green() + middle.blue(), 60);

    // Zoomed in, a click lands on the pixel under it, and the mark follows.
    frame->Action(ID_VIEW_ZOOM_IN)->trigger();
    frame->Action(ID_VIEW_ZOOM_IN)->trigger();
    EXPECT_NEAR(mono.ZoomFactor(), 1.5625, 1e-12);
    const ImagePoint near{700.0, 880.0};
    const QPoint zoomed = mono.WidgetPointOf(near).toPoint();
    ASSERT_TRUE(mono.rect().contains(zoomed));
    QTest::mouseClick(&mono, Qt::LeftButton, Qt::NoModifier, zoomed);
    ASSERT_EQ(Controller().Document().Session().Measurements().size(), 2u);
    EXPECT_NEAR(Controller().Document().Session().Measurements()[1].leftPixel.x, near.x, 1.5);
    EXPECT_NEAR(Controller().Document().Session().Measurements()[1].leftPixel.y, near.y, 1.5);
    frame->Action(ID_VIEW_FIT_TO_WINDOW)->trigger();
    EXPECT_EQ(mono.ZoomFactor(), 1.0);

    // A pair opened afterwards brings the stereo view back.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    Controller().OpenPairFiles(kLeft, kRight);
    Controller().WaitForImages();
    EXPECT_FALSE(View().IsOneImage());
    EXPECT_FALSE(mono.isVisible());
    OpenMenus();
    EXPECT_TRUE(Action(ID_SWAP_IMAGES)->isEnabled());
    EXPECT_NE(Action(ID_SWAP_IMAGES)->statusTip().toStdString(), kNeedsPairReason);
    EXPECT_TRUE(opacityMenu()->isEnabled());
}

TEST_F(OneImage, ASessionOfOneImageSavesAndOpensAgainWithItsMonoscopicRows) {
    Start();
    Controller().OpenImageFile(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    Mono().MeasureAt({640.0, 900.0});
    Mono().MeasureAt({300.0, 950.0});
    ASSERT_EQ(Controller().Document().Session().Measurements().size(), 2u);
    // The point cloud takes each row's colour from the image it was clicked in.
    const std::string ply = dir.path().toStdString() + "/one.ply";
    ui.AnswerSave(ply);
    ASSERT_TRUE(frame->MeasurementDock()->ExportPly(false));
    std::ifstream plyFile(ply);
    const std::string points((std::istreambuf_iterator<char>(plyFile)), {});
    EXPECT_NE(points.find("property uchar red\n"), std::string::npos) << points;
    const SessionDocument saved = frame->MeasurementDock()->Document();
    EXPECT_EQ(saved.leftImage, kLeft);
    EXPECT_EQ(saved.rightImage, "");
    const std::string path = dir.path().toStdString() + "/one.rvsession";
    ASSERT_TRUE(WriteSessionFile(path, saved, nullptr));

    // A pair replaces it; the session brings the image back alone.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    Controller().OpenPairFiles(kLeft, kRight);
    Controller().WaitForImages();
    ASSERT_FALSE(View().IsOneImage());
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    ASSERT_TRUE(frame->MeasurementDock()->OpenSessionFile(path));
    EXPECT_TRUE(View().IsOneImage());
    const auto& rows = Controller().Document().Session().Measurements();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].IsMono() && rows[1].IsMono());
    EXPECT_EQ(rows, saved.measurements);
}

TEST_F(OneImage, TheRangeMapOfThePairServesItsLeftImageAloneAndTheGroundWhereItShowsNothing) {
    Start();
    Controller().OpenPairFiles(kLeft, kRight);
    Controller().WaitForImages();
    ASSERT_TRUE(View().RangeMap().Compute());
    View().RangeMap().WaitForMap();
    ASSERT_NE(View().RangeMap().Map(), nullptr);
    const ImagePoint ground{640.0, 900.0};
    const auto dense = View().RangeMap().Map()->At(ground);
    ASSERT_TRUE(dense);

    Controller().OpenImageFile(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    EXPECT_TRUE(Mono().HasDenseMap());
    const MonoRangeResult r = Mono().MeasureAt(ground);
    ASSERT_TRUE(r.ok) << r.problem;
    const auto& rows = Controller().Document().Session().Measurements();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].surface, "dense map");
    // The same pixel of the map's own image: the map's point.
    EXPECT_NEAR(r.rangeM, dense->range, 0.02 * dense->range);
    // The sky has no map: the ground plane refuses it too.
    EXPECT_FALSE(Mono().MeasureAt({640.0, 20.0}).ok);

    // Another rover position's image gets no map.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    Controller().OpenPairFiles(kLeft, kRight);
    Controller().WaitForImages();
    ASSERT_TRUE(View().RangeMap().Compute());
    View().RangeMap().WaitForMap();
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    Controller().OpenImageFile(kData + "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ.png");
    ASSERT_TRUE(View().IsOneImage());
    EXPECT_FALSE(Mono().HasDenseMap());
}

TEST_F(OneImage, ThePairsPointsGiveThePlaneAnImageFromTheSameRoverPositionMeets) {
    Start();
    OpenMeasuredPair();
    // Opening the image asks as opening a pair does; Cancel keeps the rows.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Cancel);
    OpenImageByMenu(kLeft);
    EXPECT_FALSE(View().IsOneImage());
    EXPECT_EQ(frame->MeasurementDock()->Model().rowCount({}), 5);

    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    OpenImageByMenu(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    ASSERT_TRUE(Mono().FittedPlane());
    EXPECT_EQ(Mono().FittedPlane()->fittedPoints, 5);
    EXPECT_NE(Status().find("plane fitted to 5 measured points, else the ground plane"),
              std::string::npos)
        << Status();

    const ImagePoint ground{640.0, 900.0};
    Click(ground);
    const auto& rows = Controller().Document().Session().Measurements();
    ASSERT_EQ(rows.size(), 1u) << Status();
    const MeasurementRecord& r = rows.front();
    EXPECT_EQ(r.surface.rfind("fitted plane ", 0), 0u) << r.surface;
    EXPECT_NEAR(r.position.m_dZ, -0.3, 0.05);
    EXPECT_NE(Status().find("on the fitted plane"), std::string::npos) << Status();
    EXPECT_TRUE(Cell(0, CMeasurementTableModel::kRange, Qt::ToolTipRole)
                    .startsWith("Monoscopic: on the fitted plane"));

    // What ranvista-cli ground gives with the pair's session: the same
    // point, and the same 1-sigma with the fit's residuals in it.
    SessionDocument session;
    session.leftImage = kLeft;
    session.rightImage = kRight;
    session.measurements = GroundRows();
    const std::string path = dir.path().toStdString() + "/pair.rvsession";
    ASSERT_TRUE(WriteSessionFile(path, session, nullptr));
    const CliResult cli = RunCli("ground '" + kLeft + "' " + std::to_string(r.leftPixel.x) + " " +
                                 std::to_string(r.leftPixel.y) + " --session '" + path +
                                 "' --json --db " + StorePath());
    ASSERT_EQ(cli.status, 0) << cli.out;
    const auto j = cli.Json();
    EXPECT_NEAR(j["range"].get<double>(), r.rangeM, 1e-4);
    ASSERT_TRUE(r.uncertainty);
    EXPECT_NEAR(j["sigma"]["range"].get<double>(), r.uncertainty->rangeSigmaM, 1e-4);
    EXPECT_NEAR(j["surface"]["height_sigma"].get<double>(), Mono().FittedPlane()->heightSigmaM,
                1e-9);
    EXPECT_GT(Mono().FittedPlane()->heightSigmaM, 0.005);

    // The sky misses the plane and the ground: refused, nothing added.
    Click({640.0, 20.0});
    EXPECT_EQ(Controller().Document().Session().Measurements().size(), 1u);
}

TEST_F(OneImage, PointsOfAnotherRoverPositionGiveNoPlaneAndSaySo) {
    Start();
    OpenMeasuredPair();
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    OpenImageByMenu(kOther);
    ASSERT_TRUE(View().IsOneImage());
    EXPECT_FALSE(Mono().FittedPlane());
    EXPECT_NE(Status().find("the measured points give no plane: the pair was measured from "
                            "another rover position"),
              std::string::npos)
        << Status();
    Click({640.0, 900.0});
    ASSERT_EQ(Controller().Document().Session().Measurements().size(), 1u) << Status();
    EXPECT_EQ(Controller().Document().Session().Measurements()[0].surface.rfind("ground plane ", 0),
              0u);

    // The image's own monoscopic rows are on a surface already: opening
    // another image of the same position fits nothing to them.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    OpenImageByMenu(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    EXPECT_FALSE(Mono().FittedPlane());
    EXPECT_EQ(Mono().FittedPlaneProblem(), "");
}

// A lander whose ground is not known: the image opens, the status bar says
// there is no surface and why, and a click measures nothing.
TEST_F(OneImage, AnImageOfAVehicleWhoseGroundIsNotKnownSaysSoAndMeasuresNothing) {
    Start();
    TempDir dir;
    const std::string insight = dir / kInSightProductName;
    WriteBytes(insight, InSightProductBytes(64, 32));
    OpenImageByMenu(insight);
    ASSERT_TRUE(View().IsOneImage()) << Status();
    EXPECT_NE(Status().find("no surface to measure on"), std::string::npos) << Status();
    EXPECT_NE(Status().find("the frame of InSight is not known"), std::string::npos) << Status();
    Click({32.0, 24.0});
    EXPECT_TRUE(Controller().Document().Session().Measurements().empty());
    EXPECT_EQ(Status().rfind("No range: where the ground lies in the frame of InSight", 0), 0u)
        << Status();
}

TEST_F(OneImage, TheGroundHeightSigmaIsSetInTheDockForTheNextClicksAndRemembered) {
    Start();
    Controller().OpenImageFile(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    QDoubleSpinBox* box = frame->MeasurementDock()->GroundSigmaBox();
    ASSERT_NE(box, nullptr);
    EXPECT_DOUBLE_EQ(box->value(), 0.1);
    const ImagePoint ground{640.0, 900.0};
    Click(ground);

    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, "0.5");
    QTest::keyClick(box, Qt::Key_Enter);
    EXPECT_DOUBLE_EQ(Controller().Document().GroundHeightSigmaM(), 0.5);
    Click(ground);
    const auto& rows = Controller().Document().Session().Measurements();
    ASSERT_EQ(rows.size(), 2u) << Status();
    EXPECT_NE(rows[0].surface.find("height sigma 0.1 m"), std::string::npos) << rows[0].surface;
    EXPECT_NE(rows[1].surface.find("height sigma 0.5 m"), std::string::npos) << rows[1].surface;
    ASSERT_TRUE(rows[0].uncertainty && rows[1].uncertainty);
    EXPECT_GT(rows[1].uncertainty->rangeSigmaM, 2.0 * rows[0].uncertainty->rangeSigmaM);

    // Remembered from one start to the next.
    Stop();
    Start();
    EXPECT_DOUBLE_EQ(frame->MeasurementDock()->GroundSigmaBox()->value(), 0.5);
    EXPECT_DOUBLE_EQ(Controller().Document().GroundHeightSigmaM(), 0.5);

    // A setting it cannot take (edited by hand) leaves the default.
    Stop();
    for (const char* bad : {"-2", "nan", "lots"}) {
        {
            QSettings s("Ranvista", "Ranvista");
            s.beginGroup("Ranvista");
            s.setValue("m_dGroundHeightSigmaM", bad);
        }
        Start();
        EXPECT_DOUBLE_EQ(Controller().Document().GroundHeightSigmaM(), 0.1) << bad;
        EXPECT_DOUBLE_EQ(frame->MeasurementDock()->GroundSigmaBox()->value(), 0.1) << bad;
        Stop();
    }
}

TEST_F(OneImage, TheTablesSelectionAndTheErrorEllipsesAreDrawnOverTheImage) {
    Start();
    Controller().OpenImageFile(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    COneImageView& mono = Mono();
    // Large enough to see: the ellipse of a point on the ground in its own
    // image is about the click's.
    ASSERT_TRUE(Controller().SetClickSigmaPx(8.0));
    const ImagePoint first{640.0, 900.0}, second{300.0, 950.0};
    Click(first);
    Click(second);
    ASSERT_EQ(Controller().Document().Session().Measurements().size(), 2u) << Status();

    const auto green = [](const QColor& c) {
        return c.green() > 200 && c.red() < 80 && c.blue() < 80;
    };
    const auto orange = [](const QColor& c) {
        return c.red() > 200 && c.green() > 110 && c.green() < 165 && c.blue() < 60;
    };
    EXPECT_EQ(CountPixels(mono.grab().toImage(), mono.WidgetPointOf(second), 12, green), 0);

    // Selecting the second row in the table highlights its mark only.
    QTableView* table = frame->MeasurementDock()->Table();
    table->selectRow(1);
    ASSERT_EQ(mono.HighlightedRows(), std::vector<std::size_t>{1});
    QImage shot = mono.grab().toImage();
    EXPECT_GT(CountPixels(shot, mono.WidgetPointOf(second), 12, green), 10);
    EXPECT_EQ(CountPixels(shot, mono.WidgetPointOf(first), 12, green), 0);

    // View > Error Ellipses is there with one image, and draws each row's.
    table->clearSelection();
    frame->Action(ID_VIEW_ZOOM_IN)->trigger();
    frame->Action(ID_VIEW_ZOOM_IN)->trigger();
    frame->Action(ID_VIEW_ZOOM_IN)->trigger();
    const QPointF at = mono.WidgetPointOf(first);
    ASSERT_TRUE(mono.rect().contains(at.toPoint()));
    EXPECT_EQ(CountPixels(mono.grab().toImage(), at, 30, orange), 0);
    OpenMenus();
    ASSERT_TRUE(Action(ID_ERROR_ELLIPSES)->isEnabled());
    EXPECT_NE(Action(ID_ERROR_ELLIPSES)->statusTip().toStdString(), kNeedsPairReason);
    Action(ID_ERROR_ELLIPSES)->trigger();
    EXPECT_TRUE(mono.ErrorEllipsesShown());
    const std::vector<ImagePoint> outline = mono.ErrorEllipseOf(0);
    ASSERT_FALSE(outline.empty());
    // Around the row's pixel, about the click sigma across.
    double farthest = 0.0;
    for (const ImagePoint& q : outline) {
        farthest = std::max(farthest, std::hypot(q.x - first.x, q.y - first.y));
    }
    EXPECT_GT(farthest, 6.0);
    EXPECT_LT(farthest, 30.0);
    EXPECT_GT(CountPixels(mono.grab().toImage(), at, 30, orange), 10);
    Action(ID_ERROR_ELLIPSES)->trigger();
    EXPECT_EQ(CountPixels(mono.grab().toImage(), at, 30, orange), 0);
}

TEST_F(OneImage, OneFileOnTheCommandLineOpensItAlone) {
    StartupOptions options;
    options.sLeftFile = kLeft;
    Start(options);
    EXPECT_TRUE(View().IsOneImage());
    EXPECT_EQ(Controller().Document().Session().LeftFile(), kLeft);
    EXPECT_EQ(Controller().Document().Session().RightFile(), "");
    const ParsedCommandLine one = ParseCommandLine({"ranvista", "a.png"});
    EXPECT_TRUE(one.bRun);
    EXPECT_NE(one.options.sLeftFile.find("a.png"), std::string::npos);
    EXPECT_EQ(one.options.sRightFile, "");
    EXPECT_FALSE(ParseCommandLine({"ranvista", "a.png", "b.png", "c.png"}).bRun);
}

} // namespace
