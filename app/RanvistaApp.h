// The application object: start-up, the main frame and shut-down.
#pragma once

#include "app/LastFolderUi.h"
#include "app/MainFrame.h"
#include "base/Messages.h"
#include "viewer/ChildView.h"
#include "viewer/UiServices.h"

#include <QStringList>

#include <memory>
#include <string>

// The folder the program was started in, captured once at start-up; the image
// database store lives there.
extern std::string g_sStartupDir;

struct StartupOptions {
    std::string sStorePath; // empty: ImgBinDat in the start-up folder
    std::string sLeftFile;  // both set: the pair opened at start-up
    std::string sRightFile;
};

struct ParsedCommandLine {
    bool bRun = false; // false: print sText and exit with nExitCode
    int nExitCode = 0;
    std::string sText;
    StartupOptions options;
};

// "ranvista [--db STORE] [LEFT RIGHT]"; args[0] is the program.
ParsedCommandLine ParseCommandLine(const QStringList& args);

// How the Analyse dialog is made for the view: a window of its own, kept
// above owner, that speaks to the user through ui.
CChildView::CalcDialogFactory MakeCalcDialogFactory(IUiServices& ui, QWidget* owner);

class CRanvistaApp {
public:
    // ui: the user-facing services; nullptr uses the Qt ones.
    explicit CRanvistaApp(IUiServices* ui = nullptr);
    ~CRanvistaApp();
    CRanvistaApp(const CRanvistaApp&) = delete;
    CRanvistaApp& operator=(const CRanvistaApp&) = delete;

    // Start-up: start-up folder, settings names, main frame with the view
    // (which reads the settings and loads the image database), shown as it
    // was left (or maximised at first); then the pair of the command line.
    bool InitInstance(const StartupOptions& options = {});
    // Saves the main window's place, closes down the main frame; the view
    // writes its settings.
    int ExitInstance(int exitCode);

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }

private:
    std::unique_ptr<IUiServices> m_pOwnUi;
    IUiServices* m_pUi;
    // m_pUi with choosers starting in the last folder used; what the
    // windows speak through.
    std::unique_ptr<CLastFolderUi> m_pWindowUi;
    std::unique_ptr<IMessageSink> m_pMessageSink;
    std::unique_ptr<ScopedMessageSink> m_pSinkScope;
    std::unique_ptr<CMainFrame> m_pMainWnd;
};
