// Where the main window and the Analyse dialog come back: size, position,
// maximised state, tool bar and dock layout, kept in the settings.
#pragma once

#include <QRect>
#include <QString>

#include <vector>

class QMainWindow;
class QSettings;
class QWidget;

// The smallest main window that is restored as saved; anything smaller
// opens at the screen's size instead.
inline constexpr int kMinRestoredWidth = 640;
inline constexpr int kMinRestoredHeight = 480;

// Whether a saved main-window rectangle can be shown as it is: at least
// 640x480, and its centre on one of the screens' available areas.
bool IsUsableWindowRect(const QRect& rect, const std::vector<QRect>& availableScreens);

struct WindowRestoreResult {
    bool bRestored = false; // false: opened at the screen size, maximised
    QString sReason;        // why not, for a log: "none saved", "corrupt", ...
};

// Shows window as it was saved; the first start, or a saved rectangle that
// is corrupt, too small or off-screen, gives the primary screen's available
// area and then asks to be maximised, so that even without a window manager
// the window is never left at a default 200x100.
WindowRestoreResult ShowMainWindow(QMainWindow& window, QSettings& settings);
// Saves the window's normal rectangle, maximised state, tool bars and docks.
void SaveMainWindow(const QMainWindow& window, QSettings& settings);

// Moves dialog to the position saved under key (when that is on a screen)
// and saves its position under key whenever it moves or hides.
void KeepDialogPosition(QWidget& dialog, const QString& key);
