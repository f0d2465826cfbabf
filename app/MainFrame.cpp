#include "app/MainFrame.h"

#include "app/MeasurementDock.h"
#include "app/PairController.h"
#include "app/StatusProgress.h"
#include "app/ToolBarIcons.h"
#include "viewer/CommandIds.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace {
// The tool-bar buttons have no tool tips: the prompts of their commands hold
// no tool-tip part.
class CNoToolTips : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};
} // namespace

CMainFrame::CMainFrame(IUiServices& ui, ImageDatabase& db, QWidget* parent)
    : QMainWindow(parent), m_ui(ui), m_db(db) {
    setWindowTitle(CChildView::kBaseTitle);
}

CMainFrame::~CMainFrame() {
    // The widgets draw and edit the controller's document: they go first.
    delete m_pMeasurementDock;
    delete m_wndView;
}

void CMainFrame::Create(bool storeNamed, const AppCommandOptions& options) {
    m_pController = std::make_unique<CPairController>(m_ui, m_db);
    m_wndView = new CChildView(m_ui, m_pController->Document(), this);
    m_pController->SetView(*m_wndView);
    m_pCommands = std::make_unique<CAppCommands>(*m_wndView, *m_pController, m_db, m_ui, options);
    setCentralWidget(m_wndView);
    // Focus given to the frame goes straight to the view, so keys reach it.
    setFocusProxy(m_wndView);
    m_pController->LoadStore(storeNamed);
    CreateMenus();
    m_pMeasurementDock = InstallMeasurementWorkspace(*this, m_ui, m_db, *m_wndView, *m_pController);
    CreateToolBar();
    CreateStatusBar();
    m_wndView->SetStatusSink([this](const std::string& text) {
        statusBar()->showMessage(QString::fromStdString(text));
    });
    m_wndView->SetBackgroundProgressSink([this](const std::string& title, int maximum) {
        return m_pProgressPane->Begin(title, maximum);
    });
    if (!m_wndView->StatusText().empty()) {
        statusBar()->showMessage(QString::fromStdString(m_wndView->StatusText()));
    }
    m_wndView->UpdateTitle();
    UpdateCommandUI();
    m_wndView->setFocus();
    // A new title means a new pair (or a swapped one) for Recent Pairs.
    connect(this, &QWidget::windowTitleChanged, this, &CMainFrame::RememberOpenPair);
    // One image or a pair: the commands follow.
    connect(this, &QWidget::windowTitleChanged, this, &CMainFrame::UpdateCommandUI);
}

QAction* CMainFrame::AddCommand(QMenu* menu, int nId, const QString& text, const QString& prompt,
                                std::function<void()> run) {
    auto* action = new QAction(text, this);
    action->setData(nId);
    // A prompt's text after a line break is a tool tip; the status bar shows
    // the part before it.
    const QString statusText = prompt.section('\n', 0, 0);
    if (!statusText.isEmpty()) {
        action->setStatusTip(statusText);
    }
    connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
        run();
        UpdateCommandUI();
    });
    menu->addAction(action);
    m_actions[nId] = action;
    return action;
}

QAction* CMainFrame::AddToggle(QMenu* menu, int nId, const QString& text, const QString& prompt,
                               std::function<void()> run, std::function<bool()> checked) {
    QAction* action = AddCommand(menu, nId, text, prompt, std::move(run));
    action->setCheckable(true);
    action->setChecked(checked());
    m_checks[nId] = std::move(checked);
    return action;
}

void CMainFrame::CreateMenus() {
    CChildView* v = m_wndView;
    CPairController* c = m_pController.get();
    CAppCommands* app = m_pCommands.get();
    QMenu* file = menuBar()->addMenu("&File");
    AddCommand(file, ID_OPEN_STEREO_PAIR, "Open Stereo Pair", "Open Stereo Pair",
               [c] { c->OnOpenStereoPair(); });
    AddCommand(file, ID_OPEN_IMAGE, "Open Image",
               "Open one image alone: a click measures on the ground", [c] { c->OnOpenImage(); });
    CreateRecentPairsMenu(file, file->addSeparator());
    AddCommand(file, ID_SAVE_CALCULATION_RESULTS, "Save Calculation Results",
               "Saves all calculation results", [app] { app->SaveCalculationResults(); });
    AddCommand(file, ID_SAVE_VERTEX_RESULTS, "Save Vertex Results", {},
               [app] { app->SaveVertexResults(); });
    AddCommand(file, ID_TRANSFORM_VERTEX_FILES, "Transform vertex files",
               "Transform vertex file to reference vertex file's frame",
               [app] { app->TransformVertexFiles(); });
    file->addSeparator();
    QMenu* database = file->addMenu("Database");
    AddCommand(database, ID_UPDATE_IMAGE_DATABASE, "Update Image Database (web update)",
               "Requires an open web connection.  Imports latest database from RVS homepage.",
               [app] { app->UpdateImageDatabase(); });
    database->addSeparator();
    AddCommand(database, ID_IMPORT_IMAGE_DATABASE, "Import Image Database File",
               "If successful, will apply database transformations to calculation results",
               [app] { app->ImportImageDatabase(); });
    AddCommand(database, ID_INITIALIZE_IMAGE_DATABASE, "Initialize Image Database File",
               "Use only if database is corrupt; replaces existing data with data from file(s)",
               [app] { app->InitializeImageDatabase(); });
    file->addSeparator();
    AddCommand(file, ID_AUTO_DETECT_VERTEX_PAIRS, "Auto-Detect Vertex Pairs",
               "Finds corners in the visible part of the left image, matches each in the right "
               "image and measures them",
               [c] { c->OnAutoDetectVertexPairs(); });
    file->addSeparator();
    AddCommand(file, ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit",
               [this] { close(); });

    QMenu* view = menuBar()->addMenu("&View");
    AddCommand(view, ID_VIEW_RESET, "Reset", {}, [v] { v->OnReset(); });
    AddZoomCommands(view);
    AddToggle(
        view, ID_SHOW_CALC_CONTROL, "Show Calc Control", {}, [c] { c->OnShowCalcControl(); },
        [c] { return c->IsCalcDialogOpen(); });
    AddCommand(view, ID_SWAP_IMAGES, "Swap Left/Right Images", "Swap Left-Right",
               [c] { c->OnSwapImages(); });
    AddToggle(
        view, ID_VERTEX_INDICES, "Vertex Indices", {}, [v] { v->OnVertexIndices(); },
        [v] { return v->VertexIndicesShown(); });
    AddToggle(
        view, ID_EPIPOLAR_CURVE, "Epipolar Curve",
        "Shows where in the other image the partner of a mark can lie",
        [v] { v->OnEpipolarCurve(); }, [v] { return v->EpipolarCurveShown(); });
    AddToggle(
        view, ID_AUTO_MATCH, "Auto-Match", "A click finds its partner in the other image",
        [v] { v->OnAutoMatch(); }, [v] { return v->AutoMatch(); });
    AddToggle(
        view, ID_ERROR_ELLIPSES, "Error Ellipses",
        "Draws each measurement's 1-sigma error ellipse around its marks",
        [v] { v->OnErrorEllipses(); }, [v] { return v->ErrorEllipsesShown(); });
    m_pOpacityMenu = AddStereoCommands(view);
    view->addSeparator();
    AddToggle(
        view, ID_DISABLE_BEEPS, "Disable Beep Notifications", "Check to disable beeps",
        [v] { v->OnDisableBeeps(); }, [v] { return v->BeepsDisabled(); });
    AddCommand(view, ID_IMAGE_DATABASE_INFO, "Image Database Information", {},
               [app] { app->ShowImageDatabaseInfo(); });
    view->addSeparator();
    AddToggle(
        view, ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar",
        [this] { m_wndToolBar->setVisible(!m_wndToolBar->isVisible()); },
        [this] { return m_wndToolBar != nullptr && !m_wndToolBar->isHidden(); });
    AddToggle(
        view, ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle StatusBar",
        [this] { statusBar()->setVisible(!statusBar()->isVisible()); },
        [this] { return !statusBar()->isHidden(); });
    AddCommand(view, ID_AUTO_REGISTER_VERTICES, "Automatically Register Vertices",
               "Attempts to determine corresponding vertices in both images - slow and error "
               "prone, but maybe useful",
               [app] { app->RegisterVertices(); });

    QMenu* help = menuBar()->addMenu("&Help");
    CreateHelpItem(help);
    AddCommand(help, ID_APP_ABOUT, "About Ranvista", {}, [app] { app->About(); });

    for (QMenu* menu : {file, database, view, m_pOpacityMenu, help}) {
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
}

void CMainFrame::CreateToolBar() {
    m_wndToolBar = new QToolBar("Standard", this);
    m_wndToolBar->setObjectName("Standard");
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_actions[ID_OPEN_STEREO_PAIR]->setIcon(OpenStereoPairIcon());
    m_actions[ID_SWAP_IMAGES]->setIcon(SwapImagesIcon());
    m_wndToolBar->addAction(m_actions[ID_OPEN_STEREO_PAIR]);
    m_wndToolBar->addAction(m_actions[ID_SWAP_IMAGES]);
    auto* noToolTips = new CNoToolTips(m_wndToolBar);
    for (QAction* button : m_wndToolBar->actions()) {
        m_wndToolBar->widgetForAction(button)->installEventFilter(noToolTips);
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    // The message pane: "Ready", replaced by a command's prompt while its menu
    // item or button is highlighted.
    m_pMessagePane = new QLabel(kReady, bar);
    bar->addWidget(m_pMessagePane, 1);
    m_pProgressPane = new CStatusProgressPane(bar);
    bar->addPermanentWidget(m_pProgressPane);
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(indicator, bar);
        pane->setObjectName(indicator);
        pane->setAlignment(Qt::AlignCenter);
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
    }
}

QAction* CMainFrame::Action(int nId) const {
    const auto it = m_actions.find(nId);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::UpdateCommandUI() {
    if (m_wndView == nullptr) {
        return;
    }
    for (auto& [id, action] : m_actions) {
        // Every command has a handler, so every item is enabled once its
        // menu opens.
        action->setEnabled(true);
        if (const auto check = m_checks.find(id); check != m_checks.end()) {
            action->setChecked(check->second());
        }
    }
    DisableStereoCommandsForOneImage();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_pCommands != nullptr && !m_pCommands->CanClose()) {
        event->ignore();
        return;
    }
    // A clean close: nothing for the next start to restore.
    if (m_pMeasurementDock != nullptr) {
        m_pMeasurementDock->RemoveAutosave();
    }
    QMainWindow::closeEvent(event);
}
