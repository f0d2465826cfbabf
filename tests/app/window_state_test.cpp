// The main window and the Analyse dialog come back where they were left;
// File > Recent Pairs; Help > Ranvista Help.
#include "AppFixture.h"

#include "app/HelpOpener.h"
#include "app/LastFolderUi.h"
#include "app/RecentPairs.h"
#include "app/WindowState.h"

#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

namespace {

QRect ScreenArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// A window that fits the screen, well inside it, and not the screen's size.
QRect SomeWindowRect() {
    const QRect area = ScreenArea();
    return {area.x() + 10, area.y() + 20, std::max(640, area.width() - 40),
            std::max(480, area.height() - 60)};
}

void SaveGeometrySetting(const QVariant& value) {
    QSettings s("Ranvista", "Ranvista");
    s.setValue("MainWindow/geometry", value);
    s.sync();
}

} // namespace

using WindowState = AppFixture;

TEST_F(WindowState, ASavedPlaceSizeMaximisedStateAndToolBarAreaComeBack) {
    Start();
    frame->showNormal();
    frame->setGeometry(SomeWindowRect());
    frame->addToolBar(Qt::LeftToolBarArea, frame->ToolBar());
    const QRect normal = frame->geometry();
    Stop();

    Start();
    EXPECT_FALSE(frame->isMaximized());
    EXPECT_EQ(frame->geometry(), normal);
    EXPECT_EQ(frame->toolBarArea(frame->ToolBar()), Qt::LeftToolBarArea);
    frame->showMaximized();
    Stop();

    // Maximised comes back maximised, keeping the old place to un-maximise to.
    Start();
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->normalGeometry(), normal);
}

TEST_F(WindowState, ACorruptTooSmallOrOffScreenSavedPlaceOpensAtTheScreenSizeMaximised) {
    const QRect area = ScreenArea();
    const std::vector<QVariant> bad = {
        QVariant(),                                         // first start
        QVariant(QString("@Rect(garbage")),                 // not a rectangle
        QVariant(QRect(0, 0, 200, 100)),                    // a toolkit's default
        QVariant(QRect(area.right() + 500, 0, 800, 600)),   // beyond the right edge
        QVariant(QRect(0, area.bottom() + 10, 1000, 1000)), // centre below the screen
        QVariant(QRect(10, 10, -700, -500)),                // not a valid rectangle
    };
    for (const QVariant& value : bad) {
        SCOPED_TRACE(value.toString().toStdString());
        SaveGeometrySetting(value);
        Start();
        EXPECT_TRUE(frame->isMaximized());
        // Even where nothing honours the maximise request, the window
        // already has the screen's size.
        EXPECT_GE(frame->normalGeometry().width(), area.width());
        EXPECT_GE(frame->normalGeometry().height(), area.height());
        Stop();
        QSettings("Ranvista", "Ranvista").clear();
    }
}

TEST(WindowRect, UsableOnlyWhenLargeEnoughAndCentredOnSomeScreen) {
    const std::vector<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    EXPECT_TRUE(IsUsableWindowRect(QRect(2000, 100, 800, 600), screens)); // second screen
    EXPECT_TRUE(IsUsableWindowRect(QRect(-300, 0, 1000, 700), screens));  // partly off
    EXPECT_FALSE(IsUsableWindowRect(QRect(100, 100, 639, 600), screens));
    EXPECT_FALSE(IsUsableWindowRect(QRect(100, 100, 800, 479), screens));
    EXPECT_FALSE(IsUsableWindowRect(QRect(2900, 900, 800, 600), screens)); // in the gap below
    EXPECT_FALSE(IsUsableWindowRect(QRect(100, 100, 800, 600), {}));
}

TEST_F(WindowState, TheAnalyseDialogPositionIsKeptAndAnOffScreenOneIgnored) {
    const QPoint wanted = ScreenArea().topLeft() + QPoint(37, 41);
    {
        QDialog dialog;
        KeepDialogPosition(dialog, "AnalyseDialog/pos");
        dialog.show();
        dialog.move(wanted);
        dialog.hide();
    }
    {
        QDialog dialog;
        KeepDialogPosition(dialog, "AnalyseDialog/pos");
        EXPECT_EQ(dialog.pos(), wanted);
    }
    QSettings("Ranvista", "Ranvista").setValue("AnalyseDialog/pos", QPoint(-5000, -5000));
    QDialog dialog;
    const QPoint before = dialog.pos();
    KeepDialogPosition(dialog, "AnalyseDialog/pos");
    EXPECT_EQ(dialog.pos(), before);
}

TEST(RecentPairList, NewestFirstWithoutDuplicatesAndAtMostEight) {
    RecentPairs list;
    for (int i = 0; i < 10; ++i) {
        list.Add({"/d/L" + std::to_string(i) + ".png", "/d/R" + std::to_string(i) + ".png"});
    }
    ASSERT_EQ(list.Pairs().size(), RecentPairs::kMaxPairs);
    EXPECT_EQ(list.Pairs().front().leftFile, "/d/L9.png");
    EXPECT_EQ(list.Pairs().back().leftFile, "/d/L2.png");
    // The same two files again, even swapped, move up instead of repeating.
    list.Add({"/d/R5.png", "/d/L5.png"});
    EXPECT_EQ(list.Pairs().size(), RecentPairs::kMaxPairs);
    EXPECT_EQ(list.Pairs().front(), (RecentPair{"/d/R5.png", "/d/L5.png"}));
    EXPECT_EQ(std::count_if(list.Pairs().begin(), list.Pairs().end(),
                            [](const RecentPair& p) { return p.rightFile == "/d/R5.png"; }),
              0);
    list.Add({"", "/d/R.png"});
    EXPECT_EQ(list.Pairs().front().leftFile, "/d/R5.png");

    QTemporaryDir dir;
    QSettings settings(dir.filePath("s.ini"), QSettings::IniFormat);
    list.Save(settings);
    EXPECT_EQ(RecentPairs::Load(settings).Pairs(), list.Pairs());
    // A list cut short (odd count) loses only the broken end.
    QStringList flat = settings.value("RecentPairs/pairs").toStringList();
    flat.removeLast();
    settings.setValue("RecentPairs/pairs", flat);
    EXPECT_EQ(RecentPairs::Load(settings).Pairs().size(), RecentPairs::kMaxPairs - 1);

    EXPECT_EQ(RecentPairs::MenuText(0, {"/x/A&B.IMG", "/y/1N2R.png"}), "&1 A&&B + 1N2R");
}

TEST_F(WindowState, AnOpenedPairIsOfferedUnderRecentPairsAfterARestartAndReopens) {
    const std::string left =
        WriteImage(dir, "1N128287142EFF0300P1800L0M1.png", SolidImage(64, 64, Qt::gray));
    const std::string right =
        WriteImage(dir, "1N128287142EFF0300P1800R0M1.png", SolidImage(64, 64, Qt::darkGray));
    Start();
    Controller().OpenPairFiles(left, right);
    ASSERT_FALSE(frame->Recent().Pairs().empty());
    EXPECT_EQ(frame->Recent().Pairs().front(), (RecentPair{left, right}));
    Stop();

    Start();
    QMenu* recent = frame->RecentPairsMenu();
    ASSERT_NE(recent, nullptr);
    emit recent->aboutToShow();
    ASSERT_EQ(recent->actions().size(), 1);
    EXPECT_EQ(recent->actions()[0]->text(),
              "&1 1N128287142EFF0300P1800L0M1 + 1N128287142EFF0300P1800R0M1");
    recent->actions()[0]->trigger();
    EXPECT_EQ(Controller().Document().Session().LeftFile(), left);
    EXPECT_EQ(Controller().Document().Session().RightFile(), right);
    ASSERT_NE(View().Image(ViewSide::Left), nullptr);
    EXPECT_TRUE(View().Image(ViewSide::Left)->IsValid());

    // A pair whose file is gone is dropped with a message, not opened.
    ui.messages.clear();
    QFile::remove(QString::fromStdString(right));
    frame->OpenRecentPair(0);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{right + " no longer exists"}));
    EXPECT_TRUE(frame->Recent().Pairs().empty());
}

TEST_F(WindowState, RanvistaHelpOpensTheInstalledReadmeOrSaysItIsMissing) {
    // An installed layout: <prefix>/bin and <prefix>/share/doc/ranvista.
    const QDir prefix(dir.path());
    prefix.mkpath("bin");
    prefix.mkpath("share/doc/ranvista");
    QFile readme(prefix.filePath("share/doc/ranvista/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::WriteOnly));
    readme.close();
    EXPECT_EQ(FindHelpFile(prefix.filePath("bin")), QFileInfo(readme).canonicalFilePath());
    prefix.mkpath("a/b/c");
    EXPECT_EQ(FindHelpFile(prefix.filePath("a/b/c")), "");

    Start();
    std::vector<QUrl> opened;
    frame->SetHelpOpener(std::make_unique<FakeHelpOpener>(opened));
    ui.messages.clear();
    ASSERT_NE(frame->HelpAction(), nullptr);
    frame->HelpAction()->trigger();
    // The test program lives in <build>/tests, where neither layout holds.
    const QString expected = FindHelpFile(QCoreApplication::applicationDirPath());
    if (expected.isEmpty()) {
        EXPECT_TRUE(opened.empty());
        EXPECT_EQ(ui.messages.size(), 1u);
    } else {
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0], QUrl::fromLocalFile(expected));
    }
}

TEST(LastFolderChoosers, AChooserWithoutAFolderStartsWhereTheLastChoiceWasMade) {
    FakeUi inner;
    CLastFolderUi ui(inner, "/seed/");
    FileChooserRequest plain;
    ui.ChooseSaveFile(plain); // cancelled: nothing learnt
    inner.AnswerOpen({"/data/sol1/L.png", "/data/sol1/R.png"});
    ui.ChooseOpenFiles(plain);
    inner.AnswerSave("/out/results.txt");
    ui.ChooseSaveFile(plain);
    FileChooserRequest named;
    named.startFolder = "/given/";
    ui.ChooseOpenFiles(named);
    inner.AnswerSave("bare.txt"); // no folder in it: the last one stays
    inner.AnswerSave("bare.txt");
    ui.ChooseSaveFile(plain);
    ui.ChooseSaveFile(plain);

    ASSERT_EQ(inner.saveRequests.size(), 4u);
    ASSERT_EQ(inner.openRequests.size(), 2u);
    EXPECT_EQ(inner.saveRequests[0].startFolder, "/seed/");
    EXPECT_EQ(inner.openRequests[0].startFolder, "/seed/");
    EXPECT_EQ(inner.saveRequests[1].startFolder, "/data/sol1/");
    EXPECT_EQ(inner.openRequests[1].startFolder, "/given/");
    EXPECT_EQ(inner.saveRequests[2].startFolder, "/out/");
    EXPECT_EQ(inner.saveRequests[3].startFolder, "/out/");
}

TEST_F(WindowState, TheAppsChoosersStartInTheRememberedFolder) {
    {
        QSettings s("Ranvista", "Ranvista");
        s.setValue("Ranvista/m_sFilePath", dir.path() + "/");
    }
    Start();
    ui.openRequests.clear();
    frame->Action(ID_IMPORT_IMAGE_DATABASE)->trigger(); // its chooser names no folder; cancelled
    ASSERT_EQ(ui.openRequests.size(), 1u);
    EXPECT_EQ(ui.openRequests[0].startFolder, dir.path().toStdString() + "/");
}

TEST_F(WindowState, TheAppsAnalyseDialogOpensWhereItWasLastMoved) {
    const std::string left =
        WriteImage(dir, "1N128287142EFF0300P1800L0M1.png", SolidImage(64, 64, Qt::gray));
    const std::string right =
        WriteImage(dir, "1N128287142EFF0300P1800R0M1.png", SolidImage(64, 64, Qt::darkGray));
    const QPoint wanted = ScreenArea().topLeft() + QPoint(53, 29);
    Start();
    Controller().OpenPairFiles(left, right);
    auto* dialog = dynamic_cast<QWidget*>(Controller().CalcDialog());
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    dialog->move(wanted);
    Stop();

    Start();
    Controller().OpenPairFiles(left, right);
    dialog = dynamic_cast<QWidget*>(Controller().CalcDialog());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->pos(), wanted);
}
