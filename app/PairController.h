// The open pair's controller: it owns the Analyse dialog and keeps it on the
// pair the view shows (the marks as they are set, the pair as it opens or
// swaps), answers Space and CALCULATE, and runs Auto-Detect Vertex Pairs. The
// view draws and turns input into marks; it knows nothing of the dialog.
#pragma once

#include "app/CalcDialogInterface.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class CChildView;
class IUiServices;
enum class Eye;

class CPairController : public QObject, public ICalcHost {
    Q_OBJECT

public:
    using CalcDialogFactory = std::function<std::unique_ptr<ICalcDialog>(ICalcHost&)>;

    CPairController(CChildView& view, IUiServices& ui);
    ~CPairController() override;
    CPairController(const CPairController&) = delete;
    CPairController& operator=(const CPairController&) = delete;

    // How the Analyse dialog is made; none: the dialog counts as open but
    // there is no window.
    void SetCalcDialogFactory(CalcDialogFactory factory) {
        m_fnCalcDialogFactory = std::move(factory);
    }

    // View > Show Calc Control: shows or hides the Analyse dialog.
    void OnShowCalcControl();
    void OnCalcDlgClosed();
    bool IsCalcDialogOpen() const { return m_bCalcDlgOpen; }
    ICalcDialog* CalcDialog() const { return m_bCalcDlgOpen ? m_pCalcDlg.get() : nullptr; }

    // The dialog takes both current marks after a re-selection (a
    // double-click, or its redo).
    void ShowReselectedMarks();
    // Space: CALCULATE at the current marks, or why not.
    void OnSpace();
    // Finds corners in the part of the left image on screen, matches each in
    // the right image and measures every match: one step for undo.
    void OnAutoDetectVertexPairs();

    // ICalcHost
    std::string LeftFile() const override;
    std::string RightFile() const override;
    PairDocument* OpenPair() override;
    void AppendMeasurement(const ImagePoint& left, const ImagePoint& right,
                           const VertexRecord& vertex, const std::string& logEntry) override;
    void AppendMeasurementRecord(const MeasurementRecord& record) override;
    void CalcDialogClosed() override;
    bool AutoMatch() const override;
    void SetAutoMatch(bool on) override;
    void CalcOptionsChanged() override;
    DecodedImageSizes ImageSizes() const override;
    PixelSigmas MarkSigmas(const ImagePoint& left, const ImagePoint& right) const override;

signals:
    // Auto-Detect appended count measurements from row first on.
    void MeasurementsAppended(std::size_t first, std::size_t count, const QString& what);

private:
    void OpenCalcDialog();
    void CloseCalcDialog();
    // The dialog's options choose the document's cameras.
    void TakeDialogOptions();
    // The view's signals.
    // A click sets eye's current mark; with Auto-Match on, its partner is
    // matched in the other image (unless the click corrects a matched mark).
    void OnPixelClicked(Eye eye, const ImagePoint& pixel);
    void MatchPartner(Eye clicked, const ImagePoint& click);
    void OnPairOpened();
    void OnPairSwapped();

    CChildView& m_view;
    IUiServices& m_ui;
    CalcDialogFactory m_fnCalcDialogFactory;
    std::unique_ptr<ICalcDialog> m_pCalcDlg;
    bool m_bCalcDlgOpen = false;
};
