#include "AppFixture.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QTimer>
#include <QToolTip>

namespace {
struct Item {
    QString text; // empty: separator
    int id;
    QString prompt;
};

std::vector<Item> Items(QMenu* menu) {
    std::vector<Item> out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out.push_back({{}, 0, {}});
        } else if (a->menu() != nullptr) {
            out.push_back({a->text(), -1, {}});
        } else {
            out.push_back({a->text(), a->data().toInt(), a->statusTip()});
        }
    }
    return out;
}

void ExpectItems(QMenu* menu, const std::vector<Item>& want) {
    const std::vector<Item> got = Items(menu);
    ASSERT_EQ(got.size(), want.size()) << menu->title().toStdString();
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].text, want[i].text) << i;
        EXPECT_EQ(got[i].id, want[i].id) << want[i].text.toStdString();
        EXPECT_EQ(got[i].prompt, want[i].prompt) << want[i].text.toStdString();
    }
}

QMenu* SubMenu(QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions()) {
        if (a->menu() != nullptr && a->text() == title) {
            return a->menu();
        }
    }
    return nullptr;
}
} // namespace

using Frame = AppFixture;

TEST_F(Frame, MenusWithTheirTextsIdsAndPrompts) {
    Start();
    const QList<QAction*> bar = frame->menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0]->text(), "&File");
    EXPECT_EQ(bar[1]->text(), "&View");
    EXPECT_EQ(bar[2]->text(), "&Help");
    QMenu* file = bar[0]->menu();
    ExpectItems(
        file,
        {{"Open Stereo Pair", ID_OPEN_STEREO_PAIR, "Open Stereo Pair"},
         {"Open Image", ID_OPEN_IMAGE, "Open one image alone: a click measures on the ground"},
         {"Recent Pairs", -1, {}},
         {"Measurements", -1, {}},
         {{}, 0, {}},
         {"Save Calculation Results", ID_SAVE_CALCULATION_RESULTS, "Saves all calculation results"},
         {"Save Vertex Results", ID_SAVE_VERTEX_RESULTS, {}},
         {"Transform vertex files", ID_TRANSFORM_VERTEX_FILES,
          "Transform vertex file to reference vertex file's frame"},
         {{}, 0, {}},
         {"Database", -1, {}},
         {{}, 0, {}},
         {"Auto-Detect Vertex Pairs", ID_AUTO_DETECT_VERTEX_PAIRS,
          "Finds corners in the visible part of the left image, matches each in the right image "
          "and measures them"},
         {{}, 0, {}},
         {"E&xit", ID_APP_EXIT, "Quit the application; prompts to save documents"}});
    ExpectItems(SubMenu(file, "Database"),
                {{"Update Image Database (web update)", ID_UPDATE_IMAGE_DATABASE,
                  "Requires an open web connection.  Imports latest database from RVS homepage."},
                 {{}, 0, {}},
                 {"Import Image Database File", ID_IMPORT_IMAGE_DATABASE,
                  "If successful, will apply database transformations to calculation results"},
                 {"Initialize Image Database File", ID_INITIALIZE_IMAGE_DATABASE,
                  "Use only if database is corrupt; replaces existing data with data from "
                  "file(s)"}});
    ExpectItems(
        bar[1]->menu(),
        {{"Reset", ID_VIEW_RESET, {}},
         {"Fit to Window", ID_VIEW_FIT_TO_WINDOW, "Shows both images whole, each in its panel"},
         {"Actual Size", ID_VIEW_ACTUAL_SIZE, "Shows one screen pixel for each image pixel"},
         {"Zoom In", ID_VIEW_ZOOM_IN, "Enlarges both images"},
         {"Zoom Out", ID_VIEW_ZOOM_OUT, "Shrinks both images"},
         {"Show Calc Control", ID_SHOW_CALC_CONTROL, {}},
         {"Swap Left/Right Images", ID_SWAP_IMAGES, "Swap Left-Right"},
         {"Vertex Indices", ID_VERTEX_INDICES, {}},
         {"Epipolar Curve", ID_EPIPOLAR_CURVE,
          "Shows where in the other image the partner of a mark can lie"},
         {"Auto-Match", ID_AUTO_MATCH, "A click finds its partner in the other image"},
         {"Error Ellipses", ID_ERROR_ELLIPSES,
          "Draws each measurement's 1-sigma error ellipse around its marks"},
         {{}, 0, {}},
         {"Stereo...", ID_VIEW_STEREO,
          "Shows the pair for the eyes: red/cyan anaglyph, cross-eyed or parallel"},
         {"Range Map", ID_RANGE_MAP,
          "Ranges every pixel of the left image and shows the ranges over it; Shift+click "
          "measures from the map"},
         {"Range Map Opacity", -1, {}},
         {{}, 0, {}},
         {"Disable Beep Notifications", ID_DISABLE_BEEPS, "Check to disable beeps"},
         {"Image Database Information", ID_IMAGE_DATABASE_INFO, {}},
         {{}, 0, {}},
         {"&Toolbar", ID_VIEW_TOOLBAR, "Show or hide the toolbar"},
         {"&Status Bar", ID_VIEW_STATUS_BAR, "Show or hide the status bar"},
         {"Automatically Register Vertices", ID_AUTO_REGISTER_VERTICES,
          "Attempts to determine corresponding vertices in both images - slow and error "
          "prone, but maybe useful"},
         {{}, 0, {}},
         {"Measurement Table", 0, {}}});
    ExpectItems(SubMenu(bar[1]->menu(), "Range Map Opacity"),
                {{"25 %", ID_RANGE_OPACITY_25, {}},
                 {"50 %", ID_RANGE_OPACITY_50, {}},
                 {"75 %", ID_RANGE_OPACITY_75, {}},
                 {"100 %", ID_RANGE_OPACITY_100, {}}});
    ExpectItems(bar[2]->menu(), {{"Ranvista Help", 0, "Open the Ranvista guide in your browser"},
                                 {"About Ranvista", ID_APP_ABOUT, {}}});
}

TEST_F(Frame, CheckMarksFollowTheView) {
    Start();
    OpenMenus();
    EXPECT_FALSE(Action(ID_DISABLE_BEEPS)->isChecked()); // first run: beeps on
    EXPECT_TRUE(Action(ID_VIEW_TOOLBAR)->isChecked());
    Action(ID_VERTEX_INDICES)->trigger();
    Action(ID_SHOW_CALC_CONTROL)->trigger();
    Action(ID_DISABLE_BEEPS)->trigger();
    EXPECT_TRUE(View().VertexIndicesShown());
    EXPECT_TRUE(Controller().IsCalcDialogOpen());
    EXPECT_TRUE(View().BeepsDisabled());
    OpenMenus();
    EXPECT_TRUE(Action(ID_VERTEX_INDICES)->isChecked());
    EXPECT_TRUE(Action(ID_SHOW_CALC_CONTROL)->isChecked());
    EXPECT_TRUE(Action(ID_DISABLE_BEEPS)->isChecked());
    // The dialog closing itself takes the check mark with it.
    Controller().CalcDialogClosed();
    QCoreApplication::processEvents();
    OpenMenus();
    EXPECT_FALSE(Action(ID_SHOW_CALC_CONTROL)->isChecked());
    // Items that do nothing still appear enabled once their menu opens.
    EXPECT_TRUE(Action(ID_AUTO_DETECT_VERTEX_PAIRS)->isEnabled());
    Action(ID_AUTO_DETECT_VERTEX_PAIRS)->trigger();
    // Register Vertices opens its modal dialog: close it once it shows.
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
        }
    });
    Action(ID_AUTO_REGISTER_VERTICES)->trigger();
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(Frame, CommandsTheViewDoesNotHandleGoToTheFrame) {
    Start();
    Action(ID_VIEW_TOOLBAR)->trigger();
    EXPECT_TRUE(frame->ToolBar()->isHidden());
    EXPECT_FALSE(Action(ID_VIEW_TOOLBAR)->isChecked());
    Action(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_TRUE(frame->statusBar()->isHidden());
    Action(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_FALSE(frame->statusBar()->isHidden());
    Action(ID_APP_EXIT)->trigger();
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(Frame, ApplicationCommandsRunFromTheirMenuItems) {
    Start();
    // The result-file and database commands each ask the user first: a
    // chooser or a message (nothing is answered, so each stops there).
    for (int id : {ID_SAVE_CALCULATION_RESULTS, ID_SAVE_VERTEX_RESULTS, ID_IMPORT_IMAGE_DATABASE,
                   ID_INITIALIZE_IMAGE_DATABASE, ID_IMAGE_DATABASE_INFO}) {
        const std::size_t before = ui.events.size();
        Action(id)->trigger();
        EXPECT_GT(ui.events.size(), before) << id;
    }
    EXPECT_EQ(Action(ID_TRANSFORM_VERTEX_FILES)->text(), "Transform vertex files");
    // The dialogs open modal: each is closed once it shows.
    for (const auto& [id, dialogClass] : {std::pair{ID_TRANSFORM_VERTEX_FILES, "CTransformDlg"},
                                          std::pair{ID_AUTO_REGISTER_VERTICES, "CRegisterDlg"},
                                          std::pair{ID_APP_ABOUT, "CMyAboutDlg"}}) {
        std::string shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                shown = dialog->metaObject()->className();
                dialog->reject();
            }
        });
        Action(id)->trigger();
        EXPECT_EQ(shown, dialogClass) << id;
    }

    // Results never saved keep the window open until the user says otherwise.
    Controller().AppendMeasurement({1, 1}, {2, 2}, VertexRecord{}, "\nImage Pair a b\n");
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(ui.questions.size(), 1u);
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    EXPECT_TRUE(frame->close());
}

TEST_F(Frame, ToolBarButtonsReachTheView) {
    Start();
    const QList<QAction*> buttons = frame->ToolBar()->actions();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->data().toInt(), ID_OPEN_STEREO_PAIR);
    EXPECT_EQ(buttons[1]->data().toInt(), ID_SWAP_IMAGES);
    EXPECT_EQ(frame->ToolBar()->iconSize(), QSize(16, 15));
    for (QAction* b : buttons) {
        EXPECT_FALSE(b->icon().pixmap(16, 15).toImage().isNull());
    }
    QWidget* open = frame->ToolBar()->widgetForAction(buttons[0]);
    ASSERT_NE(open, nullptr);
    // Resting the pointer on a button shows no tool tip: the prompts hold none.
    for (QAction* b : buttons) {
        QWidget* button = frame->ToolBar()->widgetForAction(b);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(button, &help);
        EXPECT_FALSE(QToolTip::isVisible()) << QToolTip::text().toStdString();
    }
    QTest::mouseClick(open, Qt::LeftButton);
    ASSERT_EQ(ui.openRequests.size(), 1u);
    EXPECT_EQ(ui.openRequests[0].title, "Select stereo pair of images");
}

TEST_F(Frame, StatusBarShowsReadyOrThePrompt) {
    Start();
    QStatusBar* bar = frame->statusBar();
    auto* ready = bar->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(ready->text(), "Ready");
    for (const char* name : {"CAP", "NUM", "SCRL"}) {
        auto* pane = bar->findChild<QLabel*>(name);
        ASSERT_NE(pane, nullptr) << name;
        EXPECT_EQ(pane->text(), name);
    }
    // Highlighting an item of an open menu shows its prompt.
    QMenu* view = frame->menuBar()->actions()[1]->menu();
    view->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->setActiveAction(Action(ID_SWAP_IMAGES));
    EXPECT_EQ(bar->currentMessage(), "Swap Left-Right");
    EXPECT_TRUE(ready->isHidden());
    view->setActiveAction(Action(ID_VIEW_RESET)); // no prompt
    EXPECT_EQ(bar->currentMessage(), "");
    EXPECT_FALSE(ready->isHidden());
    view->hide();
}

TEST_F(Frame, StartsMaximisedAndLoadsTheStore) {
    Start();
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->windowTitle(), "Ranvista V5.0");
    EXPECT_EQ(frame->centralWidget(), &View());
    EXPECT_EQ(app->Database().StorePath(), StorePath());
    // No store yet: the user is told, once.
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Unable to open " + StorePath()}));
    EXPECT_EQ(app->StartupDir(), QDir::currentPath().toStdString());
    Stop();
    // Without --db the store lies in the start-up folder.
    ui.messages.clear();
    app = std::make_unique<CRanvistaApp>(&ui);
    app->InitInstance();
    EXPECT_EQ(app->Database().StorePath(), StorePathIn(app->StartupDir()));
}

TEST_F(Frame, KeysGivenToTheFrameReachTheView) {
    Start();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    EXPECT_EQ(QApplication::focusWidget(), &View());
    // Through the window, as the platform delivers keys. (This QTest passes its
    // delay argument on as the repeat count: 1.)
    QTest::keyClick(frame->windowHandle(), Qt::Key_PageUp, Qt::NoModifier, 1);
    EXPECT_EQ(View().ZoomStep(), -1);
    ui.messages.clear();
    QTest::keyClick(frame->windowHandle(), Qt::Key_Space, Qt::NoModifier, 1);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Need to select left and right pixels"}));
}

TEST_F(Frame, SettingsSurviveARestart) {
    Start();
    Action(ID_DISABLE_BEEPS)->trigger();
    View().SetFilePath(dir.path().toStdString() + "/");
    Stop();
    Start();
    OpenMenus();
    EXPECT_TRUE(Action(ID_DISABLE_BEEPS)->isChecked());
    EXPECT_EQ(View().FilePath(), dir.path().toStdString() + "/");
    ui.AnswerOpen({WriteImage(dir, "r.png", SolidImage(8, 8, Qt::blue)),
                   WriteImage(dir, "l.png", SolidImage(8, 8, Qt::red))});
    Action(ID_OPEN_STEREO_PAIR)->trigger();
    EXPECT_EQ(ui.openRequests.at(0).startFolder, dir.path().toStdString() + "/");
    EXPECT_TRUE(ui.beeps.empty());
}

TEST_F(Frame, PairGivenOnTheCommandLineOpensAtStart) {
    const std::string left =
        WriteImage(dir, "1N128287142EFF0300P1800L0M1.png", SolidImage(30, 30, Qt::red));
    const std::string right =
        WriteImage(dir, "1N128287142EFF0300P1800R0M1.png", SolidImage(30, 30, Qt::blue));
    const ParsedCommandLine cmd =
        ParseCommandLine({"ranvista", "--db", QString::fromStdString(StorePath()),
                          QString::fromStdString(left), QString::fromStdString(right)});
    ASSERT_TRUE(cmd.bRun) << cmd.sText;
    Start(cmd.options);
    EXPECT_EQ(Controller().Document().Session().LeftFile(), left);
    EXPECT_EQ(Controller().Document().Session().RightFile(), right);
    EXPECT_EQ(frame->windowTitle(), "Ranvista V5.0 -- LEFT(1N128287142EFF0300P1800L0M1)  "
                                    "RIGHT(1N128287142EFF0300P1800R0M1)");
    EXPECT_TRUE(ui.openRequests.empty());
}

TEST(CommandLine, OptionsAndMisuse) {
    ParsedCommandLine cmd = ParseCommandLine({"ranvista"});
    EXPECT_TRUE(cmd.bRun);
    EXPECT_EQ(cmd.options.sStorePath, "");
    EXPECT_EQ(cmd.options.sLeftFile, "");

    cmd = ParseCommandLine({"ranvista", "l.png", "r.png", "--db=samples/ImgBinDat"});
    ASSERT_TRUE(cmd.bRun);
    EXPECT_EQ(cmd.options.sStorePath, "samples/ImgBinDat");
    EXPECT_EQ(cmd.options.sLeftFile, QDir::current().absoluteFilePath("l.png").toStdString());
    EXPECT_EQ(cmd.options.sRightFile, QDir::current().absoluteFilePath("r.png").toStdString());

    // One image opens alone; three are refused.
    cmd = ParseCommandLine({"ranvista", "only-one.png"});
    EXPECT_TRUE(cmd.bRun);
    EXPECT_EQ(cmd.options.sRightFile, "");
    cmd = ParseCommandLine({"ranvista", "a.png", "b.png", "c.png"});
    EXPECT_FALSE(cmd.bRun);
    EXPECT_EQ(cmd.nExitCode, 2);
    cmd = ParseCommandLine({"ranvista", "--bogus"});
    EXPECT_FALSE(cmd.bRun);
    EXPECT_EQ(cmd.nExitCode, 2);
    cmd = ParseCommandLine({"ranvista", "--help"});
    EXPECT_FALSE(cmd.bRun);
    EXPECT_EQ(cmd.nExitCode, 0);
    EXPECT_NE(cmd.sText.find("--db"), std::string::npos);
}
