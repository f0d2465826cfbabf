#include "PairFixture.h"

#include "viewer/CommandIds.h"

using View = PairFixture;

TEST_F(View, ClicksSetMarksOnlyInsideAnImage) {
    OpenPair();
    const int refreshes = dialog.refreshed;
    Click(210, 10);  // gap between the panels
    Click(50, 250);  // below the panels
    Click(150, 150); // panel, but outside the left image
    EXPECT_FALSE(Document().Session().Mark(Eye::Left).has_value());
    EXPECT_FALSE(Document().Session().Mark(Eye::Right).has_value());
    EXPECT_EQ(dialog.refreshed, refreshes);

    Click(50, 40);
    EXPECT_TRUE(Document().Session().Mark(Eye::Left).has_value());
    EXPECT_EQ(Document().Session().Mark(Eye::Left), (ImagePoint{50, 40}));
    EXPECT_EQ(dialog.leftCol, 50);
    EXPECT_EQ(dialog.leftRow, 40);
    Click(300, 60); // right image starts at x 220
    EXPECT_EQ(Document().Session().Mark(Eye::Right), (ImagePoint{80, 60}));
    EXPECT_EQ(dialog.rightCol, 80);
    EXPECT_EQ(dialog.refreshed, refreshes + 2);

    // With the Analyse dialog closed the mark is still shown at once.
    controller->OnShowCalcControl();
    ASSERT_FALSE(controller->IsCalcDialogOpen());
    const int paints = Paints();
    Click(60, 40);
    EXPECT_EQ(Document().Session().Mark(Eye::Left), (ImagePoint{60, 40}));
    EXPECT_EQ(Paints(), paints + 1);

    // Without a pair nothing is marked.
    view->ReleaseImage(ViewSide::Right);
    Document().Session().ClearMark(Eye::Left);
    Click(50, 40);
    EXPECT_FALSE(Document().Session().Mark(Eye::Left).has_value());
}

TEST_F(View, CursorShowsWhereAClickWouldMark) {
    OpenPair();
    Move(150, 150); // black part of a panel
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
    Move(210, 150); // gap
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
    Move(50, 50);
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
}

TEST_F(View, RightDragPansOnlyWithinOnePanel) {
    OpenPair();
    QTest::mousePress(view.get(), Qt::RightButton, Qt::NoModifier, QPoint(50, 40));
    Move(60, 45, Qt::RightButton);
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).x, 10);
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).y, 5);
    Move(250, 45, Qt::RightButton); // into the right panel: no pan at all
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).x, 10);
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Right).x, 0);
    Move(70, 50, Qt::RightButton); // back: the whole movement since (60, 45)
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).x, 20);
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).y, 10);
    // Release applies its own last movement too.
    QTest::mouseRelease(view.get(), Qt::RightButton, Qt::NoModifier, QPoint(75, 52));
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).x, 25);
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).y, 12);
    // A move without the button pans nothing.
    Move(90, 60);
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).x, 25);
    // The panned image is where a click lands.
    Click(25 + 10, 12 + 20);
    EXPECT_EQ(Document().Session().Mark(Eye::Left), (ImagePoint{10, 20}));
}

TEST_F(View, ZoomKeysAreTheNumericPadAndPageKeys) {
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(view->ZoomStep(), -1);
    Key(Qt::Key_Plus); // main keyboard plus
    Key(Qt::Key_Minus);
    EXPECT_EQ(view->ZoomStep(), -1);
    Key(Qt::Key_PageUp, Qt::NoModifier, 3); // repeat count 3
    EXPECT_EQ(view->ZoomStep(), -4);
    const int paints = Paints();
    Key(Qt::Key_Plus, Qt::KeypadModifier | Qt::ControlModifier);
    Key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(view->ZoomStep(), -4);
    EXPECT_EQ(Paints(), paints + 2); // repainted all the same
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->ZoomStep(), -2);
    EXPECT_DOUBLE_EQ(view->Zoom(), std::exp(0.2));
    Key(Qt::Key_PageUp, Qt::NoModifier, 8);
    EXPECT_DOUBLE_EQ(view->Zoom(), 2.718281828459045);
    view->OnReset();
    EXPECT_EQ(view->Zoom(), 1.0);
    EXPECT_EQ(view->ZoomStep(), 0);
}

TEST_F(View, HeldZoomKeyStopsAtTheDeepestZoom) {
    OpenPair(SolidImage(400, 400, Qt::red), SolidImage(400, 400, Qt::blue));
    view->OnReset(); // from 1:1 with the corners on the panels' (it opened fitted)
    Key(Qt::Key_PageUp, Qt::NoModifier, 30000);
    Key(Qt::Key_PageUp, Qt::NoModifier, 30000);
    EXPECT_EQ(view->ZoomStep(), kMinZoomStep);
    const SideLayout l = view->ComputeLayout(view->ClientRect(), ViewSide::Left);
    EXPECT_LT(l.image.left, l.image.right);
    // Still usable: a click marks a pixel of the image, the view paints.
    Click(100, 100);
    EXPECT_TRUE(Document().Session().Mark(Eye::Left).has_value());
    EXPECT_NEAR(Document().Session().Mark(Eye::Left)->x, 100.0,
                0.01); // the panel centre's image point
    EXPECT_EQ(Render().pixel(110, 110), qRgb(255, 0, 0));
    // One step back zooms out at once.
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->ZoomStep(), kMinZoomStep + 1);
}

TEST_F(View, HoverOverAStoredMarkShowsItsIndexInTheTitle) {
    OpenPair();
    AppendMeasurement({10, 10}, {20, 20}, {}, "");
    AppendMeasurement({30, 30}, {40, 40}, {}, "");
    Move(31, 30); // squared distance 1; the second mark, numbered from 1
    EXPECT_EQ(view->windowTitle().toStdString(), std::string("Ranvista V5.0 -[2]- LEFT(") +
                                                     kLeftTitle + ")  RIGHT(" + kRightTitle + ")");
    Move(31, 31); // squared distance 2: not near enough
    EXPECT_FALSE(view->HoverVertex());
    EXPECT_EQ(view->windowTitle().toStdString(),
              std::string("Ranvista V5.0 -- LEFT(") + kLeftTitle + ")  RIGHT(" + kRightTitle + ")");
    Move(220 + 20, 21); // the right image's list
    EXPECT_TRUE(view->HoverVertex());
    EXPECT_EQ(view->HoverVertex(), 0u);
    Click(220 + 20, 21); // a button clears the hover state
    EXPECT_FALSE(view->HoverVertex());
}

TEST_F(View, DoubleClickReselectsAStoredVertex) {
    OpenPair();
    for (int i = 0; i < 5; ++i) {
        VertexRecord v;
        v.m_ptPosition = CPoint3D(i, 0, 0);
        AppendMeasurement({10.0 + 10 * i, 15}, {5.0 + 10 * i, 50}, v, "entry\n");
    }
    const int refreshes = dialog.refreshed;
    QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 15));
    EXPECT_EQ(Document().Session().Marks(Eye::Left).size(), 4u);
    EXPECT_EQ(Document().Session().Marks(Eye::Right).size(), 4u);
    EXPECT_EQ(Document().Session().Vertices().size(), 5u);
    EXPECT_EQ(Document().Session().Mark(Eye::Left), (ImagePoint{30, 15}));
    EXPECT_EQ(Document().Session().Mark(Eye::Right), (ImagePoint{25, 50}));
    EXPECT_TRUE(Document().Session().Mark(Eye::Left).has_value() &&
                Document().Session().Mark(Eye::Right).has_value());
    EXPECT_EQ(Document().Session().Marks(Eye::Left)[2], (ImagePoint{40, 15}));
    EXPECT_EQ(dialog.rightCol, 25);
    EXPECT_EQ(dialog.refreshed, refreshes + 1);
    // From the right image, and a miss changes nothing.
    QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(220 + 45, 50));
    EXPECT_EQ(Document().Session().Mark(Eye::Left), (ImagePoint{50, 15}));
    QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(220 + 100, 100));
    EXPECT_EQ(Document().Session().Marks(Eye::Left).size(), 3u);
    EXPECT_EQ(Document().Session().Mark(Eye::Left), (ImagePoint{50, 15}));
}

TEST_F(View, SpaceCalculatesOrSaysWhichPixelIsMissing) {
    OpenPair();
    Key(Qt::Key_Space);
    Click(50, 40);
    Key(Qt::Key_Space);
    Document().Session().ClearMark(Eye::Left);
    Click(300, 60);
    Key(Qt::Key_Space);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Need to select left and right pixels",
                                                     "Need to select right pixel",
                                                     "Need to select left pixel"}));
    Click(50, 40);
    Key(Qt::Key_Space);
    EXPECT_EQ(dialog.calculated, 1);
    EXPECT_EQ(ui.messages.size(), 3u);

    // The dialog closes itself; once that has been handled, space does nothing.
    ASSERT_TRUE(controller->CalcDialog());
    controller->CalcDialogClosed();
    EXPECT_TRUE(controller->IsCalcDialogOpen()); // not inside the dialog's own handler
    QCoreApplication::processEvents();
    EXPECT_FALSE(controller->IsCalcDialogOpen());
    EXPECT_EQ(dialog.destroyed, 1);
    Key(Qt::Key_Space);
    EXPECT_EQ(dialog.calculated, 1);
    EXPECT_EQ(ui.messages.size(), 3u);
}

TEST_F(View, MarksSetWhileTheDialogIsHiddenAreShownWhenItComesBackAndSpaceSaysWhyNot) {
    OpenPair();
    controller->OnShowCalcControl(); // hidden
    ASSERT_FALSE(controller->IsCalcDialogOpen());
    Click(50, 40);
    Click(300, 60);
    const ImagePoint left = *Document().Session().Mark(Eye::Left);
    const ImagePoint right = *Document().Session().Mark(Eye::Right);
    Key(Qt::Key_Space);
    EXPECT_TRUE(ui.messages.empty()) << "no box, and nothing calculated";
    EXPECT_NE(view->StatusText().find("hidden"), std::string::npos) << view->StatusText();
    const int refreshes = dialog.refreshed;
    controller->OnShowCalcControl(); // shown again: a new dialog with the open pair's marks
    ASSERT_TRUE(controller->IsCalcDialogOpen());
    EXPECT_EQ(dialog.leftCol, left.x);
    EXPECT_EQ(dialog.leftRow, left.y);
    EXPECT_EQ(dialog.rightCol, right.x);
    EXPECT_EQ(dialog.rightRow, right.y);
    EXPECT_EQ(dialog.refreshed, refreshes + 1);
    Key(Qt::Key_Space);
    EXPECT_EQ(dialog.calculated, 1);
}

TEST_F(View, StoreKeysSaveAndReload) {
    // The store path leads nowhere, so every save or load says so.
    Key(Qt::Key_End);
    Key(Qt::Key_Home);
    Key(Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_TRUE(ui.messages.empty());
    Key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);  // save
    Key(Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier); // save
    Key(Qt::Key_Home, Qt::ControlModifier);                     // reload and save
    // Each is one transaction on the store, which cannot even be locked.
    EXPECT_EQ(ui.messages.size(), 3u) << Messages();
    for (const std::string& m : ui.messages) {
        EXPECT_EQ(m.rfind("Unable to lock the image database: cannot create ", 0), 0u) << m;
    }
}

TEST_F(View, CalcControlSwapAndToggles) {
    // Show Calc Control toggles the dialog, with or without a dialog to show.
    controller->OnShowCalcControl();
    EXPECT_TRUE(controller->IsCalcDialogOpen());
    EXPECT_EQ(dialog.shown, 1);
    controller->OnShowCalcControl();
    EXPECT_FALSE(controller->IsCalcDialogOpen());
    EXPECT_EQ(dialog.hidden, 1);
    EXPECT_EQ(dialog.destroyed, 1);
    controller->SetCalcDialogFactory({});
    controller->OnShowCalcControl();
    EXPECT_TRUE(controller->IsCalcDialogOpen());
    EXPECT_EQ(controller->CalcDialog(), nullptr);
    controller->OnShowCalcControl();
    controller->SetCalcDialogFactory(FakeCalcDialogFactory(dialog));

    view->OnVertexIndices();
    EXPECT_TRUE(view->VertexIndicesShown());
    view->OnDisableBeeps();
    EXPECT_TRUE(view->BeepsDisabled());

    OpenPair();
    Click(50, 40);
    view->SetOffset(ViewSide::Left, {5, 6});
    const std::string left = Document().Session().LeftFile();
    const CImage* leftImage = view->Image(ViewSide::Left);
    const int refreshes = dialog.refreshed;
    controller->OnSwapImages();
    EXPECT_EQ(Document().Session().RightFile(), left);
    EXPECT_EQ(view->Image(ViewSide::Right), leftImage);
    EXPECT_EQ(Document().Session().Mark(Eye::Left),
              (ImagePoint{50, 40})); // marks and pan stay with the panel
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Left).x, 5);
    EXPECT_EQ(dialog.refreshed, refreshes + 1);
    EXPECT_NE(view->windowTitle().toStdString().find(std::string("LEFT(") + kRightTitle),
              std::string::npos);
}

TEST_F(View, MeasurementAppendsToAllThreeListsAndClearsTheMarks) {
    OpenPair();
    Click(50, 40);
    Click(300, 60);
    VertexRecord v;
    v.m_ptPosition = CPoint3D(1, 2, 3);
    AppendMeasurement(*Document().Session().Mark(Eye::Left), *Document().Session().Mark(Eye::Right),
                      v, "\nImage Pair a b\n");
    AppendMeasurement({1, 1}, {2, 2}, v, "second\n");
    EXPECT_FALSE(Document().Session().Mark(Eye::Left).has_value() ||
                 Document().Session().Mark(Eye::Right).has_value());
    EXPECT_EQ(Document().Session().Marks(Eye::Left), (std::vector<ImagePoint>{{50, 40}, {1, 1}}));
    EXPECT_EQ(Document().Session().Marks(Eye::Right), (std::vector<ImagePoint>{{80, 60}, {2, 2}}));
    EXPECT_EQ(Document().Session().Vertices().size(), 2u);
    EXPECT_EQ(Document().Session().ResultsLog(), "\nImage Pair a b\nsecond\n");
}

TEST_F(View, SettingsAreWrittenWhenTheViewGoesAndReadWhenItComes) {
    EXPECT_EQ(view->FilePath(), ""); // first run
    EXPECT_FALSE(view->BeepsDisabled());
    view->SetFilePath("/data/sol 128/");
    view->OnDisableBeeps();
    view.reset();
    {
        QSettings s(CChildView::kSettingsName, CChildView::kSettingsName);
        s.beginGroup("Ranvista");
        EXPECT_EQ(s.value("m_sFilePath").toString(), "/data/sol 128/");
        EXPECT_EQ(s.value("m_bDisableBeeps").toInt(), 1);
    }
    view = MakeView();
    EXPECT_EQ(view->FilePath(), "/data/sol 128/");
    EXPECT_TRUE(view->BeepsDisabled());
}
