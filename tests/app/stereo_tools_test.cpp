// View > Stereo and the range map in a real frame, offscreen, on the
// Opportunity Navcam sample pair: the overlay is drawn, the readout under the
// pointer is the core's point at that pixel, Shift+click measures it into
// the table as "dense" and Undo takes it back, the window takes input while
// the map is computed and Cancel (or Esc) in the status bar stops the worker,
// another pair drops the map, other cameras recompute it, and the stereo
// window shows a red/cyan anaglyph that exports as PNG.
#include "app/MainFrame.h"
#include "app/MeasurementDock.h"
#include "app/MeasurementTableModel.h"
#include "app/PairController.h"
#include "app/StatusProgress.h"
#include "base/Format.h"
#include "imagedb/StoreTransaction.h"
#include "matching/GreyImageFile.h"
#include "stereo/DenseRange.h"
#include "stereo/PairProjections.h"
#include "viewer/CommandIds.h"
#include "viewer/RangeMapTool.h"
#include "viewer/StereoWindow.h"

#include "tests/support/FakeUi.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";
const std::string kLeft = kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png";
const std::string kRight = kSamples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png";

// The map as the command line makes it: the files read by the core, the
// cameras of the range calculation.
const DenseRangeMap& CoreMap(const ImageDatabase& db) {
    static const DenseResult dense = [&db] {
        ProductCameraCache products;
        PairProjectionsResult cameras =
            MakePairProjections(MakeRangeCalcInput({}, kLeft, kRight, {}, {}, {}, db, &products));
        EXPECT_TRUE(cameras.ok) << cameras.reason;
        const ImageFileResult l = ReadGreyImage(kLeft);
        const ImageFileResult r = ReadGreyImage(kRight);
        auto rect = std::make_shared<const StereoRectification>(cameras.left, cameras.right,
                                                                l.image.width, l.image.height,
                                                                r.image.width, r.image.height);
        return ComputeDenseRange(rect, l.image, r.image);
    }();
    EXPECT_TRUE(dense.ok) << dense.problem;
    return dense.map;
}

class StereoTools : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings("Ranvista", "Ranvista").clear();
        ASSERT_EQ(LoadStoreFile(db, kSamples + "ImgBinDat"), StoreFileResult::Status::kClean);
        frame = std::make_unique<CMainFrame>(ui, db);
        frame->Create();
        frame->resize(1300, 760);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        Controller().OpenPairFiles(kLeft, kRight);
        ASSERT_TRUE(View().HasBothImages());
        View().OnReset(); // one screen pixel per image pixel
    }
    CChildView& View() { return frame->View(); }
    CPairController& Controller() { return frame->Controller(); }
    CRangeMapTool& Tool() { return View().RangeMap(); }
    CStatusProgressPane& Pane() { return *frame->ProgressPane(); }
    QImage Render() {
        QImage buffer(View().size(), QImage::Format_RGB32);
        View().RenderTo(buffer);
        return buffer;
    }
    // A ranged pixel of the left image that shows on screen above the legend.
    std::pair<ImagePoint, QPoint> VisibleRangedPixel() {
        const SideLayout layout = View().ComputeLayout(View().ClientRect(), ViewSide::Left);
        for (int y = layout.panel.Height() - 120; y > 100; y -= 7) {
            for (int x = 200; x < layout.panel.Width() - 50; x += 13) {
                const ImagePoint q{double(x), double(y)};
                if (CoreMap(db).At(q) && Tool().Map()->At(q)) {
                    const ImageToScreenResult s = View().ImageToScreen(q, ViewSide::Left, layout);
                    if (s.visible) {
                        return {q, QPoint(int(s.x), int(s.y))};
                    }
                }
            }
        }
        ADD_FAILURE() << "no ranged pixel in sight";
        return {};
    }

    FakeUi ui;
    ImageDatabase db;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace

TEST_F(StereoTools, TheRangeMapIsDrawnReadOutUnderThePointerAndMeasuredWithOneClick) {
    EXPECT_EQ(Tool().Map(), nullptr) << "opening a pair computes no map";
    const QImage plain = Render();
    frame->Action(ID_RANGE_MAP)->trigger();
    EXPECT_TRUE(Tool().Busy());
    EXPECT_TRUE(ui.progressTitles.empty()) << "no modal progress box";
    EXPECT_TRUE(Pane().isVisible());
    EXPECT_EQ(Pane().Bar()->toolTip(), CRangeMapTool::kProgressTitle);
    Tool().WaitForMap();
    EXPECT_FALSE(Pane().isVisible()) << "the bar goes with the computation";
    ASSERT_NE(Tool().Map(), nullptr) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_TRUE(Tool().OverlayShown());
    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->Action(ID_RANGE_MAP)->isChecked());
    // The opacity the overlay starts with is one the menu offers, and checked.
    int checkedLevels = 0;
    for (int id :
         {ID_RANGE_OPACITY_25, ID_RANGE_OPACITY_50, ID_RANGE_OPACITY_75, ID_RANGE_OPACITY_100}) {
        checkedLevels += frame->Action(id)->isChecked() ? 1 : 0;
    }
    EXPECT_EQ(checkedLevels, 1);
    // The map the app computed is the command line's.
    const DenseRangeMap& core = CoreMap(db);
    ASSERT_EQ(Tool().Map()->Xyz().size(), core.Xyz().size());
    EXPECT_EQ(Tool().Map()->Summary().valid, core.Summary().valid);

    // Drawn: at full opacity a ranged pixel shows its range's colour.
    frame->Action(ID_RANGE_OPACITY_100)->trigger();
    EXPECT_TRUE(frame->Action(ID_RANGE_OPACITY_100)->isChecked());
    EXPECT_FALSE(frame->Action(ID_RANGE_OPACITY_50)->isChecked());
    const auto [pixel, screen] = VisibleRangedPixel();
    const DensePoint point = *core.At(pixel);
    const QImage drawn = Render();
    const uint8_t* colour = Tool().Colours().Colour(point.range);
    EXPECT_EQ(drawn.pixel(screen), qRgb(colour[0], colour[1], colour[2]));
    int changed = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width() / 2; ++x) {
            changed += drawn.pixel(x, y) != plain.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_GT(changed, drawn.height() * drawn.width() / 20) << "the overlay covers the ground";
    // Half opacity lies between the image and the colour; hidden is the plain view.
    frame->Action(ID_RANGE_OPACITY_50)->trigger();
    const QRgb half = Render().pixel(screen);
    EXPECT_NEAR(qRed(half), (qRed(plain.pixel(screen)) + colour[0]) / 2.0, 2.0);
    frame->Action(ID_RANGE_MAP)->trigger();
    EXPECT_FALSE(Tool().OverlayShown());
    EXPECT_EQ(Render(), plain);
    frame->Action(ID_RANGE_MAP)->trigger();
    EXPECT_FALSE(Tool().Busy()) << "the map is kept, not computed again";
    EXPECT_TRUE(Tool().OverlayShown());

    // Hover: the readout of the pixel under the pointer, with no click.
    QTest::mouseMove(&View(), screen);
    EXPECT_EQ(View().StatusText(), Tool().Readout(pixel));
    EXPECT_NE(View().StatusText().find(StrFormat("X %.3f  Y %.3f  Z %.3f m", point.position.m_dX,
                                                 point.position.m_dY, point.position.m_dZ)),
              std::string::npos)
        << View().StatusText();
    EXPECT_NE(View().StatusText().find(StrFormat("range %.3f m", point.range)), std::string::npos);

    // One click: both marks, measured through the document, recorded as dense.
    CMeasurementDock& dock = *frame->MeasurementDock();
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::ShiftModifier, screen);
    ASSERT_EQ(Controller().Document().Session().Measurements().size(), 1u)
        << (ui.messages.empty() ? "" : ui.messages.back());
    const MeasurementRecord& row = Controller().Document().Session().Measurements().front();
    EXPECT_EQ(row.leftPixel, point.left);
    EXPECT_NEAR(row.rightPixel.x, point.right.x, 1e-9);
    EXPECT_NEAR(row.rightPixel.y, point.right.y, 1e-9);
    EXPECT_EQ(row.leftSource, PixelSource::Dense);
    EXPECT_EQ(row.rightSource, PixelSource::Dense);
    EXPECT_NEAR(row.pixelSigmas.rightPx, Tool().Map()->DisparitySigmaPx() / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(row.rangeM, point.range, 1e-3);
    ASSERT_TRUE(row.uncertainty);
    EXPECT_NEAR(row.uncertainty->rangeSigmaM, point.rangeSigma, 0.3 * point.rangeSigma);
    ASSERT_EQ(dock.Table()->model()->rowCount(), 1);
    EXPECT_EQ(dock.Table()
                  ->model()
                  ->data(dock.Table()->model()->index(0, CMeasurementTableModel::kLeftSet))
                  .toString(),
              "dense");
    dock.UndoStack()->undo();
    EXPECT_TRUE(Controller().Document().Session().Measurements().empty());
    EXPECT_EQ(dock.Table()->model()->rowCount(), 0);
    EXPECT_TRUE(Controller().Document().Session().Marks(Eye::Left).empty());
    dock.UndoStack()->redo();
    EXPECT_EQ(Controller().Document().Session().Measurements().size(), 1u);

    // A pixel without a range measures nothing and says so.
    const std::size_t rows = Controller().Document().Session().Measurements().size();
    const SideLayout layout = View().ComputeLayout(View().ClientRect(), ViewSide::Left);
    const QPoint sky(layout.image.left + 3, layout.image.top + 3);
    if (!Tool().Map()->At({3, 3})) {
        QTest::mouseClick(&View(), Qt::LeftButton, Qt::ShiftModifier, sky);
        EXPECT_EQ(Controller().Document().Session().Measurements().size(), rows);
        EXPECT_NE(View().StatusText().find("no point"), std::string::npos);
    }

    // Another pair (here: the same one again) drops the map and computes none.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard); // the table's unsaved row
    Controller().OpenPairFiles(kLeft, kRight);
    EXPECT_EQ(Tool().Map(), nullptr);
    EXPECT_FALSE(Tool().Busy());
    EXPECT_FALSE(Tool().OverlayShown());
}

TEST_F(StereoTools, TheWorkerIsCancelledRedoneForOtherCamerasAndDroppedForAnotherPair) {
    frame->Action(ID_RANGE_MAP)->trigger();
    ASSERT_TRUE(Tool().Busy());
    QTest::mouseClick(Pane().CancelButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Tool().Busy(), 20000);
    EXPECT_EQ(Tool().Map(), nullptr);
    EXPECT_EQ(View().StatusText(), "Range map cancelled");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(Pane().isVisible());
    // The next request computes it; the earlier Cancel does not stop it.
    frame->Action(ID_RANGE_MAP)->trigger();
    EXPECT_TRUE(Pane().CancelButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!Tool().Busy(), 20000);
    ASSERT_NE(Tool().Map(), nullptr);
    // Other cameras (an azimuth correction) make another map; the same
    // options again change nothing.
    const DenseRangeMap* before = Tool().Map();
    CalcOptions options = Controller().Document().Setup().options;
    Controller().Document().SetOptions(options);
    QApplication::processEvents();
    EXPECT_EQ(Tool().Map(), before);
    EXPECT_FALSE(Tool().Busy());
    options.dAzCorrLeft += 0.5;
    Controller().Document().SetOptions(options);
    EXPECT_EQ(Tool().Map(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(Tool().Busy(), 5000);
    Tool().WaitForMap();
    ASSERT_NE(Tool().Map(), nullptr);
    EXPECT_TRUE(Tool().OverlayShown());

    // A pair opened while the map is computed drops the computation: its
    // result never shows over the new pair.
    frame->Action(ID_RANGE_MAP)->trigger(); // hide
    options.dAzCorrLeft = 0.0;
    Controller().Document().SetOptions(options);
    EXPECT_EQ(Tool().Map(), nullptr);
    frame->Action(ID_RANGE_MAP)->trigger();
    ASSERT_TRUE(Tool().Busy());
    Controller().OpenPairFiles(kLeft, kRight);
    EXPECT_FALSE(Tool().Busy());
    QTest::qWait(1500);
    EXPECT_EQ(Tool().Map(), nullptr);
    EXPECT_FALSE(Tool().OverlayShown());
}

TEST_F(StereoTools, TheWindowTakesInputWhileTheMapIsComputedAndEscStopsIt) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->Action(ID_RANGE_MAP)->trigger();
    ASSERT_TRUE(Tool().Busy());
    EXPECT_TRUE(ui.progressTitles.empty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A zoom key and a click on the left image are handled at once.
    const double zoom = View().Zoom();
    QTest::keyClick(&View(), Qt::Key_PageUp);
    EXPECT_GT(View().Zoom(), zoom);
    View().OnReset();
    const SideLayout layout = View().ComputeLayout(View().ClientRect(), ViewSide::Left);
    const ImageToScreenResult s = View().ImageToScreen({300, 300}, ViewSide::Left, layout);
    ASSERT_TRUE(s.visible);
    QTest::mouseClick(&View(), Qt::LeftButton, {}, QPoint(int(s.x), int(s.y)));
    const std::optional<ImagePoint> mark = Controller().Document().Session().Mark(Eye::Left);
    ASSERT_TRUE(mark);
    EXPECT_NEAR(mark->x, 300, 1.0);
    EXPECT_NEAR(mark->y, 300, 1.0);
    ASSERT_TRUE(Tool().Busy()) << "the map came before the test could cancel it";
    // Esc presses Cancel wherever the focus is in the window.
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!Tool().Busy(), 20000);
    EXPECT_EQ(Tool().Map(), nullptr);
    EXPECT_EQ(View().StatusText(), "Range map cancelled");
    EXPECT_FALSE(Pane().isVisible());
    EXPECT_TRUE(Controller().Document().Session().Mark(Eye::Left)) << "the mark stays";

    // View > Range Map again (it shows checked meanwhile) stops it too.
    frame->Action(ID_RANGE_MAP)->trigger();
    ASSERT_TRUE(Tool().Busy());
    EXPECT_TRUE(frame->Action(ID_RANGE_MAP)->isChecked());
    frame->Action(ID_RANGE_MAP)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!Tool().Busy(), 20000);
    EXPECT_EQ(Tool().Map(), nullptr);
    frame->UpdateCommandUI(); // as the menu opens
    EXPECT_FALSE(frame->Action(ID_RANGE_MAP)->isChecked());

    // Closing the window while the map is computed waits for the worker.
    frame->Action(ID_RANGE_MAP)->trigger();
    ASSERT_TRUE(Tool().Busy());
    frame.reset();
}

TEST_F(StereoTools, TheStereoWindowShowsARedCyanAnaglyphAndExportsWhatItShows) {
    frame->Action(ID_VIEW_STEREO)->trigger();
    CStereoWindow* window = View().StereoWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->HasColour()) << "a grey pair";
    EXPECT_EQ(window->Mode(), StereoPictureMode::GreyAnaglyph);
    QApplication::processEvents();
    const QImage grab = window->Canvas().grab().toImage();
    int red = 0, cyan = 0;
    for (int y = 0; y < grab.height(); ++y) {
        for (int x = 0; x < grab.width(); ++x) {
            const QRgb c = grab.pixel(x, y);
            red += qRed(c) > qGreen(c) + 60 && qGreen(c) == qBlue(c) ? 1 : 0;
            cyan += qGreen(c) > qRed(c) + 60 && std::abs(qGreen(c) - qBlue(c)) <= 1 ? 1 : 0;
        }
    }
    EXPECT_GT(red, 200) << "red fringes: the left image alone";
    EXPECT_GT(cyan, 200) << "cyan fringes: the right image alone";

    const int w = window->Shown().width;
    window->SetMode(StereoPictureMode::Parallel);
    EXPECT_EQ(window->Shown().width, 2 * w + 16);
    // Zoom keeps the picture point at the middle in place.
    window->Canvas().ActualSize();
    EXPECT_DOUBLE_EQ(window->Canvas().Zoom(), 1.0);
    window->Canvas().ZoomBySteps(-5);
    EXPECT_NEAR(window->Canvas().Zoom(), std::exp(0.5), 1e-12);

    QTemporaryDir dir;
    const std::string out = dir.path().toStdString() + "/pair.png";
    ui.AnswerSave(out);
    EXPECT_TRUE(window->ExportPicture());
    EXPECT_EQ(ui.saveRequests.back().title, CStereoWindow::kExportTitle);
    const QImage written(QString::fromStdString(out));
    EXPECT_EQ(written.width(), window->Shown().width);
    EXPECT_EQ(written.height(), window->Shown().height);
    // A file that cannot be written is a message, not a silent failure.
    ui.AnswerSave(dir.path().toStdString() + "/no/such/folder/pair.png");
    EXPECT_FALSE(window->ExportPicture());
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.back().find("Unable to write"), std::string::npos);
}
