// The modeless Analyse dialog: cameras, sol times, database indicators and
// the pointing of both marks, the options of the range calculation and the
// results of the last one.
#pragma once

#include "app/CalcDialogInterface.h"
#include "geometry/Point3D.h"
#include "stereo/PointUncertainty.h"

#include <QDialog>

#include <map>
#include <optional>
#include <string>
#include <vector>

class CIndicatorBox;
class IUiServices;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTextEdit;

// Control ids of the Analyse dialog.
enum CalcDlgControl {
    IDC_LEFT_COL = 1000,
    IDC_LEFT_ROW = 1001,
    IDC_RIGHT_COL = 1002,
    IDC_RIGHT_ROW = 1003,
    IDC_CALCULATE = 1004,
    IDC_RANGE = 1009,
    IDC_AZ_LEFT = 1010,
    IDC_POS = 1011,
    IDC_DIST_TO_LAST = 1012,
    IDC_PIXEL_SIZE = 1013,
    IDC_EL_LEFT = 1014,
    IDC_RL_VECTOR_TEXT = 1015,
    IDC_AZ_RIGHT = 1016,
    IDC_ERROR_SUMMARY = 1017,
    IDC_EL_RIGHT = 1018,
    IDC_AZ = 1019,
    IDC_EL = 1020,
    IDC_SOL_LEFT = 1028,
    IDC_SOL_RIGHT = 1029,
    IDC_RL_VECTOR = 1030,
    IDC_COPY_POSITION = 1032,
    IDC_CAM_LEFT = 1033,
    IDC_CAM_RIGHT = 1034,
    IDC_REC_LEFT = 1035,
    IDC_REC_RIGHT = 1036,
    IDC_2D = 1037,
    IDC_AZ_CORR_LEFT = 1039,
    IDC_AZ_CORR_RIGHT = 1040,
    IDC_AUTO_MATCH = 1041,
    // The band below the template: where each side's model comes from and
    // what only the product models give.
    IDC_PRODUCT_MODELS = 1042,
    IDC_MODEL_LEFT = 1043,
    IDC_MODEL_RIGHT = 1044,
    IDC_MISS_DISTANCE = 1045,
    IDC_SITE_POS = 1046,
    IDC_MODEL_WARNING = 1047,
};

// The template's size, and the dialog's with the band of model sources.
inline constexpr int kCalcDlgTemplateHeight = 156;
inline constexpr int kCalcDlgHeight = 232;

inline constexpr const char* kCalcDlgCaption =
    "Analyse - Specify Corresponding Pixel Coordinates from each Camera";

class CCalcDlg : public QDialog, public ICalcDialog {
    Q_OBJECT

public:
    // host may be null: the dialog then simply hides when closed, and has
    // nothing to measure. The host's document gives the cameras, the records
    // and the pointing of the marks.
    CCalcDlg(ICalcHost* host, IUiServices& ui, QWidget* parent = nullptr);
    ~CCalcDlg() override;

    // ICalcDialog
    void ShowDialog() override;
    void HideDialog() override;
    void SetLeftPixel(double col, double row) override;
    void SetRightPixel(double col, double row) override;
    void UpdateImageInfo() override;
    void OnCalculate() override;
    void ClearResults() override;
    void CalculateQuietly(std::vector<std::string>& messages) override;
    // Read from the controls as they stand, without refusing anything.
    std::optional<CalcOptions> CurrentOptions() const override;
    void AutoMatchChanged() override;

    // take = true: controls to members; false: members to controls. False
    // when an entry was refused.
    bool UpdateData(bool take = true);
    // The control with a template id, or nullptr.
    QWidget* Control(int id) const;

    // The dialog's fields (see the control ids beside them).
    CPoint3D m_ptLastPos;
    int m_nCamLeft = -1;  // IDC_CAM_LEFT
    int m_nCamRight = -1; // IDC_CAM_RIGHT
    double m_dLeftCol = 0.0;
    double m_dLeftRow = 0.0;
    double m_dRightCol = 0.0;
    double m_dRightRow = 0.0;
    std::string m_strRange;
    std::string m_strPos;
    std::string m_strDistToLast;
    std::string m_strPixelSize;
    std::string m_strErrorSummary;
    std::string m_strSolLeft;
    std::string m_strSolRight;
    bool m_bRLVector = false;
    std::string m_strRLVector;
    std::string m_strAzLeft;
    std::string m_strElLeft;
    std::string m_strAzRight;
    std::string m_strElRight;
    std::string m_strAz;
    std::string m_strEl;
    bool m_b2D = false;
    double m_dAzCorrLeft = 0.0;
    double m_dAzCorrRight = 0.0;
    // IDC_PRODUCT_MODELS: measure products with their own camera models (a
    // setting); cleared, or a camera chosen by hand: the catalogue cameras.
    bool m_bProductModels = true;
    std::string m_strModelLeft;    // IDC_MODEL_LEFT
    std::string m_strModelRight;   // IDC_MODEL_RIGHT
    std::string m_strMissDistance; // IDC_MISS_DISTANCE, metres
    std::string m_strSitePos;      // IDC_SITE_POS, when the left product has a pose
    std::string m_strModelWarning; // IDC_MODEL_WARNING: why a product's model is not used
    PixelSigmas m_pixelSigmas;     // of a click without a host (the host says otherwise)

public slots:
    void OnCopyPosition();
    void OnRLVector();
    void OnSelChangeLeftCamera();
    void OnSelChangeRightCamera();
    void On2D();
    void OnAutoMatch();
    void OnProductModels();

protected:
    // Esc and the close box.
    void reject() override;

private:
    void CreateControls();
    bool OnInitDialog();
    void DoDataExchange(class DataExchange& dx);
    // CALCULATE; its messages are shown or, when messages is given, collected.
    void Calculate(std::vector<std::string>* messages);
    // The options CALCULATE uses: the combos' cameras unless the pair's
    // product models are to be used.
    CalcOptions CalculationOptions() const;
    // The host's open pair, with the options given to it (its cameras
    // rebuilt only when they change); nullptr without one.
    const PairDocument* PairWithOptions(const CalcOptions& options) const;
    // The input of a calculation at the pixel members.
    RangeCalcInput CalculationInput(const CalcOptions& options) const;
    // The model source lines and the warning of an input.
    void ShowModelSources(const RangeCalcInput& in);
    // Whether either image of the host's pair carries a camera model.
    bool PairCarriesModels() const;
    void SaveProductModelsSetting() const;
    // The marks' Az/El and the model sources as the cameras now stand.
    void RefreshPointing();

    ICalcHost* m_pHost;
    IUiServices& m_ui;
    std::map<int, QWidget*> m_mControls;

    QComboBox* m_cbCamLeft = nullptr;
    QComboBox* m_cbCamRight = nullptr;
    CIndicatorBox* m_btnRecLeft = nullptr;
    CIndicatorBox* m_btnRecRight = nullptr;
    QCheckBox* m_chkAutoMatch = nullptr;
    QCheckBox* m_chkProductModels = nullptr;
};
