#include "app/RanvistaApp.h"

#include "viewer/QtUiServices.h"
#include "viewer/UiMessageSink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

ParsedCommandLine ParseCommandLine(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Ranvista: stereo rangefinder for rover images.");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption db("db", "Use STORE as the image database store file.", "STORE");
    parser.addOption(help);
    parser.addOption(db);
    parser.addPositionalArgument("left", "Left image of a pair to open at start-up.", "[LEFT");
    parser.addPositionalArgument("right", "Right image of the pair.", "RIGHT]");

    ParsedCommandLine out;
    if (!parser.parse(args)) {
        out.nExitCode = 2;
        out.sText = parser.errorText().toStdString() + "\n" + parser.helpText().toStdString();
        return out;
    }
    if (parser.isSet(help)) {
        out.sText = parser.helpText().toStdString();
        return out;
    }
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty() && files.size() != 2) {
        out.nExitCode = 2;
        out.sText =
            "Give both images of a pair, left then right.\n" + parser.helpText().toStdString();
        return out;
    }
    out.bRun = true;
    out.options.sStorePath = parser.value(db).toStdString();
    if (files.size() == 2) {
        out.options.sLeftFile = QDir::current().absoluteFilePath(files[0]).toStdString();
        out.options.sRightFile = QDir::current().absoluteFilePath(files[1]).toStdString();
    }
    return out;
}

CRanvistaApp::CRanvistaApp(IUiServices* ui) : m_pUi(ui) {
    if (m_pUi == nullptr) {
        m_pOwnUi = std::make_unique<CQtUiServices>();
        m_pUi = m_pOwnUi.get();
    }
}

CRanvistaApp::~CRanvistaApp() {
    ExitInstance(0);
}

bool CRanvistaApp::InitInstance(const StartupOptions& options) {
    if (m_sStartupDir.empty()) {
        m_sStartupDir = QDir::currentPath().toStdString();
    }
    QCoreApplication::setOrganizationName(CChildView::kSettingsName);
    QCoreApplication::setApplicationName(CChildView::kSettingsName);

    // What the core has to say shows as message boxes.
    m_pMessageSink = std::make_unique<CUiMessageSink>(*m_pUi);
    m_pSinkScope = std::make_unique<ScopedMessageSink>(m_pMessageSink.get());

    m_db.SetStorePath(options.sStorePath.empty() ? StorePathIn(m_sStartupDir) : options.sStorePath);
    m_pMainWnd = std::make_unique<CMainFrame>(*m_pUi, m_db);
    if (m_pOwnUi) {
        static_cast<CQtUiServices*>(m_pOwnUi.get())->SetParentWidget(m_pMainWnd.get());
    }
    m_pMainWnd->Create();
    CChildView& view = m_pMainWnd->View();
    view.SetCalcDialogFactory(MakeCalcDialogFactory(*m_pUi, m_db, m_pMainWnd.get()));
    m_pCommands =
        std::make_unique<CAppCommands>(view, m_db, *m_pUi, AppCommandOptions{options.sUpdateUrl});
    view.SetAppCommands(m_pCommands.get());
    m_pMainWnd->showMaximized();
    if (!options.sLeftFile.empty() && !options.sRightFile.empty()) {
        m_pMainWnd->View().OpenPairFiles(options.sLeftFile, options.sRightFile);
    }
    return true;
}

int CRanvistaApp::ExitInstance(int exitCode) {
    if (m_pMainWnd) {
        m_pMainWnd->View().SetAppCommands(nullptr);
    }
    m_pMainWnd.reset();
    m_pCommands.reset();
    return exitCode;
}
