// The measurement workspace beside the stereo view: the table of the
// session's measurements, what two or more selected rows say together
// (distance, slope, bearing; the plane of three or more), Delete with undo,
// note edits with undo, export, session files and the autosave.
#pragma once

#include "app/AutosaveWriter.h"
#include "app/MeasurementTableModel.h"
#include "session/SessionFile.h"

#include <QDockWidget>

#include <string>
#include <vector>

class CChildView;
class IUiServices;
class ImageDatabase;
class QLabel;
class QMainWindow;
class QAction;
class QCloseEvent;
class QDoubleSpinBox;
class QMenu;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class CPairController;
class QUndoStack;

class CMeasurementDock : public QDockWidget {
    Q_OBJECT

public:
    CMeasurementDock(IUiServices& ui, ImageDatabase& db, CChildView& view,
                     CPairController& controller, QWidget* parent = nullptr);
    ~CMeasurementDock() override;

    QTableView* Table() const { return m_pTable; }
    // The click uncertainty in pixels (the view's, remembered in the settings).
    QDoubleSpinBox* ClickSigmaBox() const { return m_pClickSigma; }
    // The ground plane's height sigma in metres for the monoscopic
    // measurements to come (the document's, remembered in the settings).
    QDoubleSpinBox* GroundSigmaBox() const { return m_pGroundSigma; }
    CMeasurementTableModel& Model() { return *m_pModel; }
    QSortFilterProxyModel* Proxy() const { return m_pProxy; }
    QUndoStack* UndoStack() const { return m_pUndo; }
    // Edit's Undo and Redo of the stack (Ctrl+Z, Ctrl+Shift+Z in the window).
    QAction* UndoAction() const { return m_pUndoAction; }
    QAction* RedoAction() const { return m_pRedoAction; }
    // The text of the comparison panel (also what Copy puts on the clipboard).
    QString ComparisonText() const;

    // Session rows selected in the table (in session order).
    std::vector<std::size_t> SelectedRows() const;
    void SelectRows(const std::vector<std::size_t>& rows);
    // Deletes the selected measurements as one undoable step.
    void DeleteSelected();
    // A note as an undoable step.
    void EditNote(std::size_t row, const std::string& note);

    // File menu commands; false when cancelled or failed (said to the user).
    bool ExportCsv();
    bool ExportPly(bool binary);
    bool SaveSession();
    bool OpenSession();
    bool OpenSessionFile(const std::string& path);
    // Asked before another pair replaces the open one: rows not saved in a
    // session are offered for saving (Save / Discard / Cancel). False: keep
    // the open pair.
    bool CanLeavePair();
    // The session as it would be saved.
    SessionDocument Document() const;

    // The session changed (a calculation, a re-selection, a new pair): the
    // table and the panel follow and the autosave is written.
    void Refresh();
    // Where the autosave goes; empty: no autosave.
    void SetAutosavePath(std::string path) { m_sAutosavePath = std::move(path); }
    const std::string& AutosavePath() const { return m_sAutosavePath; }
    // A clean close: the autosave is no longer needed.
    void RemoveAutosave();
    // Returns once the autosave on disk is the session's newest state.
    void FlushAutosave() { m_autosave.Flush(); }
    // At start-up: when an autosave in the autosave's folder was left behind
    // by a run that did not close cleanly (its process is gone), offer to
    // bring its measurements back. Runs at the same time keep their own.
    void OfferRestore();

    // File > Export / Save Session / Open Session, inserted into file.
    void AddFileMenuActions(QMenu* file);

    // Whether the user closed the table (remembered in the settings): it then
    // stays closed when measurements come, until shown again.
    bool ClosedByUser() const { return m_bClosedByUser; }
    void SetClosedByUser(bool closed);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdatePanel();
    void OnSelectionChanged();
    void OnMarkPicked(std::size_t row, bool add);
    void OnMarkHovered(std::size_t row);
    void OnReselected(std::size_t row, const MeasurementSession::CurrentMarks& before);
    void WriteAutosave();
    void LoadDocument(const SessionDocument& doc, bool recalculate);
    // Opens the image database a session was measured with when it is not
    // the open one; what was done, for the user (empty: nothing). A session
    // whose database is gone is not calculated again (recalculate cleared).
    std::string UseSessionDatabase(const SessionDocument& doc, bool& recalculate);

    IUiServices& m_ui;
    ImageDatabase& m_db;
    CChildView& m_view;
    CPairController& m_controller;
    CMeasurementTableModel* m_pModel = nullptr;
    QSortFilterProxyModel* m_pProxy = nullptr;
    QTableView* m_pTable = nullptr;
    QLabel* m_pPanel = nullptr;
    QDoubleSpinBox* m_pClickSigma = nullptr;
    QDoubleSpinBox* m_pGroundSigma = nullptr;
    QUndoStack* m_pUndo = nullptr;
    QAction* m_pUndoAction = nullptr;
    QAction* m_pRedoAction = nullptr;
    std::size_t m_nShownRevision = static_cast<std::size_t>(-1);
    std::size_t m_nAutosavedRevision = static_cast<std::size_t>(-1);
    std::size_t m_nSessionSavedRevision = 0; // the session's revision when last saved or opened
    bool m_bClosedByUser = false;
    bool m_bFollowingSession = false; // the selection is put back after a change
    std::string m_sAutosavePath;
    CAutosaveWriter m_autosave;
};

// Creates the dock on the frame, its File menu entries (after the first
// separator of the first menu) and the autosave in the user's state folder.
CMeasurementDock* InstallMeasurementWorkspace(QMainWindow& frame, IUiServices& ui,
                                              ImageDatabase& db, CChildView& view,
                                              CPairController& controller);

// This process's autosave in the user's data folder
// ("autosave-<pid>.rvsession").
std::string DefaultAutosavePath();
