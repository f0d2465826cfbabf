#include "ViewFixture.h"

#include "viewer/CommandIds.h"

using View = ViewFixture;

TEST_F(View, ClicksSetMarksOnlyInsideAnImage) {
    OpenPair();
    const int refreshes = dialog.refreshed;
    Click(210, 10);  // gap between the panels
    Click(50, 250);  // below the panels
    Click(150, 150); // panel, but outside the left image
    EXPECT_FALSE(view->m_bLeftMarkSet);
    EXPECT_FALSE(view->m_bRightMarkSet);
    EXPECT_EQ(dialog.refreshed, refreshes);

    Click(50, 40);
    EXPECT_TRUE(view->m_bLeftMarkSet);
    EXPECT_EQ(view->m_ptLeftMark, (ImagePoint{50, 40}));
    EXPECT_EQ(dialog.leftCol, 50);
    EXPECT_EQ(dialog.leftRow, 40);
    Click(300, 60); // right image starts at x 220
    EXPECT_EQ(view->m_ptRightMark, (ImagePoint{80, 60}));
    EXPECT_EQ(dialog.rightCol, 80);
    EXPECT_EQ(dialog.refreshed, refreshes + 2);

    // With the Analyse dialog closed the mark is still shown at once.
    view->OnShowCalcControl();
    ASSERT_FALSE(view->m_bCalcDlgOpen);
    const int paints = Paints();
    Click(60, 40);
    EXPECT_EQ(view->m_ptLeftMark, (ImagePoint{60, 40}));
    EXPECT_EQ(Paints(), paints + 1);

    // Without a pair nothing is marked.
    view->m_pRightImage.reset();
    view->m_bLeftMarkSet = false;
    Click(50, 40);
    EXPECT_FALSE(view->m_bLeftMarkSet);
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
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.x, 10);
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.y, 5);
    Move(250, 45, Qt::RightButton); // into the right panel: no pan at all
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.x, 10);
    EXPECT_DOUBLE_EQ(view->m_ptRightOffset.x, 0);
    Move(70, 50, Qt::RightButton); // back: the whole movement since (60, 45)
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.x, 20);
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.y, 10);
    // Release applies its own last movement too.
    QTest::mouseRelease(view.get(), Qt::RightButton, Qt::NoModifier, QPoint(75, 52));
    EXPECT_FALSE(view->m_bDragging);
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.x, 25);
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.y, 12);
    // A move without the button pans nothing.
    Move(90, 60);
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.x, 25);
    // The panned image is where a click lands.
    Click(25 + 10, 12 + 20);
    EXPECT_EQ(view->m_ptLeftMark, (ImagePoint{10, 20}));
}

TEST_F(View, ZoomKeysAreTheNumericPadAndPageKeys) {
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(view->m_nZoomStep, -1);
    Key(Qt::Key_Plus); // main keyboard plus
    Key(Qt::Key_Minus);
    EXPECT_EQ(view->m_nZoomStep, -1);
    Key(Qt::Key_PageUp, Qt::NoModifier, 3); // repeat count 3
    EXPECT_EQ(view->m_nZoomStep, -4);
    const int paints = Paints();
    Key(Qt::Key_Plus, Qt::KeypadModifier | Qt::ControlModifier);
    Key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(view->m_nZoomStep, -4);
    EXPECT_EQ(Paints(), paints + 2); // repainted all the same
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->m_nZoomStep, -2);
    EXPECT_DOUBLE_EQ(view->m_dZoom, std::exp(0.2));
    Key(Qt::Key_PageUp, Qt::NoModifier, 8);
    EXPECT_DOUBLE_EQ(view->m_dZoom, 2.718281828459045);
    view->OnReset();
    EXPECT_EQ(view->m_dZoom, 1.0);
    EXPECT_EQ(view->m_nZoomStep, 0);
}

TEST_F(View, HeldZoomKeyStopsAtTheDeepestZoom) {
    OpenPair(SolidImage(400, 400, Qt::red), SolidImage(400, 400, Qt::blue));
    Key(Qt::Key_PageUp, Qt::NoModifier, 30000);
    Key(Qt::Key_PageUp, Qt::NoModifier, 30000);
    EXPECT_EQ(view->m_nZoomStep, kMinZoomStep);
    const SideLayout l = view->ComputeLayout(view->ClientRect(), ViewSide::Left);
    EXPECT_LT(l.image.left, l.image.right);
    // Still usable: a click marks a pixel of the image, the view paints.
    Click(100, 100);
    EXPECT_TRUE(view->m_bLeftMarkSet);
    EXPECT_NEAR(view->m_ptLeftMark.x, 100.0, 0.01); // the panel centre's image point
    EXPECT_EQ(Render().pixel(110, 110), qRgb(255, 0, 0));
    // One step back zooms out at once.
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->m_nZoomStep, kMinZoomStep + 1);
}

TEST_F(View, HoverOverAStoredMarkShowsItsIndexInTheTitle) {
    OpenPair();
    view->AppendMeasurement({10, 10}, {20, 20}, {}, "");
    view->AppendMeasurement({30, 30}, {40, 40}, {}, "");
    Move(31, 30); // squared distance 1
    EXPECT_EQ(view->windowTitle().toStdString(), std::string("Ranvista V5.0 -[1]- LEFT(") +
                                                     kLeftTitle + ")  RIGHT(" + kRightTitle + ")");
    Move(31, 31); // squared distance 2: not near enough
    EXPECT_FALSE(view->m_bHoverVertex);
    EXPECT_EQ(view->windowTitle().toStdString(),
              std::string("Ranvista V5.0 -- LEFT(") + kLeftTitle + ")  RIGHT(" + kRightTitle + ")");
    Move(220 + 20, 21); // the right image's list
    EXPECT_TRUE(view->m_bHoverVertex);
    EXPECT_EQ(view->m_nHoverVertex, 0u);
    Click(220 + 20, 21); // a button clears the hover state
    EXPECT_FALSE(view->m_bHoverVertex);
}

TEST_F(View, DoubleClickReselectsAStoredVertex) {
    OpenPair();
    for (int i = 0; i < 5; ++i) {
        VertexRecord v;
        v.m_ptPosition = CPoint3D(i, 0, 0);
        view->AppendMeasurement({10.0 + 10 * i, 15}, {5.0 + 10 * i, 50}, v, "entry\n");
    }
    const int refreshes = dialog.refreshed;
    QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 15));
    EXPECT_EQ(view->m_vLeftMarks.size(), 4u);
    EXPECT_EQ(view->m_vRightMarks.size(), 4u);
    EXPECT_EQ(view->m_vVertices.size(), 5u);
    EXPECT_EQ(view->m_ptLeftMark, (ImagePoint{30, 15}));
    EXPECT_EQ(view->m_ptRightMark, (ImagePoint{25, 50}));
    EXPECT_TRUE(view->m_bLeftMarkSet && view->m_bRightMarkSet);
    EXPECT_EQ(view->m_vLeftMarks[2], (ImagePoint{40, 15}));
    EXPECT_EQ(dialog.rightCol, 25);
    EXPECT_EQ(dialog.refreshed, refreshes + 1);
    // From the right image, and a miss changes nothing.
    QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(220 + 45, 50));
    EXPECT_EQ(view->m_ptLeftMark, (ImagePoint{50, 15}));
    QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(220 + 100, 100));
    EXPECT_EQ(view->m_vLeftMarks.size(), 3u);
    EXPECT_EQ(view->m_ptLeftMark, (ImagePoint{50, 15}));
}

TEST_F(View, SpaceCalculatesOrSaysWhichPixelIsMissing) {
    OpenPair();
    Key(Qt::Key_Space);
    Click(50, 40);
    Key(Qt::Key_Space);
    view->m_bLeftMarkSet = false;
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
    ASSERT_TRUE(view->CalcDialog());
    view->CalcDialogClosed();
    EXPECT_TRUE(view->m_bCalcDlgOpen); // not inside the dialog's own handler
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->m_bCalcDlgOpen);
    EXPECT_EQ(dialog.destroyed, 1);
    Key(Qt::Key_Space);
    EXPECT_EQ(dialog.calculated, 1);
    EXPECT_EQ(ui.messages.size(), 3u);
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
    view->OnCmdMsg(ID_SHOW_CALC_CONTROL);
    EXPECT_TRUE(view->m_bCalcDlgOpen);
    EXPECT_EQ(dialog.shown, 1);
    EXPECT_EQ(view->OnUpdateCmdUI(ID_SHOW_CALC_CONTROL), true);
    view->OnCmdMsg(ID_SHOW_CALC_CONTROL);
    EXPECT_FALSE(view->m_bCalcDlgOpen);
    EXPECT_EQ(dialog.hidden, 1);
    EXPECT_EQ(dialog.destroyed, 1);
    view->SetCalcDialogFactory({});
    view->OnCmdMsg(ID_SHOW_CALC_CONTROL);
    EXPECT_TRUE(view->m_bCalcDlgOpen);
    EXPECT_EQ(view->CalcDialog(), nullptr);
    view->OnCmdMsg(ID_SHOW_CALC_CONTROL);
    view->SetCalcDialogFactory(FakeCalcDialogFactory(dialog));

    view->OnCmdMsg(ID_VERTEX_INDICES);
    EXPECT_TRUE(view->m_bVertexIndices);
    view->OnCmdMsg(ID_DISABLE_BEEPS);
    EXPECT_EQ(view->OnUpdateCmdUI(ID_DISABLE_BEEPS), true);
    EXPECT_FALSE(view->OnUpdateCmdUI(ID_SWAP_IMAGES).has_value());
    EXPECT_FALSE(view->OnCmdMsg(ID_APP_EXIT)); // the frame's

    OpenPair();
    Click(50, 40);
    view->m_ptLeftOffset = {5, 6};
    const std::string left = view->m_sLeftFile;
    const CImage* leftImage = view->m_pLeftImage.get();
    const int refreshes = dialog.refreshed;
    view->OnCmdMsg(ID_SWAP_IMAGES);
    EXPECT_EQ(view->m_sRightFile, left);
    EXPECT_EQ(view->m_pRightImage.get(), leftImage);
    EXPECT_EQ(view->m_ptLeftMark, (ImagePoint{50, 40})); // marks and pan stay with the panel
    EXPECT_DOUBLE_EQ(view->m_ptLeftOffset.x, 5);
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
    view->AppendMeasurement(view->m_ptLeftMark, view->m_ptRightMark, v, "\nImage Pair a b\n");
    view->AppendMeasurement({1, 1}, {2, 2}, v, "second\n");
    EXPECT_FALSE(view->m_bLeftMarkSet || view->m_bRightMarkSet);
    EXPECT_EQ(view->m_vLeftMarks, (std::vector<ImagePoint>{{50, 40}, {1, 1}}));
    EXPECT_EQ(view->m_vRightMarks, (std::vector<ImagePoint>{{80, 60}, {2, 2}}));
    EXPECT_EQ(view->m_vVertices.size(), 2u);
    EXPECT_EQ(view->m_sResultsLog, "\nImage Pair a b\nsecond\n");
}

TEST_F(View, SettingsAreWrittenWhenTheViewGoesAndReadWhenItComes) {
    EXPECT_EQ(view->m_sFilePath, ""); // first run
    EXPECT_FALSE(view->m_bDisableBeeps);
    view->m_sFilePath = "/data/sol 128/";
    view->OnCmdMsg(ID_DISABLE_BEEPS);
    view.reset();
    {
        QSettings s(CChildView::kSettingsName, CChildView::kSettingsName);
        s.beginGroup("Ranvista");
        EXPECT_EQ(s.value("m_sFilePath").toString(), "/data/sol 128/");
        EXPECT_EQ(s.value("m_bDisableBeeps").toInt(), 1);
    }
    view = MakeView();
    EXPECT_EQ(view->m_sFilePath, "/data/sol 128/");
    EXPECT_TRUE(view->m_bDisableBeeps);
}
