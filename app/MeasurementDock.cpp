#include "app/MeasurementDock.h"

#include "app/PairController.h"

#include "base/AtomicFile.h"
#include "geometry/PointGeometry.h"
#include "imagedb/ImageDatabase.h"
#include "session/MeasurementExport.h"
#include "ui/UiServices.h"
#include "viewer/ChildView.h"
#include "viewer/Image.h"
#include "viewer/OneImageView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QTableView>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <filesystem>
#include <signal.h>

namespace {

// The settings key of the ground plane's height sigma (metres).
constexpr const char* kGroundSigmaKey = "m_dGroundHeightSigmaM";

class DeleteCommand : public QUndoCommand {
public:
    DeleteCommand(CMeasurementDock& dock, MeasurementSession& session,
                  std::vector<std::size_t> rows)
        : m_dock(dock), m_session(session), m_rows(std::move(rows)) {
        std::sort(m_rows.rbegin(), m_rows.rend());
        setText(m_rows.size() == 1 ? QStringLiteral("Delete Measurement")
                                   : QStringLiteral("Delete %1 Measurements").arg(m_rows.size()));
    }
    void redo() override {
        m_removed.clear();
        for (const std::size_t row : m_rows) {
            if (auto r = m_session.Remove(row)) {
                m_removed.push_back(std::move(*r));
            }
        }
        m_dock.Refresh();
    }
    void undo() override {
        for (auto it = m_removed.rbegin(); it != m_removed.rend(); ++it) {
            m_session.Restore(*it);
        }
        m_removed.clear();
        m_dock.Refresh();
    }

private:
    CMeasurementDock& m_dock;
    MeasurementSession& m_session;
    std::vector<std::size_t> m_rows; // descending
    std::vector<MeasurementSession::RemovedMeasurement> m_removed;
};

class NoteCommand : public QUndoCommand {
public:
    NoteCommand(CMeasurementDock& dock, MeasurementSession& session, std::size_t row,
                std::string note)
        : QUndoCommand(QStringLiteral("Edit Note")), m_dock(dock), m_session(session), m_row(row),
          m_new(std::move(note)), m_old(session.Measurements().at(row).note) {}
    void redo() override {
        m_session.SetNote(m_row, m_new);
        m_dock.Refresh();
    }
    void undo() override {
        m_session.SetNote(m_row, m_old);
        m_dock.Refresh();
    }

private:
    CMeasurementDock& m_dock;
    MeasurementSession& m_session;
    std::size_t m_row;
    std::string m_new;
    std::string m_old;
};

// Measurements appended in one step (Auto-Detect Vertex Pairs), already in
// the session when pushed: undo takes them all back, redo puts them back.
class AppendCommand : public QUndoCommand {
public:
    AppendCommand(CMeasurementDock& dock, MeasurementSession& session, std::size_t first,
                  std::size_t count, const QString& what)
        : QUndoCommand(what), m_dock(dock), m_session(session), m_first(first), m_count(count) {}
    void redo() override {
        if (m_bFirst) {
            m_bFirst = false;
            return;
        }
        for (auto it = m_removed.rbegin(); it != m_removed.rend(); ++it) {
            m_session.Restore(*it);
        }
        m_removed.clear();
        m_dock.Refresh();
    }
    void undo() override {
        m_removed.clear();
        for (std::size_t i = m_count; i-- > 0;) {
            if (auto r = m_session.Remove(m_first + i)) {
                m_removed.push_back(std::move(*r));
            }
        }
        m_dock.Refresh();
    }

private:
    CMeasurementDock& m_dock;
    MeasurementSession& m_session;
    std::size_t m_first;
    std::size_t m_count;
    std::vector<MeasurementSession::RemovedMeasurement> m_removed; // last row first
    bool m_bFirst = true;
};

// A double-click re-selection, already done by the controller when pushed.
class ReselectCommand : public QUndoCommand {
public:
    ReselectCommand(CMeasurementDock& dock, CPairController& controller, std::size_t row,
                    MeasurementSession::CurrentMarks before)
        : QUndoCommand(QStringLiteral("Re-select Measurement")), m_dock(dock),
          m_controller(controller), m_row(row), m_before(std::move(before)) {}
    void redo() override {
        if (m_bFirst) {
            m_bFirst = false;
            return;
        }
        MeasurementSession& s = m_controller.Document().Session();
        m_before = s.CurrentMarkState();
        if (const auto mark = s.MarkIndexOfRow(m_row); mark && s.Reselect(*mark)) {
            m_controller.ShowReselectedMarks();
        }
        m_dock.Refresh();
    }
    void undo() override {
        m_controller.Document().Session().ReturnMarks(m_row, m_before);
        m_dock.Refresh();
    }

private:
    CMeasurementDock& m_dock;
    CPairController& m_controller;
    std::size_t m_row;
    MeasurementSession::CurrentMarks m_before;
    bool m_bFirst = true;
};

constexpr const char* kClosedByUserKey = "MeasurementTableClosed";

Covariance3 CovarianceOf(const MeasurementRecord& r) {
    return r.uncertainty ? r.uncertainty->covarianceM2 : Covariance3{};
}

QString WithSigma(const ValueWithSigma& v, const char* unit, int precision) {
    return QStringLiteral("%1 ± %2 %3")
        .arg(v.value, 0, 'f', precision)
        .arg(v.sigma, 0, 'f', precision)
        .arg(QString::fromUtf8(unit));
}

} // namespace

CMeasurementDock::CMeasurementDock(IUiServices& ui, ImageDatabase& db, CChildView& view,
                                   CPairController& controller, QWidget* parent)
    : QDockWidget(QStringLiteral("Measurements"), parent), m_ui(ui), m_db(db), m_view(view),
      m_controller(controller) {
    setObjectName(QStringLiteral("MeasurementDock"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    m_pModel = new CMeasurementTableModel(controller.Document().Session(), this);
    m_pModel->SetNoteEditor(
        [this](std::size_t row, const std::string& note) { EditNote(row, note); });
    m_pProxy = new QSortFilterProxyModel(this);
    m_pProxy->setSourceModel(m_pModel);
    m_pProxy->setSortRole(CMeasurementTableModel::SortRole);
    m_pTable = new QTableView(body);
    m_pTable->setModel(m_pProxy);
    m_pTable->setSortingEnabled(true);
    m_pTable->sortByColumn(CMeasurementTableModel::kIndex, Qt::AscendingOrder);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTable->verticalHeader()->hide();
    layout->addWidget(m_pTable, 1);
    m_pPanel = new QLabel(body);
    m_pPanel->setObjectName(QStringLiteral("ComparisonPanel"));
    m_pPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pPanel->setWordWrap(true);
    layout->addWidget(m_pPanel);
    auto* copy = new QPushButton(QStringLiteral("Copy"), body);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(ComparisonText()); });
    layout->addWidget(copy);
    // The uncertainty of a clicked mark, for the uncertainty of the
    // measurements to come (a matched mark brings its own).
    auto* sigmaRow = new QHBoxLayout();
    auto* sigmaLabel = new QLabel(QStringLiteral("Click uncertainty (px):"), body);
    m_pClickSigma = new QDoubleSpinBox(body);
    m_pClickSigma->setObjectName(QStringLiteral("ClickSigma"));
    m_pClickSigma->setDecimals(2);
    m_pClickSigma->setRange(0.01, 10.0);
    m_pClickSigma->setSingleStep(0.05);
    m_pClickSigma->setValue(m_view.ClickSigmaPx());
    m_pClickSigma->setToolTip(
        QStringLiteral("1-sigma of each coordinate of a clicked mark, for the uncertainty of new "
                       "measurements; an auto-matched mark carries the matcher's own"));
    sigmaLabel->setBuddy(m_pClickSigma);
    connect(m_pClickSigma, &QDoubleSpinBox::valueChanged, this,
            [this](double px) { m_controller.SetClickSigmaPx(px); });
    sigmaRow->addWidget(sigmaLabel);
    sigmaRow->addWidget(m_pClickSigma);
    // The height uncertainty of the ground plane that one image's clicks
    // meet where no range map or fitted plane serves.
    auto* groundLabel = new QLabel(QStringLiteral("Ground height sigma (m):"), body);
    m_pGroundSigma = new QDoubleSpinBox(body);
    m_pGroundSigma->setObjectName(QStringLiteral("GroundSigma"));
    m_pGroundSigma->setDecimals(3);
    m_pGroundSigma->setRange(0.0, 10.0);
    m_pGroundSigma->setSingleStep(0.01);
    {
        QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
        settings.beginGroup(CChildView::kSettingsName);
        // A value the box cannot show (edited by hand) leaves the default.
        bool ok = false;
        const double m = settings.value(kGroundSigmaKey).toDouble(&ok);
        if (ok && m <= m_pGroundSigma->maximum()) {
            m_controller.Document().SetGroundHeightSigmaM(m);
        }
    }
    m_pGroundSigma->setValue(m_controller.Document().GroundHeightSigmaM());
    m_pGroundSigma->setToolTip(QStringLiteral(
        "1-sigma of the ground plane's height (the ground under the vehicle frame's origin) for "
        "the monoscopic measurements to come of one image alone"));
    groundLabel->setBuddy(m_pGroundSigma);
    connect(m_pGroundSigma, &QDoubleSpinBox::valueChanged, this, [this](double m) {
        if (m_controller.Document().SetGroundHeightSigmaM(m)) {
            QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
            settings.beginGroup(CChildView::kSettingsName);
            settings.setValue(kGroundSigmaKey, m);
        }
    });
    sigmaRow->addWidget(groundLabel);
    sigmaRow->addWidget(m_pGroundSigma);
    sigmaRow->addStretch(1);
    layout->addLayout(sigmaRow);
    setWidget(body);

    m_pUndo = new QUndoStack(this);
    auto* del = new QAction(QStringLiteral("Delete Measurement"), this);
    del->setShortcut(QKeySequence::Delete);
    del->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(del, &QAction::triggered, this, &CMeasurementDock::DeleteSelected);
    addAction(del);
    // Undo and Redo work wherever the focus is in the window (a re-selection
    // is made in the view), and in the table when it floats on its own.
    m_pUndoAction = m_pUndo->createUndoAction(this);
    m_pUndoAction->setShortcut(QKeySequence::Undo);
    m_pUndoAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_pUndoAction);
    m_pRedoAction = m_pUndo->createRedoAction(this);
    m_pRedoAction->setShortcut(QKeySequence::Redo);
    m_pRedoAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_pRedoAction);

    connect(m_pTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CMeasurementDock::OnSelectionChanged);
    connect(&m_view, &CChildView::MarkPicked, this, &CMeasurementDock::OnMarkPicked);
    connect(&m_view, &CChildView::MarkHovered, this, &CMeasurementDock::OnMarkHovered);
    connect(&m_controller, &CPairController::MeasurementReselected, this,
            &CMeasurementDock::OnReselected);
    {
        QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
        settings.beginGroup(CChildView::kSettingsName);
        m_bClosedByUser = settings.value(kClosedByUserKey, 0).toInt() != 0;
    }
    connect(toggleViewAction(), &QAction::triggered, this,
            [this](bool shown) { SetClosedByUser(!shown); });
    // Calculations and new pairs happen in the open pair's document, which
    // says when; the table follows (the session's revision says what is new).
    connect(&m_controller, &CPairController::MeasurementsChanged, this, &CMeasurementDock::Refresh);
    // Appended in one step (a click on the range map, Auto-Detect): one undo.
    const auto appended = [this](std::size_t first, std::size_t count, const QString& what) {
        m_pUndo->push(
            new AppendCommand(*this, m_controller.Document().Session(), first, count, what));
        Refresh();
    };
    connect(&m_controller, &CPairController::MeasurementsAppended, this, appended);
    m_controller.SetLeavePairCheck([this] { return CanLeavePair(); });
    Refresh();
}

CMeasurementDock::~CMeasurementDock() = default;

void CMeasurementDock::Refresh() {
    const std::size_t revision = m_controller.Document().Session().Revision();
    if (revision != m_nShownRevision) {
        const auto selected = SelectedRows();
        m_pModel->Follow();
        m_nShownRevision = revision;
        std::vector<std::size_t> still;
        for (const std::size_t r : selected) {
            if (r < m_controller.Document().Session().Measurements().size()) {
                still.push_back(r);
            }
        }
        m_bFollowingSession = true;
        SelectRows(still);
        m_bFollowingSession = false;
        m_view.SetHighlightedRows(SelectedRows());
        m_view.Repaint();
        // The table comes with the first measurements, unless the user closed it.
        if (isHidden() && !m_bClosedByUser &&
            !m_controller.Document().Session().Measurements().empty()) {
            show();
        }
    }
    UpdatePanel();
    if (revision != m_nAutosavedRevision) {
        WriteAutosave();
        m_nAutosavedRevision = revision;
    }
}

std::vector<std::size_t> CMeasurementDock::SelectedRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& i : m_pTable->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(m_pProxy->mapToSource(i).row()));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CMeasurementDock::SelectRows(const std::vector<std::size_t>& rows) {
    QItemSelection selection;
    for (const std::size_t r : rows) {
        const QModelIndex i = m_pProxy->mapFromSource(m_pModel->index(static_cast<int>(r), 0));
        selection.select(i, i);
    }
    m_pTable->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
}

void CMeasurementDock::OnSelectionChanged() {
    const auto rows = SelectedRows();
    m_view.SetHighlightedRows(rows);
    if (!m_bFollowingSession) {
        m_view.ShowMarksOfRows(rows);
    }
    UpdatePanel();
}

void CMeasurementDock::OnMarkPicked(std::size_t row, bool add) {
    auto rows = add ? SelectedRows() : std::vector<std::size_t>{};
    const auto at = std::find(rows.begin(), rows.end(), row);
    if (at != rows.end()) {
        rows.erase(at);
    } else {
        rows.push_back(row);
    }
    SelectRows(rows);
    OnMarkHovered(row);
}

void CMeasurementDock::OnMarkHovered(std::size_t row) {
    const QModelIndex i = m_pProxy->mapFromSource(m_pModel->index(static_cast<int>(row), 0));
    if (i.isValid()) {
        m_pTable->selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
        m_pTable->scrollTo(i);
    }
}

void CMeasurementDock::OnReselected(std::size_t row,
                                    const MeasurementSession::CurrentMarks& before) {
    m_pUndo->push(new ReselectCommand(*this, m_controller, row, before));
    Refresh();
}

void CMeasurementDock::SetClosedByUser(bool closed) {
    m_bClosedByUser = closed;
    QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
    settings.beginGroup(CChildView::kSettingsName);
    settings.setValue(kClosedByUserKey, closed ? 1 : 0);
}

void CMeasurementDock::closeEvent(QCloseEvent* event) {
    SetClosedByUser(true);
    QDockWidget::closeEvent(event);
}

void CMeasurementDock::DeleteSelected() {
    const auto rows = SelectedRows();
    if (!rows.empty()) {
        m_pUndo->push(new DeleteCommand(*this, m_controller.Document().Session(), rows));
    }
}

void CMeasurementDock::EditNote(std::size_t row, const std::string& note) {
    if (row < m_controller.Document().Session().Measurements().size()) {
        m_pUndo->push(new NoteCommand(*this, m_controller.Document().Session(), row, note));
    }
}

QString CMeasurementDock::ComparisonText() const {
    const auto rows = SelectedRows();
    const auto& all = m_controller.Document().Session().Measurements();
    if (rows.size() == 2) {
        const MeasurementRecord& a = all[rows[0]];
        const MeasurementRecord& b = all[rows[1]];
        const PointPairResult r =
            ComparePoints(a.position, CovarianceOf(a), b.position, CovarianceOf(b));
        return QStringLiteral("From #%1 to #%2\nDistance: %3\nHorizontal: %4\nHeight "
                              "difference: %5\nSlope: %6\nBearing: %7")
            .arg(a.index)
            .arg(b.index)
            .arg(WithSigma(r.distanceM, "m", 4), WithSigma(r.horizontalDistanceM, "m", 4),
                 WithSigma(r.heightDifferenceM, "m", 4), WithSigma(r.slopeDeg, "deg", 2),
                 WithSigma(r.bearingDeg, "deg", 2));
    }
    if (rows.size() >= 3) {
        std::vector<CPoint3D> points;
        for (const std::size_t r : rows) {
            points.push_back(all[r].position);
        }
        const PlaneFitResult fit = FitPlane(points);
        if (!fit.ok) {
            return QString::fromStdString(fit.message);
        }
        return QStringLiteral("Plane through %1 points\nDip: %2 deg\nDip direction: %3 deg\n"
                              "RMS distance: %4 m")
            .arg(points.size())
            .arg(fit.dipDeg, 0, 'f', 2)
            .arg(fit.dipDirectionDeg, 0, 'f', 2)
            .arg(fit.rmsDistanceM, 0, 'f', 4);
    }
    return QStringLiteral("Select two measurements for distance and slope, three or more for "
                          "a plane.");
}

void CMeasurementDock::UpdatePanel() {
    m_pPanel->setText(ComparisonText());
}

SessionDocument CMeasurementDock::Document() const {
    SessionDocument doc;
    const MeasurementSession& s = m_controller.Document().Session();
    doc.leftImage = s.LeftFile();
    doc.rightImage = s.RightFile();
    // The database and the options the measurements were made with, so that
    // opening the session calculates them the same way.
    doc.database = m_db.StorePath();
    if (const ICalcDialog* dlg = m_controller.CalcDialog()) {
        doc.options = dlg->CurrentOptions().value_or(CalcOptions{});
    }
    doc.pixelSigmas = {m_view.ClickSigmaPx(), m_view.ClickSigmaPx()};
    doc.measurements = s.Measurements();
    return doc;
}

namespace {

bool WriteOrSay(IUiServices& ui, const std::string& path, const std::string& bytes) {
    std::string error;
    if (!WriteFileAtomically(path, bytes, &error)) {
        ui.ShowMessage("Unable to save " + path + ": " + error);
        return false;
    }
    return true;
}

FileChooserRequest SaveRequest(const std::string& title, const std::string& filter,
                               const std::string& suffix) {
    FileChooserRequest r;
    r.title = title;
    r.filter = filter;
    r.confirmOverwrite = true;
    r.defaultSuffix = suffix;
    return r;
}

} // namespace

bool CMeasurementDock::ExportCsv() {
    const std::string path =
        m_ui.ChooseSaveFile(SaveRequest("Export Measurements", "CSV Files (*.csv)|*.csv||", "csv"));
    return !path.empty() &&
           WriteOrSay(m_ui, path,
                      MeasurementsCsv(m_controller.Document().Session().Measurements()));
}

bool CMeasurementDock::ExportPly(bool binary) {
    const std::string path =
        m_ui.ChooseSaveFile(SaveRequest("Export Measurements", "PLY Files (*.ply)|*.ply||", "ply"));
    if (path.empty()) {
        return false;
    }
    // Coloured from the left image at each left pixel; with one image shown
    // alone, from that image, where its monoscopic rows were clicked.
    std::vector<Rgb> colours;
    const auto& rows = m_controller.Document().Session().Measurements();
    const CImage* left = m_view.IsOneImage() && m_view.OneImage() != nullptr
                             ? m_view.OneImage()->Image()
                             : m_view.Image(ViewSide::Left);
    if (left != nullptr) {
        const QImage& pixels = left->Pixels();
        for (const MeasurementRecord& r : rows) {
            const QPoint p(static_cast<int>(std::lround(r.leftPixel.x)),
                           static_cast<int>(std::lround(r.leftPixel.y)));
            const QColor c = pixels.valid(p) ? pixels.pixelColor(p) : QColor(Qt::black);
            colours.push_back({static_cast<std::uint8_t>(c.red()),
                               static_cast<std::uint8_t>(c.green()),
                               static_cast<std::uint8_t>(c.blue())});
        }
    }
    return WriteOrSay(
        m_ui, path,
        MeasurementsPly(rows, colours,
                        binary ? PlyEncoding::BinaryLittleEndian : PlyEncoding::Ascii));
}

bool CMeasurementDock::SaveSession() {
    const std::string path = m_ui.ChooseSaveFile(
        SaveRequest("Save Session", "Ranvista Sessions (*.rvsession)|*.rvsession||", "rvsession"));
    if (path.empty() || !WriteOrSay(m_ui, path, SessionText(Document(), path))) {
        return false;
    }
    m_nSessionSavedRevision = m_controller.Document().Session().Revision();
    return true;
}

bool CMeasurementDock::CanLeavePair() {
    const std::size_t count = m_controller.Document().Session().Measurements().size();
    if (count == 0 || m_controller.Document().Session().Revision() == m_nSessionSavedRevision) {
        return true;
    }
    const auto choice = m_ui.AskSaveDiscardCancel(
        "The measurement table holds " + std::to_string(count) +
        " measurement(s) of the open pair that are not saved in a session.\nSave them as a "
        "session before another pair is opened? (The results log keeps them either way.)");
    if (choice == IUiServices::SaveChoice::Cancel) {
        return false;
    }
    return choice == IUiServices::SaveChoice::Discard || SaveSession();
}

bool CMeasurementDock::OpenSession() {
    FileChooserRequest r;
    r.title = "Open Session";
    r.filter = "Ranvista Sessions (*.rvsession)|*.rvsession||";
    const auto files = m_ui.ChooseOpenFiles(r);
    return !files.empty() && OpenSessionFile(files.front());
}

bool CMeasurementDock::OpenSessionFile(const std::string& path) {
    const SessionReadResult read = ReadSessionFile(path);
    if (!read.ok) {
        m_ui.ShowMessage("Unable to open " + path + ": " + read.message);
        return false;
    }
    LoadDocument(read.session, true);
    return true;
}

std::string CMeasurementDock::UseSessionDatabase(const SessionDocument& doc, bool& recalculate) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (doc.database.empty() ||
        (!m_db.StorePath().empty() && fs::equivalent(doc.database, m_db.StorePath(), ec))) {
        return {};
    }
    const std::string open = m_db.StorePath().empty() ? std::string("none") : m_db.StorePath();
    if (!fs::exists(doc.database, ec)) {
        // Measured again with another database, the points would move into
        // another frame: the saved results stay as they were.
        recalculate = false;
        return "The image database this session was measured with, " + doc.database +
               ", does not exist: its saved results are kept as they are. New measurements "
               "use the open database (" +
               open + ").";
    }
    ImageDatabase other;
    other.SetStorePath(doc.database);
    if (!other.LoadStore()) {
        recalculate = false;
        return "The image database this session was measured with, " + doc.database +
               ", cannot be read: its saved results are kept as they are.";
    }
    m_db = std::move(other);
    return "The image database this session was measured with is open now: " + doc.database;
}

void CMeasurementDock::LoadDocument(const SessionDocument& doc, bool recalculate) {
    // The session takes the place of the open pair's rows: asked once, here.
    if (!CanLeavePair()) {
        return;
    }
    m_nSessionSavedRevision = m_controller.Document().Session().Revision();
    // The database first: the pair's cameras are posed by its records.
    const std::string databaseNote = UseSessionDatabase(doc, recalculate);
    if (!doc.leftImage.empty() && !doc.rightImage.empty()) {
        m_controller.OpenPairFiles(doc.leftImage, doc.rightImage);
        // The measurements belong to the pair as opened (swapped if need be).
        m_controller.WaitForImages();
    } else if (!doc.leftImage.empty()) {
        m_controller.OpenImageFile(doc.leftImage); // a session of one image
    }
    MeasurementSession& s = m_controller.Document().Session();
    s.ClearForNewPair();
    // The session's click uncertainty is the one in force from now on, so
    // that it is saved with the session again.
    if (m_controller.SetClickSigmaPx(doc.pixelSigmas.leftPx)) {
        const QSignalBlocker quiet(m_pClickSigma); // the box shows it rounded
        m_pClickSigma->setValue(m_view.ClickSigmaPx());
    }
    std::vector<std::string> changes;
    if (recalculate) {
        const SessionRecalculationResult again = RecalculateSession(doc, m_db);
        changes = again.changes;
        for (const RecalculatedMeasurement& m : again.measurements) {
            s.Append(m.record);
        }
    } else {
        for (const MeasurementRecord& r : doc.measurements) {
            s.Append(r);
        }
    }
    m_pUndo->clear();
    m_controller.Document().Rebuild();
    m_controller.Document().Touch(PairDocument::Change::Measurements);
    m_nSessionSavedRevision = s.Revision();
    show();
    Refresh();
    // The marks of every measurement in sight.
    std::vector<std::size_t> all(s.Measurements().size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    m_view.ShowMarksOfRows(all);
    std::string text = databaseNote;
    if (!changes.empty()) {
        text += std::string(text.empty() ? "" : "\n\n") + "Some results changed on recalculation:";
        for (const std::string& c : changes) {
            text += "\n" + c;
        }
    }
    if (!text.empty()) {
        m_ui.ShowMessage(text);
    }
}

void CMeasurementDock::WriteAutosave() {
    if (!m_sAutosavePath.empty()) {
        m_autosave.Submit(m_sAutosavePath, Document());
    }
}

void CMeasurementDock::RemoveAutosave() {
    if (!m_sAutosavePath.empty()) {
        m_autosave.Remove(m_sAutosavePath);
    }
}

namespace {

// The process an autosave name belongs to: "autosave-<pid>.rvsession".
std::optional<long> AutosaveOwner(const std::string& name) {
    const std::string prefix = "autosave-";
    const std::string suffix = ".rvsession";
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return std::nullopt;
    }
    const std::string digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stol(digits);
}

// A process that no longer runs (a running one, or one of another user,
// keeps its autosave).
bool ProcessGone(long pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

void CMeasurementDock::OfferRestore() {
    if (m_sAutosavePath.empty()) {
        return;
    }
    // Every running Ranvista has an autosave of its own; one whose process
    // has gone was left by a crash.
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path own = fs::path(m_sAutosavePath);
    // A save killed half-way left its temporary, which no later save of
    // that (dead) run's autosave will clear.
    RemoveStaleTemporaries(own.parent_path().string());
    for (const fs::directory_entry& e : fs::directory_iterator(own.parent_path(), ec)) {
        const std::string name = e.path().filename().string();
        const auto owner = AutosaveOwner(name);
        if (e.path() == own || !owner || !ProcessGone(*owner)) {
            continue;
        }
        // Only a regular file: reading a FIFO of that name would block the
        // window before it is shown.
        if (std::error_code typeError;
            !fs::is_regular_file(fs::symlink_status(e.path(), typeError))) {
            continue;
        }
        const SessionReadResult read = ReadSessionFile(e.path().string());
        if (!read.ok || read.session.measurements.empty()) {
            continue;
        }
        const auto choice = m_ui.AskRestoreDiscardLater(
            "Ranvista did not close properly last time. " +
            std::to_string(read.session.measurements.size()) +
            " unsaved measurement(s) can be restored.\nRestore them, discard them or decide "
            "later?");
        if (choice == IUiServices::RestoreChoice::Later) {
            return;
        }
        if (choice == IUiServices::RestoreChoice::Restore) {
            LoadDocument(read.session, false);
            m_autosave.Flush(); // kept under this run's name before the old one goes
        }
        fs::remove(e.path(), ec);
        return;
    }
}

void CMeasurementDock::AddFileMenuActions(QMenu* file) {
    QAction* before = nullptr;
    for (QAction* a : file->actions()) {
        if (a->isSeparator()) {
            before = a;
            break;
        }
    }
    auto* menu = new QMenu(QStringLiteral("Measurements"), file);
    file->insertMenu(before, menu);
    QAction* show = toggleViewAction();
    show->setText(QStringLiteral("Measurement Table"));
    menu->addAction(show);
    menu->addSeparator();
    const auto add = [this, menu](const QString& text, auto slot) {
        auto* a = new QAction(text, menu);
        connect(a, &QAction::triggered, this, slot);
        menu->addAction(a);
        return a;
    };
    add(QStringLiteral("Open Session..."), [this] { OpenSession(); });
    add(QStringLiteral("Save Session..."), [this] { SaveSession(); });
    menu->addSeparator();
    add(QStringLiteral("Export as CSV..."), [this] { ExportCsv(); });
    add(QStringLiteral("Export as PLY..."), [this] { ExportPly(false); });
    add(QStringLiteral("Export as Binary PLY..."), [this] { ExportPly(true); });
    menu->addSeparator();
    menu->addAction(m_pUndoAction);
    menu->addAction(m_pRedoAction);
}

std::string DefaultAutosavePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return QDir(folder)
        .filePath(QStringLiteral("autosave-%1.rvsession").arg(QCoreApplication::applicationPid()))
        .toStdString();
}

CMeasurementDock* InstallMeasurementWorkspace(QMainWindow& frame, IUiServices& ui,
                                              ImageDatabase& db, CChildView& view,
                                              CPairController& controller) {
    auto* dock = new CMeasurementDock(ui, db, view, controller, &frame);
    frame.addDockWidget(Qt::RightDockWidgetArea, dock);
    // The view keeps its width until there are measurements to show.
    dock->hide();
    const auto menus = frame.menuBar()->actions();
    if (!menus.isEmpty() && menus.front()->menu() != nullptr) {
        dock->AddFileMenuActions(menus.front()->menu());
    }
    frame.addAction(dock->UndoAction());
    frame.addAction(dock->RedoAction());
    // View > Measurement Table as well.
    for (QAction* a : menus) {
        if (a->menu() != nullptr && a->menu()->title() == QStringLiteral("&View")) {
            a->menu()->addSeparator();
            a->menu()->addAction(dock->toggleViewAction());
        }
    }
    return dock;
}
