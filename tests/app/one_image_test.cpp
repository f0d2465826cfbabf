// One image alone in the desktop app: a real Navcam product (PNG and its raw
// JSON record) opened by File > Open Image and from the command line, shown
// alone with the stereo commands disabled and saying why; a click on the
// ground joins the table as a monoscopic row with what ranvista-cli ground
// gives; a click on the sky is refused on the status bar; a pair opened
// afterwards puts the stereo view back.
#include "AppFixture.h"

#include "app/MeasurementDock.h"
#include "session/SessionFile.h"
#include "stereo/DenseRange.h"
#include "tests/support/CliRunner.h"
#include "viewer/OneImageView.h"
#include "viewer/RangeMapTool.h"

#include <QSortFilterProxyModel>

namespace {

const std::string kData = std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/";
const std::string kLeft = kData + "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";
const std::string kRight = kData + "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png";

class OneImage : public AppFixture {
protected:
    COneImageView& Mono() {
        COneImageView* v = View().OneImage();
        EXPECT_NE(v, nullptr);
        return *v;
    }
    QString Cell(int row, int column) {
        auto& model = frame->MeasurementDock()->Model();
        return model.data(model.index(row, column), Qt::DisplayRole).toString();
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
    EXPECT_TRUE(Action(ID_OPEN_STEREO_PAIR)->isEnabled());
    EXPECT_TRUE(Action(ID_OPEN_IMAGE)->isEnabled());

    // A click on the ground near the bottom of the image.
    const ImagePoint ground{640.0, 900.0};
    const QPointF at = mono.WidgetPointOf(ground);
    QTest::mouseClick(&mono, Qt::LeftButton, Qt::NoModifier, at.toPoint());
    const auto& rows = View().Session().Measurements();
    ASSERT_EQ(rows.size(), 1u) << View().StatusText();
    const MeasurementRecord& r = rows.front();
    EXPECT_TRUE(r.IsMono());
    // Within the image pixels one screen pixel spans at the fitted scale.
    EXPECT_NEAR(r.leftPixel.x, ground.x, 3.0);
    EXPECT_NEAR(r.leftPixel.y, ground.y, 3.0);
    EXPECT_NEAR(r.position.m_dZ, 0.0, 1e-9);
    ASSERT_TRUE(r.uncertainty);
    EXPECT_EQ(r.logEntry.rfind("\nMonoscopic Image NLF_1110", 0), 0u) << r.logEntry;
    EXPECT_EQ(View().Session().ResultsLog(), r.logEntry);
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
    EXPECT_EQ(View().Session().Measurements().size(), 1u);
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
    ASSERT_EQ(View().Session().Measurements().size(), 2u);
    EXPECT_NEAR(View().Session().Measurements()[1].leftPixel.x, near.x, 1.5);
    EXPECT_NEAR(View().Session().Measurements()[1].leftPixel.y, near.y, 1.5);
    frame->Action(ID_VIEW_FIT_TO_WINDOW)->trigger();
    EXPECT_EQ(mono.ZoomFactor(), 1.0);

    // A pair opened afterwards brings the stereo view back.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    View().OpenPairFiles(kLeft, kRight);
    View().WaitForImages();
    EXPECT_FALSE(View().IsOneImage());
    EXPECT_FALSE(mono.isVisible());
    OpenMenus();
    EXPECT_TRUE(Action(ID_SWAP_IMAGES)->isEnabled());
    EXPECT_NE(Action(ID_SWAP_IMAGES)->statusTip().toStdString(), kNeedsPairReason);
}

TEST_F(OneImage, ASessionOfOneImageSavesAndOpensAgainWithItsMonoscopicRows) {
    Start();
    View().OpenImageFile(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    Mono().MeasureAt({640.0, 900.0});
    Mono().MeasureAt({300.0, 950.0});
    ASSERT_EQ(View().Session().Measurements().size(), 2u);
    const SessionDocument saved = frame->MeasurementDock()->Document();
    EXPECT_EQ(saved.leftImage, kLeft);
    EXPECT_EQ(saved.rightImage, "");
    const std::string path = dir.path().toStdString() + "/one.rvsession";
    ASSERT_TRUE(WriteSessionFile(path, saved, nullptr));

    // A pair replaces it; the session brings the image back alone.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    View().OpenPairFiles(kLeft, kRight);
    View().WaitForImages();
    ASSERT_FALSE(View().IsOneImage());
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    ASSERT_TRUE(frame->MeasurementDock()->OpenSessionFile(path));
    EXPECT_TRUE(View().IsOneImage());
    const auto& rows = View().Session().Measurements();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].IsMono() && rows[1].IsMono());
    EXPECT_EQ(rows, saved.measurements);
}

TEST_F(OneImage, TheRangeMapOfThePairServesItsLeftImageAloneAndTheGroundWhereItShowsNothing) {
    Start();
    View().OpenPairFiles(kLeft, kRight);
    View().WaitForImages();
    ASSERT_TRUE(View().RangeMap().Compute());
    View().RangeMap().WaitForMap();
    ASSERT_NE(View().RangeMap().Map(), nullptr);
    const ImagePoint ground{640.0, 900.0};
    const auto dense = View().RangeMap().Map()->At(ground);
    ASSERT_TRUE(dense);

    View().OpenImageFile(kLeft);
    ASSERT_TRUE(View().IsOneImage());
    EXPECT_TRUE(Mono().HasDenseMap());
    const MonoRangeResult r = Mono().MeasureAt(ground);
    ASSERT_TRUE(r.ok) << r.problem;
    const auto& rows = View().Session().Measurements();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].surface, "dense map");
    // The same pixel of the map's own image: the map's point.
    EXPECT_NEAR(r.rangeM, dense->range, 0.02 * dense->range);
    // The sky has no map: the ground plane refuses it too.
    EXPECT_FALSE(Mono().MeasureAt({640.0, 20.0}).ok);

    // Another rover position's image gets no map.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    View().OpenPairFiles(kLeft, kRight);
    View().WaitForImages();
    ASSERT_TRUE(View().RangeMap().Compute());
    View().RangeMap().WaitForMap();
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    View().OpenImageFile(kData + "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ.png");
    ASSERT_TRUE(View().IsOneImage());
    EXPECT_FALSE(Mono().HasDenseMap());
}

TEST_F(OneImage, OneFileOnTheCommandLineOpensItAlone) {
    StartupOptions options;
    options.sLeftFile = kLeft;
    Start(options);
    EXPECT_TRUE(View().IsOneImage());
    EXPECT_EQ(View().Session().LeftFile(), kLeft);
    EXPECT_EQ(View().Session().RightFile(), "");
    const ParsedCommandLine one = ParseCommandLine({"ranvista", "a.png"});
    EXPECT_TRUE(one.bRun);
    EXPECT_NE(one.options.sLeftFile.find("a.png"), std::string::npos);
    EXPECT_EQ(one.options.sRightFile, "");
    EXPECT_FALSE(ParseCommandLine({"ranvista", "a.png", "b.png", "c.png"}).bRun);
}

} // namespace
