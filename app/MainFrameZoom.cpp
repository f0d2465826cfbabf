// The main frame's zoom and stereo commands. Their keys are the window's shortcuts, so
// they zoom the images even while the measurement table has the focus
// (which would otherwise take Page Up and Page Down to scroll itself).
#include "app/MainFrame.h"

#include "viewer/CommandIds.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

void CMainFrame::AddZoomCommands(QMenu* view) {
    AddCommand(view, ID_VIEW_FIT_TO_WINDOW, "Fit to Window",
               "Shows both images whole, each in its panel")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    AddCommand(view, ID_VIEW_ACTUAL_SIZE, "Actual Size",
               "Shows one screen pixel for each image pixel")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    AddCommand(view, ID_VIEW_ZOOM_IN, "Zoom In", "Enlarges both images")
        ->setShortcuts(
            {QKeySequence(Qt::Key_PageUp), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)});
    AddCommand(view, ID_VIEW_ZOOM_OUT, "Zoom Out", "Shrinks both images")
        ->setShortcuts(
            {QKeySequence(Qt::Key_PageDown), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)});
}

QMenu* CMainFrame::AddStereoCommands(QMenu* view) {
    view->addSeparator();
    AddCommand(view, ID_VIEW_STEREO, "Stereo...",
               "Shows the pair for the eyes: red/cyan anaglyph, cross-eyed or parallel");
    AddCommand(view, ID_RANGE_MAP, "Range Map",
               "Ranges every pixel of the left image and shows the ranges over it; Shift+click "
               "measures from the map",
               true)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QMenu* opacity = view->addMenu("Range Map Opacity");
    AddCommand(opacity, ID_RANGE_OPACITY_25, "25 %", {}, true);
    AddCommand(opacity, ID_RANGE_OPACITY_50, "50 %", {}, true);
    AddCommand(opacity, ID_RANGE_OPACITY_75, "75 %", {}, true);
    AddCommand(opacity, ID_RANGE_OPACITY_100, "100 %", {}, true);
    return opacity;
}
