// The whole measurement loop through the stereo view and the real Analyse
// dialog: open a pair, click, press Space, save, and compare the files with
// what ranvista-cli writes for the same marks. Also the dialog's close path
// and the database commands as the view runs them.
#include "app/AppCommands.h"
#include "app/CalcDlg.h"
#include "app/PairController.h"
#include "base/Format.h"
#include "imagedb/ImageDatabase.h"
#include "tests/support/CliRunner.h"
#include "tests/support/FakeUi.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestFiles.h"
#include "ui/UiMessageSink.h"
#include "viewer/ChildView.h"
#include "viewer/CommandIds.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

const char* kLeftTitle = "1N128287142EFF0300P1800L0M1";
const char* kRightTitle = "1N128287142EFF0300P1800R0M1";

// A 1024 x 1024 Navcam-sized picture with some texture.
QImage NavcamImage(int shift) {
    QImage img(1024, 1024, QImage::Format_Grayscale8);
    for (int y = 0; y < img.height(); ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < img.width(); ++x) {
            row[x] = static_cast<uchar>(((x + shift) / 16 + y / 16) % 2 ? 90 : 160);
        }
    }
    return img;
}

class ViewLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetStorePath(dir / "ImgBinDat");
        controller = std::make_unique<CPairController>(ui, db);
        view = std::make_unique<CChildView>(ui, controller->Document());
        controller->SetView(*view);
        controller->SetCalcDialogFactory([this](ICalcHost& host) {
            auto dlg = std::make_unique<CCalcDlg>(&host, ui);
            calcDlg = dlg.get();
            return dlg;
        });
        UseCommands({});
        view->resize(1000, 520);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        leftPath = dir / (std::string(kLeftTitle) + ".png");
        rightPath = dir / (std::string(kRightTitle) + ".png");
        ASSERT_TRUE(NavcamImage(0).save(QString::fromStdString(leftPath)));
        ASSERT_TRUE(NavcamImage(32).save(QString::fromStdString(rightPath)));
    }
    void TearDown() override {
        commands.reset();
        view.reset();
        controller.reset();
    }
    void UseCommands(const AppCommandOptions& options) {
        commands = std::make_unique<CAppCommands>(*view, *controller, db, ui, options);
    }

    void OpenPair() {
        ui.AnswerOpen({rightPath, leftPath}); // the first chosen file is the right image
        controller->OnOpenStereoPair();
        ASSERT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
        ASSERT_NE(controller->CalcDialog(), nullptr);
        view->SetZoomStep(8); // the whole 1024-pixel image inside its panel
    }
    // Clicks the screen point nearest to an image pixel of one side.
    void ClickImage(ViewSide side, double x, double y) {
        const SideLayout layout = view->ComputeLayout(view->ClientRect(), side);
        const ImageToScreenResult s = view->ImageToScreen({x, y}, side, layout);
        ASSERT_TRUE(s.visible);
        const IntPoint p = RoundHalfAway(s.x, s.y);
        QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(p.x, p.y));
    }
    void Measure(double xl, double yl, double xr, double yr) {
        ClickImage(ViewSide::Left, xl, yl);
        ClickImage(ViewSide::Right, xr, yr);
        QTest::keyClick(view.get(), Qt::Key_Space);
    }
    void UseUpdateUrl(const std::string& url) {
        updateUrl = url;
        UseCommands({url});
    }
    QString Field(int id) const { return qobject_cast<QLineEdit*>(calcDlg->Control(id))->text(); }

    TempDir dir;
    FakeUi ui;
    ImageDatabase db;
    std::unique_ptr<CAppCommands> commands;
    ScopedUiMessages messages{ui};
    std::unique_ptr<CChildView> view;
    std::unique_ptr<CPairController> controller;
    CCalcDlg* calcDlg = nullptr;
    std::string leftPath;
    std::string rightPath;
    std::string updateUrl;
};

} // namespace

TEST_F(ViewLoopTest, MeasureSaveAndMatchTheCommandLine) {
    ImageRecord rec;
    rec.m_sProductId = MakeProductKey(kLeftTitle);
    rec.m_dAzimuth = 12.5;
    rec.m_dElevation = -20;
    db.InsertRecord(rec);
    ASSERT_TRUE(db.SaveStore());

    OpenPair();
    EXPECT_EQ(qobject_cast<QComboBox*>(calcDlg->Control(IDC_CAM_LEFT))->currentText(), "OppyNavL");
    EXPECT_EQ(qobject_cast<QComboBox*>(calcDlg->Control(IDC_CAM_RIGHT))->currentText(), "OppyNavR");
    EXPECT_EQ(Field(IDC_SOL_LEFT), "Sol 1 16:15:24");
    EXPECT_EQ(Field(IDC_SOL_RIGHT), "Sol 1 16:15:24");
    EXPECT_TRUE(qobject_cast<QCheckBox*>(calcDlg->Control(IDC_REC_LEFT))->isChecked());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(calcDlg->Control(IDC_REC_RIGHT))->isChecked());

    ClickImage(ViewSide::Left, 512, 512);
    EXPECT_TRUE(view->Session().Mark(Eye::Left).has_value());
    EXPECT_NEAR(Field(IDC_LEFT_COL).toDouble(), 512, 2.0);
    EXPECT_FALSE(Field(IDC_AZ_LEFT).isEmpty());
    ClickImage(ViewSide::Right, 480, 512);
    QTest::keyClick(view.get(), Qt::Key_Space);
    ASSERT_EQ(view->Session().Vertices().size(), 1u) << (ui.messages.empty() ? "" : ui.messages[0]);
    EXPECT_NE(Field(IDC_RANGE), "Error");
    EXPECT_EQ(Field(IDC_DIST_TO_LAST), Field(IDC_RANGE)); // first point: from the origin
    EXPECT_FALSE(
        qobject_cast<QTextEdit*>(calcDlg->Control(IDC_ERROR_SUMMARY))->toPlainText().isEmpty());
    EXPECT_FALSE(view->Session().Mark(Eye::Left).has_value() ||
                 view->Session().Mark(Eye::Right).has_value());
    EXPECT_EQ(view->Session().Marks(Eye::Left).size(), 1u);
    EXPECT_EQ(view->Session().Marks(Eye::Right).size(), 1u);
    EXPECT_EQ(view->Session().ResultsLog().rfind(
                  std::string("\nImage Pair ") + kLeftTitle + " " + kRightTitle +
                      "\nRange=" + Field(IDC_RANGE).toStdString() + "\n",
                  0),
              0u);

    Measure(400, 600, 372, 600);
    ASSERT_EQ(view->Session().Vertices().size(), 2u);
    EXPECT_TRUE(ui.messages.empty());

    const std::string log = dir / "results.txt";
    const std::string vertices = dir / "vertices.txt";
    ui.AnswerSave(log);
    commands->SaveCalculationResults();
    ui.AnswerSave(vertices);
    commands->SaveVertexResults();
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Done", "Done"}));

    // The same marks, as the view recorded them, through the command line.
    std::string batch;
    for (size_t i = 0; i < view->Session().Marks(Eye::Left).size(); ++i) {
        const ImagePoint& l = view->Session().Marks(Eye::Left)[i];
        const ImagePoint& r = view->Session().Marks(Eye::Right)[i];
        batch += StrFormat("%s,%s,%.17g,%.17g,%.17g,%.17g\n", leftPath.c_str(), rightPath.c_str(),
                           l.x, l.y, r.x, r.y);
    }
    WriteBytes(dir / "batch.txt", batch);
    const CliResult cli = RunCli(
        "measure --batch '" + (dir / "batch.txt") + "' --log '" + (dir / "cli-results.txt") +
        "' --vertices '" + (dir / "cli-vertices.txt") + "' --db '" + (dir / "ImgBinDat") + "'");
    ASSERT_EQ(cli.status, 0) << cli.out;
    EXPECT_EQ(ReadBytes(log), ReadBytes(dir / "cli-results.txt"));
    EXPECT_EQ(ReadBytes(vertices), ReadBytes(dir / "cli-vertices.txt"));
    EXPECT_EQ(ReadBytes(vertices).size() > 0, true);
}

TEST_F(ViewLoopTest, CloseBoxRemovesTheDialogAndItsCheckMark) {
    OpenPair();
    EXPECT_TRUE(controller->IsCalcDialogOpen());
    QPointer<CCalcDlg> dlg(calcDlg);
    ASSERT_TRUE(dlg->isVisible());
    dlg->close(); // the close box
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(dlg.isNull());
    EXPECT_FALSE(controller->IsCalcDialogOpen());
    EXPECT_EQ(controller->CalcDialog(), nullptr);

    // Space with both marks set now does nothing.
    ClickImage(ViewSide::Left, 512, 512);
    ClickImage(ViewSide::Right, 480, 512);
    QTest::keyClick(view.get(), Qt::Key_Space);
    EXPECT_TRUE(view->Session().Vertices().empty());
    EXPECT_TRUE(ui.messages.empty());

    // Show Calc Control brings a fresh dialog back; toggling again removes it.
    controller->OnShowCalcControl();
    ASSERT_NE(controller->CalcDialog(), nullptr);
    EXPECT_TRUE(calcDlg->isVisible());
    EXPECT_EQ(calcDlg->m_ptLastPos, CPoint3D(0, 0, 0));
    dlg = calcDlg;
    QTest::keyClick(calcDlg, Qt::Key_Escape);
    controller->OnShowCalcControl(); // turned off before the notice arrives
    EXPECT_TRUE(dlg.isNull());
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_FALSE(controller->IsCalcDialogOpen());
}

TEST_F(ViewLoopTest, ImportRefreshesTheOpenDialogAndUnsavedResultsAreOfferedOnClose) {
    OpenPair();
    auto* recRight = qobject_cast<QCheckBox*>(calcDlg->Control(IDC_REC_RIGHT));
    EXPECT_FALSE(recRight->isChecked());
    WriteBytes(dir / "q.txt", std::string(kRightTitle) + "::10::5::::::::::::::1::0::0::0\n");
    ui.AnswerOpen({dir / "q.txt"});
    commands->ImportImageDatabase();
    EXPECT_TRUE(recRight->isChecked());
    EXPECT_EQ(ui.messages.back(), "Done");

    // Nothing measured: closing asks nothing.
    EXPECT_TRUE(commands->CanClose());
    EXPECT_TRUE(ui.questions.empty());
    Measure(512, 512, 480, 512);
    ASSERT_EQ(view->Session().Vertices().size(), 1u);
    ui.saveChoices = {IUiServices::SaveChoice::Cancel, IUiServices::SaveChoice::Save};
    EXPECT_FALSE(commands->CanClose());
    ui.AnswerSave(dir / "kept.txt");
    EXPECT_TRUE(commands->CanClose());
    EXPECT_EQ(ReadBytes(dir / "kept.txt").substr(0, 13), "\r\nImage Pair ");
    EXPECT_TRUE(commands->CanClose()); // saved: no further question
    EXPECT_EQ(ui.questions.size(), 2u);
}

TEST_F(ViewLoopTest, WebUpdateSuccessNotFoundRefusedAndCancel) {
    LocalHttpServer server;
    const std::string update =
        store::Count(1) + store::Record(MakeRecord("new", 1, 2)) + store::Tag(0);
    server.Route("/ImageDatabasePostBuild.bin",
                 LocalHttpServer::Answer(200, "OK", QByteArray::fromStdString(update)));
    UseUpdateUrl(server.Url("/ImageDatabasePostBuild.bin"));
    commands->UpdateImageDatabase();
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Web Update Complete"});
    EXPECT_EQ(ui.beeps.size(), 2u);
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_NE(db.FindRecord("new"), nullptr);
    EXPECT_TRUE(fs::exists(dir / "ImgBinDat"));
    commands->ShowImageDatabaseInfo();
    EXPECT_EQ(ui.messages.back(), "Image Database Size= 1 Entries");

    ui.messages.clear();
    UseUpdateUrl(server.Url("/missing.bin"));
    commands->UpdateImageDatabase();
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Unable to open " + updateUrl});

    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
        UseUpdateUrl("http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/x.bin");
    }
    ui.messages.clear();
    commands->UpdateImageDatabase();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Unable to open " + updateUrl, 0), 0u);

    // A server that never answers: Cancel in the progress dialog stops the
    // download and changes nothing.
    LocalHttpServer::Response silent;
    silent.silent = true;
    server.Route("/slow.bin", silent);
    UseUpdateUrl(server.Url("/slow.bin"));
    ui.messages.clear();
    bool pressed = false;
    QTimer::singleShot(100, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* progress = qobject_cast<QProgressDialog*>(w); progress && w->isVisible()) {
                EXPECT_EQ(progress->windowTitle(), "Update Image Database");
                auto* cancel = progress->findChild<QPushButton*>();
                ASSERT_NE(cancel, nullptr);
                EXPECT_EQ(cancel->text(), "Cancel");
                QTest::mouseClick(cancel, Qt::LeftButton);
                pressed = true;
            }
        }
    });
    commands->UpdateImageDatabase();
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
    EXPECT_EQ(db.Count(), 1u);
    EXPECT_EQ(ui.waitDepth, 0);
}
