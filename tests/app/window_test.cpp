// The window a new user meets: a large pair fitted to the window, Actual Size
// and back, zoom keys wherever the focus is, the guide found from the build
// folder, the hint of an empty window, and the boxes' icons and buttons.
#include "AppFixture.h"

#include "app/HelpOpener.h"
#include "app/MeasurementDock.h"
#include "ui/QtUiServices.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace {

const QRgb kBorder = qRgb(255, 0, 0);
const QRgb kCorner = qRgb(0, 255, 0);

// A grey image with a red border 16 pixels wide and a green square in its
// bottom-right corner: whole on screen only if every colour shows.
QImage FramedImage(int size) {
    QImage img = SolidImage(size, size, QColor(128, 128, 128));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool border = x < 16 || y < 16 || x >= size - 16 || y >= size - 16;
            const bool corner = x >= size - 80 && x < size - 16 && y >= size - 80 && y < size - 16;
            if (border) {
                img.setPixel(x, y, kBorder);
            } else if (corner) {
                img.setPixel(x, y, kCorner);
            }
        }
    }
    return img;
}

struct Box {
    int left = INT_MAX;
    int top = INT_MAX;
    int right = -1; // inclusive
    int bottom = -1;
    int count = 0;
};

// Where pixels of one colour lie in a screenshot, within a rectangle.
Box Find(const QImage& shot, QRgb colour, const ViewRect& within) {
    Box b;
    for (int y = within.top; y < std::min(within.bottom, shot.height()); ++y) {
        for (int x = within.left; x < std::min(within.right, shot.width()); ++x) {
            if (shot.pixel(x, y) == colour) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x);
                b.bottom = std::max(b.bottom, y);
                ++b.count;
            }
        }
    }
    return b;
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Window : public AppFixture {
protected:
    // A 2048 x 2048 pair named as a MER pair, opened from the command line in
    // a 1600 x 1000 window.
    void StartWithLargePair() {
        const QImage img = FramedImage(2048);
        StartupOptions options;
        options.sLeftFile = WriteImage(dir, "1N128287142EFF0300P1800L0M1.png", img);
        options.sRightFile = WriteImage(dir, "1N128287142EFF0300P1800R0M1.png", img);
        Start(options);
        frame->showNormal();
        frame->resize(1600, 1000);
        Controller().WaitForImages();
        QApplication::processEvents();
        ASSERT_TRUE(View().HasBothImages());
    }
    // Both panels of a grab of the view show the whole framed image.
    void ExpectWholeImagesInGrab() {
        const QImage shot = View().grab().toImage().convertToFormat(QImage::Format_RGB32);
        const ViewRect client = View().ClientRect();
        for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
            const ViewRect panel = VisiblePanel(client, side);
            const Box border = Find(shot, kBorder, panel);
            const Box corner = Find(shot, kCorner, panel);
            ASSERT_GT(border.count, 0);
            ASSERT_GT(corner.count, 0) << "the bottom-right corner is off screen";
            // The border's outer edge is the image's: square, as large as
            // the panel allows, and inside it.
            const int side_ = border.right - border.left + 1;
            EXPECT_EQ(border.bottom - border.top + 1, side_);
            EXPECT_GE(side_, std::min(panel.Width(), panel.Height()) - 2);
            EXPECT_GE(border.left, panel.left);
            EXPECT_LT(border.right, panel.right);
            EXPECT_LT(border.bottom, panel.bottom);
            // The green square sits just inside the bottom-right corner.
            EXPECT_GT(corner.right, border.right - side_ / 16);
            EXPECT_GT(corner.bottom, border.bottom - side_ / 16);
        }
    }
};

} // namespace

TEST_F(Window, ALargePairOpensFittedAndActualSizeShowsItsMiddleAtOneToOne) {
    StartWithLargePair();
    EXPECT_EQ(View().Fit(), CChildView::FitMode::ShrinkLarge);
    ExpectWholeImagesInGrab();

    // View > Actual Size: 1:1, the green corner out of sight.
    Action(ID_VIEW_ACTUAL_SIZE)->trigger();
    EXPECT_EQ(View().Zoom(), 1.0);
    QImage shot = View().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const ViewRect left = VisiblePanel(View().ClientRect(), ViewSide::Left);
    EXPECT_EQ(Find(shot, kCorner, left).count, 0);
    EXPECT_EQ(Find(shot, kBorder, left).count, 0); // the middle of a 2048-pixel image

    // And back with View > Fit to Window.
    Action(ID_VIEW_FIT_TO_WINDOW)->trigger();
    ExpectWholeImagesInGrab();
    // The window shrinks (the table docks beside the images): still whole.
    frame->resize(1200, 800);
    QApplication::processEvents();
    ExpectWholeImagesInGrab();
}

TEST_F(Window, ZoomKeysReachTheImagesWhileTheTableHasTheFocus) {
    StartWithLargePair();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    CMeasurementDock* dock = frame->MeasurementDock();
    ASSERT_NE(dock, nullptr);
    dock->show();
    QTableView* table = dock->Table();
    table->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(table->hasFocus());

    QTest::keyClick(table, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(View().Zoom(), 1.0);
    QTest::keyClick(table, Qt::Key_PageDown);
    EXPECT_EQ(View().ZoomStep(), 1);
    QTest::keyClick(table, Qt::Key_Plus, Qt::KeypadModifier);
    QTest::keyClick(table, Qt::Key_PageUp);
    EXPECT_EQ(View().ZoomStep(), -1);
    QTest::keyClick(table, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(View().Fit(), CChildView::FitMode::Whole);
    EXPECT_TRUE(table->hasFocus()); // the keys did not move the focus either
    ExpectWholeImagesInGrab();
}

TEST_F(Window, KeysTypedAsThePairOpensGoToTheViewNotTheCameraBox) {
    StartWithLargePair();
    QApplication::processEvents();
    QComboBox* camera = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != frame && w->isVisible()) {
            camera = w->findChild<QComboBox*>();
        }
    }
    ASSERT_NE(camera, nullptr) << "no Analyse dialog";
    const int before = camera->currentIndex();
    ASSERT_EQ(QApplication::activeWindow(), frame);
    ASSERT_EQ(QApplication::focusWidget(), &View());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N);
    EXPECT_EQ(camera->currentIndex(), before);
}

TEST_F(Window, HelpFindsTheGuideTheBuildFolderCarries) {
    // Beside the programs of this build, as it would be installed: found
    // wherever the build folder lies, and the README of these sources.
    const QString built = QStringLiteral(RANVISTA_BINARY_DIR "/share/doc/ranvista/README.md");
    const QString found = FindHelpFile(QStringLiteral(RANVISTA_BINARY_DIR "/app"));
    EXPECT_EQ(found, QFileInfo(built).canonicalFilePath());
    EXPECT_EQ(Contents(found), Contents(QStringLiteral(RANVISTA_SOURCE_DIR "/README.md")));
    // Its pictures come along.
    EXPECT_TRUE(QFileInfo::exists(QFileInfo(built).dir().filePath("docs/screenshot-main.png")));

    // A build folder far from any source tree, with that copy: found.
    const QDir elsewhere(dir.path());
    elsewhere.mkpath("builds/x/app");
    elsewhere.mkpath("builds/x/share/doc/ranvista");
    QFile::copy(built, elsewhere.filePath("builds/x/share/doc/ranvista/README.md"));
    EXPECT_EQ(
        FindHelpFile(elsewhere.filePath("builds/x/app")),
        QFileInfo(elsewhere.filePath("builds/x/share/doc/ranvista/README.md")).canonicalFilePath());

    // Help > Ranvista Help from this test program (<build>/tests) opens it.
    Start();
    std::vector<QUrl> opened;
    frame->SetHelpOpener(std::make_unique<FakeHelpOpener>(opened));
    ui.messages.clear();
    frame->HelpAction()->trigger();
    ASSERT_EQ(opened.size(), 1u) << (ui.messages.empty() ? "" : ui.messages[0]);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(Contents(opened[0].toLocalFile()), Contents(found));
}

TEST_F(Window, AnEmptyWindowShowsHowToStartAndTheViewMenuOffersTheZooms) {
    Start();
    frame->showNormal();
    frame->resize(1200, 800);
    QApplication::processEvents();
    const QImage shot = View().grab().toImage().convertToFormat(QImage::Format_RGB32);
    int lit = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            lit += qGray(shot.pixel(x, y)) > 100;
        }
    }
    EXPECT_GT(lit, 300); // the hint's text on the black
    EXPECT_EQ(shot.pixel(5, 5), qRgb(0, 0, 0));

    // Beside Reset, with their keys; the beeps item spelt right.
    QStringList items;
    for (QAction* top : frame->menuBar()->actions()) {
        if (top->text() == "&View") {
            for (QAction* a : top->menu()->actions()) {
                items << a->text();
            }
        }
    }
    const qsizetype reset = items.indexOf("Reset");
    ASSERT_GE(reset, 0);
    EXPECT_EQ(items.mid(reset + 1, 4),
              (QStringList{"Fit to Window", "Actual Size", "Zoom In", "Zoom Out"}));
    EXPECT_TRUE(items.contains("Disable Beep Notifications"));
    EXPECT_EQ(Action(ID_VIEW_FIT_TO_WINDOW)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    EXPECT_EQ(Action(ID_VIEW_ACTUAL_SIZE)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
}

TEST_F(Window, GoodNewsIsInformationAndTheCrashQuestionSaysRestoreDiscardLater) {
    Start();
    ui.messages.clear();
    frame->Action(ID_IMAGE_DATABASE_INFO)->trigger();
    EXPECT_EQ(ui.informations.size(), 1u);
    SignalCompletion(ui, true, "Done");
    EXPECT_EQ(ui.informations.back(), "Done");

    // The real boxes: the icon, and the three answers by name.
    CQtUiServices qt(frame);
    const auto answer = [&](const QString& button) {
        QTimer::singleShot(0, [button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QStringList names;
            for (QAbstractButton* b : box->buttons()) {
                names << b->text();
            }
            names.sort();
            EXPECT_EQ(names, (QStringList{"Discard", "Later", "Restore"}));
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == button) {
                    b->click();
                }
            }
        });
        return qt.AskRestoreDiscardLater("Restore them?");
    };
    EXPECT_EQ(answer("Restore"), IUiServices::RestoreChoice::Restore);
    EXPECT_EQ(answer("Discard"), IUiServices::RestoreChoice::Discard);
    EXPECT_EQ(answer("Later"), IUiServices::RestoreChoice::Later);

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&icon] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        box->accept();
    });
    qt.ShowInformation("Done");
    EXPECT_EQ(icon, QMessageBox::Information);
}
