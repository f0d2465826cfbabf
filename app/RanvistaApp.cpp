#include "app/RanvistaApp.h"

#include "app/MeasurementDock.h"
#include "app/WindowState.h"
#include "base/ClosestName.h"
#include "ui/QtUiServices.h"
#include "ui/UiMessageSink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#ifndef RANVISTA_VERSION
#define RANVISTA_VERSION "unknown"
#endif

namespace {

// The parser's help names the program by its file, or by a placeholder
// before the application object exists; it is always "ranvista".
std::string HelpText(const QCommandLineParser& parser) {
    std::string text = parser.helpText().toStdString();
    const std::string usage = "Usage: ";
    const size_t options = text.find(" [options]");
    if (text.compare(0, usage.size(), usage) == 0 && options != std::string::npos) {
        text.replace(usage.size(), options - usage.size(), "ranvista");
    }
    return text;
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Ranvista: stereo rangefinder for rover images.");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the version.");
    const QCommandLineOption db("db", "Use STORE as the image database store file.", "STORE");
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(db);
    parser.addPositionalArgument(
        "left",
        "Left image of a pair to open at start-up, or one image alone: an image, a PDS3, "
        "VICAR or PDS4 product, or a raw image's JSON record.",
        "[LEFT");
    parser.addPositionalArgument("right", "Right image of the pair.", "[RIGHT]]");

    ParsedCommandLine out;
    if (!parser.parse(args)) {
        out.nExitCode = 2;
        out.sText = parser.errorText().toStdString();
        if (!parser.unknownOptionNames().isEmpty()) {
            const std::string typed = parser.unknownOptionNames().front().toStdString();
            if (const auto near = ClosestName(typed, {"db", "help", "version"})) {
                out.sText.append(" Did you mean --").append(*near).append("?");
            }
        }
        out.sText.append("\n").append(HelpText(parser));
        return out;
    }
    if (parser.isSet(help)) {
        out.sText = HelpText(parser) +
                    "\nRanvista's image database store is ImgBinDat in the folder it is started "
                    "in,\nunless --db names another. See ranvista(1) and ranvista-cli(1).\n";
        return out;
    }
    if (parser.isSet(version)) {
        out.sText = "ranvista " RANVISTA_VERSION "\n";
        return out;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 2) {
        out.nExitCode = 2;
        out.sText =
            "Give one image, or both images of a pair, left then right.\n" + HelpText(parser);
        return out;
    }
    out.bRun = true;
    out.options.sStorePath = parser.value(db).toStdString();
    if (!files.isEmpty()) {
        out.options.sLeftFile = QDir::current().absoluteFilePath(files[0]).toStdString();
    }
    if (files.size() == 2) {
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
    {
        QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
        const QString lastFolder =
            settings.value(QString(CChildView::kSettingsName) + "/m_sFilePath").toString();
        m_pWindowUi = std::make_unique<CLastFolderUi>(*m_pUi, lastFolder.toStdString());
    }
    m_pMainWnd = std::make_unique<CMainFrame>(*m_pWindowUi, m_db);
    if (m_pOwnUi) {
        static_cast<CQtUiServices*>(m_pOwnUi.get())->SetParentWidget(m_pMainWnd.get());
    }
    m_pMainWnd->Create(!options.sStorePath.empty(), AppCommandOptions{options.sUpdateUrl});
    m_pMainWnd->Controller().SetCalcDialogFactory(
        MakeCalcDialogFactory(*m_pWindowUi, m_pMainWnd.get()));
    {
        QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
        ShowMainWindow(*m_pMainWnd, settings);
    }
    // Every change of the measurements is kept in the user's state folder
    // until a clean close; a run that ended otherwise left one to restore.
    if (CMeasurementDock* dock = m_pMainWnd->MeasurementDock()) {
        dock->SetAutosavePath(DefaultAutosavePath());
        dock->OfferRestore();
    }
    if (!options.sLeftFile.empty() && !options.sRightFile.empty()) {
        m_pMainWnd->Controller().OpenPairFiles(options.sLeftFile, options.sRightFile);
    } else if (!options.sLeftFile.empty()) {
        m_pMainWnd->Controller().OpenImageFile(options.sLeftFile);
    }
    return true;
}

int CRanvistaApp::ExitInstance(int exitCode) {
    if (m_pMainWnd) {
        QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
        SaveMainWindow(*m_pMainWnd, settings);
    }
    m_pMainWnd.reset();
    return exitCode;
}
