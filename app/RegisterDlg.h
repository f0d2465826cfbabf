// The modal Register Vertices dialog: pick the file to transform and the
// reference frame file, list vertex pairs (typed, or found automatically),
// see each pair's residual and the RMS of a least-squares fit, drop pairs
// flagged as outliers, and write <title>_trnsfrmd.<ext> beside the source.
#pragma once

#include "registration/LeastSquaresRegistration.h"

#include <QDialog>

#include <map>
#include <optional>
#include <string>
#include <vector>

class IUiServices;
class QLabel;
class QLineEdit;
class QTableWidget;

enum RegisterDlgControl {
    IDC_REG_SOURCE_FILE = 1101,
    IDC_REG_REFERENCE_FILE = 1102,
    IDC_REG_SOURCE_TITLE = 1103,
    IDC_REG_REFERENCE_TITLE = 1104,
    IDC_REG_PAIRS = 1105, // the table: source index, reference index, residual, outlier
    IDC_REG_ADD_PAIR = 1106,
    IDC_REG_REMOVE_PAIR = 1107,
    IDC_REG_TOLERANCE = 1108, // metres; empty: derived from the vertices' ranges
    IDC_REG_FIND = 1109,
    IDC_REG_FIT = 1110,
    IDC_REG_DROP_OUTLIERS = 1111,
    IDC_REG_WRITE = 1112,
    IDC_REG_RMS = 1113,
    IDC_REG_STATUS = 1114,
    IDC_REG_DONE = 1115,
};

class CRegisterDlg : public QDialog {
    Q_OBJECT

public:
    enum Column { kSourceColumn, kReferenceColumn, kResidualColumn, kOutlierColumn };

    explicit CRegisterDlg(IUiServices& ui, QWidget* parent = nullptr);

    QWidget* Control(int id) const;
    QTableWidget* Table() const;

    std::string m_strSourcePath;
    std::string m_strReferencePath;
    // The last fit over the table's pairs, and the rows it flagged.
    std::optional<LeastSquaresResult> m_fit;
    std::vector<int> m_vOutlierRows;

public slots:
    void OnSourceFile();
    void OnReferenceFile();
    void OnAddPair();
    void OnRemovePair();
    void OnFindAutomatically();
    void OnFit();
    void OnDropOutliers();
    void OnWrite();

private:
    void CreateControls();
    void ChooseFile(const char* title, std::string& path, int titleControl);
    // Both files' vertices; messages for an unreadable file are shown.
    bool LoadFiles(std::vector<CPoint3D>& source, std::vector<CPoint3D>& reference);
    // The table's pairs; a cell that is not an index is reported and
    // selected.
    std::optional<std::vector<IndexPair>> TablePairs();
    void ShowPairs(const std::vector<IndexPair>& pairs);
    // Fits the table's pairs, shows residuals, RMS and outliers; false
    // (with the reason shown) when there is no fit.
    bool Fit(std::vector<CPoint3D>* sourceOut = nullptr);
    void ShowFit();
    void ClearFit();
    void SetStatus(const std::string& text);

    IUiServices& m_ui;
    std::map<int, QWidget*> m_mControls;
    bool m_bFilling = false; // the dialog itself is writing the table
};
