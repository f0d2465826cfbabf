// The whole application with its dialogs: the commands reach the real
// dialogs, closing with unsaved results asks first, and a picture of the
// main window with the Analyse dialog showing a result.
#include "app/CalcDlg.h"
#include "app/MyAboutDlg.h"
#include "app/RanvistaApp.h"
#include "app/RegisterDlg.h"
#include "app/TransformDlg.h"
#include "imagedb/ImageDatabase.h"
#include "tests/support/FakeUi.h"
#include "viewer/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class AppDialogs : public ::testing::Test {
protected:
    void SetUp() override { QSettings("Ranvista", "Ranvista").clear(); }
    void TearDown() override {
        if (app) {
            app->ExitInstance(0);
        }
    }
    void Start(StartupOptions options = {}) {
        options.sStorePath = (dir.path() + "/ImgBinDat").toStdString();
        app = std::make_unique<CRanvistaApp>(&ui);
        ASSERT_TRUE(app->InitInstance(options));
        frame = app->MainFrame();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    }
    // Runs a command that opens a modal dialog and reports which one opened.
    template <class Dialog> bool OpensModal(int id) {
        bool seen = false;
        QTimer::singleShot(0, [&seen] {
            QWidget* modal = QApplication::activeModalWidget();
            seen = qobject_cast<Dialog*>(modal) != nullptr;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            }
        });
        frame->Action(id)->trigger();
        return seen;
    }
    CCalcDlg* CalcDlg() const { return frame->findChild<CCalcDlg*>(); }

    QTemporaryDir dir;
    FakeUi ui;
    std::unique_ptr<CRanvistaApp> app;
    CMainFrame* frame = nullptr;
};

} // namespace

TEST_F(AppDialogs, CommandsOpenTheirDialogs) {
    Start();
    EXPECT_TRUE(OpensModal<CMyAboutDlg>(ID_APP_ABOUT));
    EXPECT_TRUE(OpensModal<CTransformDlg>(ID_TRANSFORM_VERTEX_FILES));
    EXPECT_TRUE(frame->Action(ID_AUTO_REGISTER_VERTICES)->isEnabled());
    EXPECT_TRUE(OpensModal<CRegisterDlg>(ID_AUTO_REGISTER_VERTICES));
    frame->Action(ID_SHOW_CALC_CONTROL)->trigger();
    ASSERT_NE(CalcDlg(), nullptr);
    EXPECT_TRUE(CalcDlg()->isVisible());
    EXPECT_EQ(CalcDlg()->windowTitle().toStdString(), kCalcDlgCaption);
    frame->Action(ID_IMAGE_DATABASE_INFO)->trigger();
    EXPECT_EQ(ui.messages.back(), "Image Database Size= 0 Entries");
}

TEST_F(AppDialogs, ClosingWithUnsavedResultsAsksFirst) {
    Start();
    EXPECT_TRUE(frame->close()); // nothing measured: no question
    EXPECT_TRUE(ui.questions.empty());
    frame->show();
    frame->Controller().AppendMeasurement({1, 2}, {3, 4}, {}, "\nImage Pair a b\n");
    ui.saveChoices = {IUiServices::SaveChoice::Cancel, IUiServices::SaveChoice::Discard};
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(ui.questions.size(), 2u);
}

// The Opportunity Navcam sample pair, when the samples are in the tree.
TEST_F(AppDialogs, ScreenshotOfTheAnalyseDialogWithAResult) {
    const QString samples = QStringLiteral(RANVISTA_SOURCE_DIR "/samples");
    const QString left = samples + "/oppy-navcam/1N137057367EFF4000P1916L0M1.png";
    const QString right = samples + "/oppy-navcam/1N137057367EFF4000P1916R0M1.png";
    if (!QFile::exists(left) || !QFile::exists(right)) {
        GTEST_SKIP() << "no sample pair in " << samples.toStdString();
    }
    QFile::copy(samples + "/ImgBinDat", dir.path() + "/ImgBinDat");
    StartupOptions options;
    options.sLeftFile = left.toStdString();
    options.sRightFile = right.toStdString();
    Start(options);
    frame->showNormal();
    frame->resize(1200, 940);
    QApplication::processEvents();
    CChildView& view = frame->View();
    ASSERT_TRUE(view.Image(ViewSide::Left) && view.Image(ViewSide::Right));
    // Opened fitted: both images whole in their panels.
    ASSERT_EQ(view.Fit(), CChildView::FitMode::ShrinkLarge);

    // A rock corner seen by both cameras, then Space.
    const auto click = [&view](ViewSide side, double x, double y) {
        const SideLayout layout = view.ComputeLayout(view.ClientRect(), side);
        const ImageToScreenResult s = view.ImageToScreen({x, y}, side, layout);
        ASSERT_TRUE(s.visible);
        const IntPoint p = RoundHalfAway(s.x, s.y);
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(p.x, p.y));
    };
    click(ViewSide::Left, 386.3, 760.5);
    click(ViewSide::Right, 289.0, 757.6);
    QTest::keyClick(&view, Qt::Key_Space);
    click(ViewSide::Left, 726.7, 697.1);
    click(ViewSide::Right, 633.6, 694.5);
    QTest::keyClick(&view, Qt::Key_Space);
    ASSERT_EQ(view.Session().Vertices().size(), 2u);
    CCalcDlg* dlg = CalcDlg();
    ASSERT_NE(dlg, nullptr);
    EXPECT_NE(qobject_cast<QLineEdit*>(dlg->Control(IDC_RANGE))->text(), "Error");

    // No window manager draws here: lay the dialog over the frame where it
    // stands on the screen.
    QImage shot = frame->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint place((shot.width() - dlg->width()) / 2, shot.height() - dlg->height() - 30);
    {
        QPainter p(&shot);
        p.drawPixmap(place, dlg->grab());
        p.setPen(QColor(90, 90, 90));
        p.drawRect(QRect(place, dlg->size()).adjusted(-1, -1, 0, 0));
    }
    const QString artifacts = QStringLiteral(RANVISTA_BINARY_DIR "/test-artifacts");
    QDir().mkpath(artifacts);
    EXPECT_TRUE(shot.save(artifacts + "/screenshot-analyse.png"));
}

TEST_F(AppDialogs, AMissingDefaultDatabaseIsAStatusNoteAndAMissingNamedOneIsSaid) {
    // No store in the start-up folder and none named: products need none,
    // so the start says so quietly.
    app = std::make_unique<CRanvistaApp>(&ui);
    app->SetStartupDir(dir.path().toStdString());
    ASSERT_TRUE(app->InitInstance({}));
    frame = app->MainFrame();
    EXPECT_EQ(ui.messages, std::vector<std::string>{});
    const std::string status = frame->statusBar()->currentMessage().toStdString();
    EXPECT_NE(status.find("No image database at " + dir.path().toStdString() + "/ImgBinDat"),
              std::string::npos)
        << status;
    app->ExitInstance(0);

    // A store named with --db that is not there is still a message.
    StartupOptions named;
    named.sStorePath = (dir.path() + "/elsewhere/ImgBinDat").toStdString();
    app = std::make_unique<CRanvistaApp>(&ui);
    ASSERT_TRUE(app->InitInstance(named));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Unable to open " + named.sStorePath);
}
