// The application object: start-up, the main frame and shut-down.
#pragma once

#include "app/AppCommands.h"
#include "app/LastFolderUi.h"
#include "app/MainFrame.h"
#include "app/PairController.h"
#include "base/Messages.h"
#include "imagedb/ImageDatabase.h"
#include "ui/UiServices.h"
#include "viewer/ChildView.h"

#include <QStringList>

#include <memory>
#include <string>

struct StartupOptions {
    std::string sStorePath; // empty: ImgBinDat in the start-up folder
    std::string sUpdateUrl; // empty: the built-in web update address
    std::string sLeftFile;  // both set: the pair opened at start-up; left alone: one image
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

// How the Analyse dialog is made for the pair's controller: a window of its
// own, kept above owner, that speaks to the user through ui.
CPairController::CalcDialogFactory MakeCalcDialogFactory(IUiServices& ui, QWidget* owner);

class CRanvistaApp {
public:
    // ui: the user-facing services; nullptr uses the Qt ones.
    explicit CRanvistaApp(IUiServices* ui = nullptr);
    ~CRanvistaApp();
    CRanvistaApp(const CRanvistaApp&) = delete;
    CRanvistaApp& operator=(const CRanvistaApp&) = delete;

    // Start-up: the start-up folder (the current one, unless set before),
    // settings names, main frame with the view (which reads the settings and
    // loads the image database), shown as it was left (or maximised at
    // first); then the pair of the command line, if any.
    bool InitInstance(const StartupOptions& options = {});
    // Saves the main window's place, closes down the main frame; the view
    // writes its settings.
    int ExitInstance(int exitCode);

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }
    ImageDatabase& Database() { return m_db; }
    CAppCommands* Commands() const { return m_pMainWnd ? &m_pMainWnd->Commands() : nullptr; }
    // The folder the program was started in; the image database store lives
    // there unless the command line names one.
    const std::string& StartupDir() const { return m_sStartupDir; }
    void SetStartupDir(std::string folder) { m_sStartupDir = std::move(folder); }

private:
    std::unique_ptr<IUiServices> m_pOwnUi;
    IUiServices* m_pUi;
    // m_pUi with choosers starting in the last folder used; what the
    // windows speak through.
    std::unique_ptr<CLastFolderUi> m_pWindowUi;
    std::unique_ptr<IMessageSink> m_pMessageSink;
    std::unique_ptr<ScopedMessageSink> m_pSinkScope;
    std::string m_sStartupDir;
    ImageDatabase m_db;
    std::unique_ptr<CMainFrame> m_pMainWnd;
};
