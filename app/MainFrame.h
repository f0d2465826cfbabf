// The main window: menu, tool bar, status bar and the stereo view as its only
// client window. Every command is offered to the view first.
#pragma once

#include "viewer/ChildView.h"
#include "viewer/UiServices.h"

#include <QMainWindow>

#include <map>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kReady = "Ready";

    // db: the application's image database, which the view works on.
    CMainFrame(IUiServices& ui, ImageDatabase& db, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the view (which loads the image database), the tool bar and the
    // status bar.
    void Create();

    CChildView& View() { return *m_wndView; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    // The menu or tool-bar action of a command, or nullptr.
    QAction* Action(int nId) const;

    // Routes a command: the view first, then the frame's own handlers.
    // True when someone handled it.
    bool OnCmdMsg(int nId);
    // Check marks and enabled states from their handlers.
    void UpdateCommandUI();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, int nId, const QString& text, const QString& prompt = {},
                        bool checkable = false);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();

    IUiServices& m_ui;
    ImageDatabase& m_db;
    CChildView* m_wndView = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    std::map<int, QAction*> m_actions;
};
