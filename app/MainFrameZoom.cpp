// The main frame's zoom and stereo commands. Their keys are the window's shortcuts, so
// they zoom the images even while the measurement table has the focus
// (which would otherwise take Page Up and Page Down to scroll itself).
#include "app/MainFrame.h"

#include "viewer/CommandIds.h"
#include "viewer/RangeMapTool.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include <cmath>
#include <utility>

void CMainFrame::AddZoomCommands(QMenu* view) {
    CChildView* v = m_wndView;
    AddCommand(view, ID_VIEW_FIT_TO_WINDOW, "Fit to Window",
               "Shows both images whole, each in its panel", [v] { v->OnFitToWindow(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    AddCommand(view, ID_VIEW_ACTUAL_SIZE, "Actual Size",
               "Shows one screen pixel for each image pixel", [v] { v->OnActualSize(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    AddCommand(view, ID_VIEW_ZOOM_IN, "Zoom In", "Enlarges both images",
               [v] { v->ZoomBySteps(-1); })
        ->setShortcuts(
            {QKeySequence(Qt::Key_PageUp), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)});
    AddCommand(view, ID_VIEW_ZOOM_OUT, "Zoom Out", "Shrinks both images",
               [v] { v->ZoomBySteps(+1); })
        ->setShortcuts(
            {QKeySequence(Qt::Key_PageDown), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)});
}

QMenu* CMainFrame::AddStereoCommands(QMenu* view) {
    CChildView* v = m_wndView;
    view->addSeparator();
    AddCommand(view, ID_VIEW_STEREO, "Stereo...",
               "Shows the pair for the eyes: red/cyan anaglyph, cross-eyed or parallel",
               [v] { v->OnStereo(); });
    AddToggle(
        view, ID_RANGE_MAP, "Range Map",
        "Ranges every pixel of the left image and shows the ranges over it; Shift+click "
        "measures from the map",
        [v] { v->OnRangeMap(); }, [v] { return v->RangeMapChecked(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QMenu* opacity = view->addMenu("Range Map Opacity");
    constexpr std::pair<int, double> kOpacities[] = {
        {ID_RANGE_OPACITY_25, 0.25},
        {ID_RANGE_OPACITY_50, 0.5},
        {ID_RANGE_OPACITY_75, 0.75},
        {ID_RANGE_OPACITY_100, 1.0},
    };
    for (const auto& [id, level] : kOpacities) {
        AddToggle(
            opacity, id, QString("%1 %").arg(std::lround(level * 100)), {},
            [v, level] { v->OnRangeMapOpacity(level); },
            [v, level] { return std::abs(v->RangeMap().Opacity() - level) < 1e-9; });
    }
    return opacity;
}
