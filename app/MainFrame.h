// The main window: menu, tool bar, status bar and the stereo view as its only
// client window. Each menu item is connected to the object that carries out
// its command: the view, the application's commands or the frame itself.
#pragma once

#include "app/AppCommands.h"
#include "app/HelpOpener.h"
#include "app/RecentPairs.h"
#include "ui/UiServices.h"
#include "viewer/ChildView.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

class CMeasurementDock;
class CPairController;
class CStatusProgressPane;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kReady = "Ready";

    // db: the application's image database, which the view works on.
    CMainFrame(IUiServices& ui, ImageDatabase& db, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the view (which loads the image database), the application's
    // commands, the menus, the tool bar and the status bar.
    // storeNamed false: the image database is the default store, which may
    // be absent without a message.
    void Create(bool storeNamed = true, const AppCommandOptions& options = {});

    CChildView& View() { return *m_wndView; }
    // The open pair's controller: the Analyse dialog, Space, Auto-Detect.
    CPairController& Controller() const { return *m_pController; }
    CAppCommands& Commands() const { return *m_pCommands; }
    // The measurement table and its commands (created with the menus).
    CMeasurementDock* MeasurementDock() const { return m_pMeasurementDock; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    // The status bar's progress bar and Cancel button (the range map).
    CStatusProgressPane* ProgressPane() const { return m_pProgressPane; }
    // The menu or tool-bar action of a command, or nullptr.
    QAction* Action(int nId) const;

    // Check marks and enabled states from the objects the commands act on.
    void UpdateCommandUI();

    // File > Recent Pairs (MainFrameExtras.cpp).
    const RecentPairs& Recent() const { return m_recentPairs; }
    QMenu* RecentPairsMenu() const { return m_pRecentMenu; }
    // Reopens the pair at index; a pair whose files are gone is dropped from
    // the list, with a message.
    void OpenRecentPair(std::size_t index);
    // Help > Ranvista Help: the README through the help opener.
    void OnRanvistaHelp();
    QAction* HelpAction() const { return m_pHelpAction; }
    void SetHelpOpener(std::unique_ptr<IHelpOpener> opener) { m_pHelpOpener = std::move(opener); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A menu item that runs run (and then refreshes every item's state).
    QAction* AddCommand(QMenu* menu, int nId, const QString& text, const QString& prompt,
                        std::function<void()> run);
    // A checkable one whose check mark is what checked says.
    QAction* AddToggle(QMenu* menu, int nId, const QString& text, const QString& prompt,
                       std::function<void()> run, std::function<bool()> checked);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateRecentPairsMenu(QMenu* file, QAction* before);
    void CreateHelpItem(QMenu* help);
    // View > Fit to Window, Actual Size, Zoom In and Zoom Out with their keys,
    // which reach the view wherever the focus is in the window (MainFrameZoom.cpp).
    void AddZoomCommands(QMenu* view);
    // View > Stereo, Range Map and the overlay's opacity (MainFrameZoom.cpp);
    // returns the opacity menu.
    QMenu* AddStereoCommands(QMenu* view);
    void FillRecentPairsMenu();
    // With one image open the stereo commands are disabled, their status tip
    // saying why (MainFrameOneImage.cpp).
    void DisableStereoCommandsForOneImage();
    // Records the view's pair, when both its images are open.
    void RememberOpenPair();

    IUiServices& m_ui;
    ImageDatabase& m_db;
    CMeasurementDock* m_pMeasurementDock = nullptr; // owned by the frame
    CChildView* m_wndView = nullptr;
    std::unique_ptr<CPairController> m_pController;
    std::unique_ptr<CAppCommands> m_pCommands;
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    CStatusProgressPane* m_pProgressPane = nullptr; // owned by the status bar
    std::map<int, QAction*> m_actions;
    std::map<int, std::function<bool()>> m_checks;
    RecentPairs m_recentPairs;
    QMenu* m_pRecentMenu = nullptr;
    QMenu* m_pOpacityMenu = nullptr; // View > Range Map Opacity
    QAction* m_pHelpAction = nullptr;
    std::unique_ptr<IHelpOpener> m_pHelpOpener = MakeDesktopHelpOpener();
};
