#include "app/CalcDlg.h"

#include "app/DataExchange.h"
#include "app/DialogUnits.h"
#include "app/MastPicture.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "geometry/CameraModel.h"
#include "geometry/StereoIntersection.h"
#include "imagedb/ImageDatabase.h"
#include "products/ProductName.h"
#include "stereo/CalcInput.h"
#include "stereo/RangeCalc.h"
#include "stereo/StereoRig.h"
#include "ui/UiServices.h"
#include "viewer/ChildView.h"

#include <QApplication>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTextEdit>

#include <algorithm>

// A check box that shows a state but does not change it when clicked.
class CIndicatorBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

CCalcDlg::CCalcDlg(ICalcHost* host, IUiServices& ui, QWidget* parent)
    : QDialog(parent), m_pHost(host), m_ui(ui) {
    CreateControls();
    OnInitDialog();
}

CCalcDlg::~CCalcDlg() = default;

void CCalcDlg::CreateControls() {
    setWindowTitle(QString::fromLatin1(kCalcDlgCaption));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.Size(361, kCalcDlgHeight));

    auto label = [&](const char* text, int x, int y, int w = 0, int h = 0) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        du.Place(l, x, y, w, h);
        return l;
    };
    auto remember = [&](int id, QWidget* w) {
        w->setObjectName(QStringLiteral("ctl%1").arg(id));
        m_mControls[id] = w;
    };
    auto edit = [&](int id, int x, int y, int w, int h, bool readOnly = false) {
        auto* e = new QLineEdit(this);
        e->setReadOnly(readOnly);
        du.Place(e, x, y, w, h);
        remember(id, e);
        return e;
    };
    auto group = [&](const char* text, int x, int y, int w, int h) {
        auto* g = new QGroupBox(QString::fromLatin1(text), this);
        du.Place(g, x, y, w, h);
        g->lower();
        return g;
    };

    // Frames first, so that the fields they surround lie above them.
    group("Results", 197, 3, 160, 87);
    group("Estimated Error (+/- 1 Pixel)", 193, 92, 161, 49);

    m_cbCamLeft = new QComboBox(this);
    du.Place(m_cbCamLeft, 7, 7, 82, 13);
    remember(IDC_CAM_LEFT, m_cbCamLeft);
    m_cbCamRight = new QComboBox(this);
    du.Place(m_cbCamRight, 103, 7, 82, 13);
    remember(IDC_CAM_RIGHT, m_cbCamRight);

    m_btnRecLeft = new CIndicatorBox(QStringLiteral("Img Left (column,row)"), this);
    du.Place(m_btnRecLeft, 7, 22, 87, 10);
    remember(IDC_REC_LEFT, m_btnRecLeft);
    m_btnRecRight = new CIndicatorBox(QStringLiteral("Img Right (column,row)"), this);
    du.Place(m_btnRecRight, 103, 22, 91, 10);
    remember(IDC_REC_RIGHT, m_btnRecRight);
    for (CIndicatorBox* box : {m_btnRecLeft, m_btnRecRight}) {
        box->setFocusPolicy(Qt::NoFocus);
    }

    edit(IDC_LEFT_COL, 7, 33, 40, 14);
    edit(IDC_LEFT_ROW, 50, 33, 40, 14);
    edit(IDC_RIGHT_COL, 103, 33, 40, 14);
    edit(IDC_RIGHT_ROW, 147, 33, 40, 14);

    label("Az:", 7, 51);
    edit(IDC_AZ_LEFT, 18, 48, 29, 14, true);
    label("El:", 52, 50);
    edit(IDC_EL_LEFT, 60, 48, 29, 14, true);
    label("Az:", 105, 51);
    edit(IDC_AZ_RIGHT, 116, 48, 29, 14, true);
    label("El:", 150, 50);
    edit(IDC_EL_RIGHT, 158, 48, 29, 14, true);
    label("Sol:", 6, 66);
    edit(IDC_SOL_LEFT, 21, 63, 69, 14, true);
    label("Sol:", 102, 66);
    edit(IDC_SOL_RIGHT, 116, 63, 71, 14, true);

    auto* rlVector = new QCheckBox(QStringLiteral("R-L Vector:"), this);
    du.Place(rlVector, 8, 81, 50, 10);
    remember(IDC_RL_VECTOR, rlVector);
    edit(IDC_RL_VECTOR_TEXT, 59, 80, 106, 14);
    auto* copyPosition = new QPushButton(QStringLiteral("<-"), this);
    copyPosition->setAutoDefault(false);
    du.Place(copyPosition, 173, 79, 15, 14);
    remember(IDC_COPY_POSITION, copyPosition);

    auto* calculate = new QPushButton(QStringLiteral("CALCULATE"), this);
    calculate->setDefault(true);
    du.Place(calculate, 113, 98, 50, 20);
    remember(IDC_CALCULATE, calculate);
    auto* twoD = new QCheckBox(QStringLiteral("2D"), this);
    du.Place(twoD, 82, 103, 25, 10);
    remember(IDC_2D, twoD);

    m_chkAutoMatch = new QCheckBox(QStringLiteral("Auto-match"), this);
    m_chkAutoMatch->setToolTip(QStringLiteral("A click finds its partner in the other image"));
    du.Place(m_chkAutoMatch, 8, 95, 50, 10);
    remember(IDC_AUTO_MATCH, m_chkAutoMatch);
    m_chkAutoMatch->setChecked(m_pHost != nullptr && m_pHost->AutoMatch());

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("mastPicture"));
    picture->setPixmap(MastPicture());
    // A picture control takes the size of its bitmap.
    picture->setGeometry(du.X(7), du.Y(105), kMastPictureWidth, kMastPictureHeight);

    QLabel* hint = label("(click the spacebar from the main window to calculate)", 91, 118, 96, 17);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label("AzCorrL", 78, 141);
    edit(IDC_AZ_CORR_LEFT, 106, 138, 27, 14);
    label("AzCorrR", 137, 141);
    edit(IDC_AZ_CORR_RIGHT, 165, 138, 27, 14);

    label("Range (meters):", 234, 13);
    edit(IDC_RANGE, 291, 10, 60, 14);
    label("Pos:", 202, 27);
    edit(IDC_POS, 222, 25, 129, 14);
    label("Distance to last position:", 208, 43);
    edit(IDC_DIST_TO_LAST, 291, 40, 60, 14);
    label("Estim. Pixel Size at Range:", 220, 58);
    edit(IDC_PIXEL_SIZE, 311, 55, 40, 14);
    label("Az:", 268, 74);
    edit(IDC_AZ, 279, 71, 29, 14);
    label("El:", 313, 73);
    edit(IDC_EL, 321, 71, 29, 14);

    // Below the template: where each side's model comes from.
    const int band = kCalcDlgTemplateHeight;
    m_chkProductModels = new QCheckBox(QStringLiteral("Use the products' camera models"), this);
    m_chkProductModels->setToolTip(
        QStringLiteral("Measure images that carry a camera model (a label or a JSON record) "
                       "with it; cleared: the catalogue cameras chosen above"));
    du.Place(m_chkProductModels, 7, band + 3, 150, 10);
    remember(IDC_PRODUCT_MODELS, m_chkProductModels);
    label("Miss distance (m):", 197, band + 4);
    edit(IDC_MISS_DISTANCE, 260, band + 1, 50, 14, true);
    label("Left model:", 7, band + 19);
    edit(IDC_MODEL_LEFT, 52, band + 16, 302, 14, true);
    label("Right model:", 7, band + 34);
    edit(IDC_MODEL_RIGHT, 52, band + 31, 302, 14, true);
    label("Site pos:", 7, band + 49);
    edit(IDC_SITE_POS, 52, band + 46, 140, 14, true)
        ->setToolTip(QStringLiteral("The point in the left rover's site frame (X north, Y east, "
                                    "Z down), when its product gives the rover's pose"));
    QLabel* warning = label("", 7, band + 62, 347, 14);
    warning->setWordWrap(true);
    warning->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    warning->setStyleSheet(QStringLiteral("color: #b00000"));
    remember(IDC_MODEL_WARNING, warning);

    auto* summary = new QTextEdit(this);
    summary->setAcceptRichText(false);
    summary->setLineWrapMode(QTextEdit::NoWrap);
    summary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    du.Place(summary, 193, 101, 161, 40);
    remember(IDC_ERROR_SUMMARY, summary);

    connect(calculate, &QPushButton::clicked, this, &CCalcDlg::OnCalculate);
    connect(copyPosition, &QPushButton::clicked, this, &CCalcDlg::OnCopyPosition);
    connect(rlVector, &QCheckBox::clicked, this, &CCalcDlg::OnRLVector);
    connect(m_cbCamLeft, &QComboBox::activated, this, &CCalcDlg::OnSelChangeLeftCamera);
    connect(m_cbCamRight, &QComboBox::activated, this, &CCalcDlg::OnSelChangeRightCamera);
    connect(twoD, &QCheckBox::clicked, this, &CCalcDlg::On2D);
    connect(m_chkAutoMatch, &QCheckBox::clicked, this, &CCalcDlg::OnAutoMatch);
    connect(m_chkProductModels, &QCheckBox::clicked, this, &CCalcDlg::OnProductModels);
    for (int id : {IDC_AZ_CORR_LEFT, IDC_AZ_CORR_RIGHT, IDC_RL_VECTOR_TEXT}) {
        connect(static_cast<QLineEdit*>(Control(id)), &QLineEdit::editingFinished, this, [this] {
            if (m_pHost != nullptr) {
                m_pHost->CalcOptionsChanged();
            }
        });
    }
}

QWidget* CCalcDlg::Control(int id) const {
    const auto it = m_mControls.find(id);
    return it == m_mControls.end() ? nullptr : it->second;
}

void CCalcDlg::DoDataExchange(DataExchange& dx) {
    auto lineEdit = [this](int id) { return static_cast<QLineEdit*>(Control(id)); };
    dx.ListIndex(m_cbCamLeft, m_nCamLeft);
    dx.ListIndex(m_cbCamRight, m_nCamRight);
    dx.Double(lineEdit(IDC_LEFT_COL), m_dLeftCol);
    dx.Double(lineEdit(IDC_LEFT_ROW), m_dLeftRow);
    dx.Double(lineEdit(IDC_RIGHT_COL), m_dRightCol);
    dx.Double(lineEdit(IDC_RIGHT_ROW), m_dRightRow);
    dx.Text(lineEdit(IDC_RANGE), m_strRange);
    dx.Text(lineEdit(IDC_POS), m_strPos);
    dx.Text(lineEdit(IDC_DIST_TO_LAST), m_strDistToLast);
    dx.Text(lineEdit(IDC_PIXEL_SIZE), m_strPixelSize);
    dx.Text(static_cast<QTextEdit*>(Control(IDC_ERROR_SUMMARY)), m_strErrorSummary);
    dx.Text(lineEdit(IDC_SOL_LEFT), m_strSolLeft);
    dx.Text(lineEdit(IDC_SOL_RIGHT), m_strSolRight);
    dx.Check(static_cast<QCheckBox*>(Control(IDC_RL_VECTOR)), m_bRLVector);
    dx.Text(lineEdit(IDC_RL_VECTOR_TEXT), m_strRLVector);
    dx.Text(lineEdit(IDC_AZ_LEFT), m_strAzLeft);
    dx.Text(lineEdit(IDC_EL_LEFT), m_strElLeft);
    dx.Text(lineEdit(IDC_AZ_RIGHT), m_strAzRight);
    dx.Text(lineEdit(IDC_EL_RIGHT), m_strElRight);
    dx.Text(lineEdit(IDC_AZ), m_strAz);
    dx.Text(lineEdit(IDC_EL), m_strEl);
    dx.Check(static_cast<QCheckBox*>(Control(IDC_2D)), m_b2D);
    dx.Double(lineEdit(IDC_AZ_CORR_LEFT), m_dAzCorrLeft);
    dx.Double(lineEdit(IDC_AZ_CORR_RIGHT), m_dAzCorrRight);
    dx.Check(m_chkProductModels, m_bProductModels);
    dx.Text(lineEdit(IDC_MODEL_LEFT), m_strModelLeft);
    dx.Text(lineEdit(IDC_MODEL_RIGHT), m_strModelRight);
    dx.Text(lineEdit(IDC_MISS_DISTANCE), m_strMissDistance);
    dx.Text(lineEdit(IDC_SITE_POS), m_strSitePos);
    if (!dx.Taking()) {
        static_cast<QLabel*>(Control(IDC_MODEL_WARNING))
            ->setText(QString::fromStdString(m_strModelWarning));
    }
}

bool CCalcDlg::UpdateData(bool take) {
    DataExchange dx(take, m_ui);
    DoDataExchange(dx);
    return dx.Ok();
}

bool CCalcDlg::OnInitDialog() {
    {
        QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
        settings.beginGroup(CChildView::kSettingsName);
        m_bProductModels = settings.value("m_bProductModels", 1).toInt() != 0;
    }
    UpdateData(false);
    for (int id = 0; id < kCameraCount; ++id) {
        const QString name = QString::fromLatin1(CameraName(id));
        m_cbCamLeft->addItem(name);
        m_cbCamRight->addItem(name);
    }
    // Adding items selects the first one: nothing is selected until a
    // refresh or the user chooses.
    m_cbCamLeft->setCurrentIndex(-1);
    m_cbCamRight->setCurrentIndex(-1);
    m_btnRecLeft->setChecked(false);
    m_btnRecRight->setChecked(false);
    m_cbCamLeft->setFocus(Qt::OtherFocusReason);
    return true;
}

void CCalcDlg::ShowDialog() {
    // The main window keeps the keyboard: keys typed while a pair opens go
    // to the view, not to the camera boxes.
    setAttribute(Qt::WA_ShowWithoutActivating);
    show();
    raise();
    // Without a window manager nothing else would give the keyboard back.
    if (QWidget* owner = parentWidget(); owner != nullptr && owner->isVisible()) {
        owner->window()->activateWindow();
    }
}

void CCalcDlg::HideDialog() {
    hide();
}

void CCalcDlg::SetLeftPixel(double col, double row) {
    m_dLeftCol = col;
    m_dLeftRow = row;
}

void CCalcDlg::SetRightPixel(double col, double row) {
    m_dRightCol = col;
    m_dRightRow = row;
}

void CCalcDlg::UpdateImageInfo() {
    const std::string leftTitle = PathTitle(m_pHost != nullptr ? m_pHost->LeftFile() : "");
    const std::string rightTitle = PathTitle(m_pHost != nullptr ? m_pHost->RightFile() : "");

    // A title too short for its mission's naming rule names no camera; its
    // sol text, when the rule gives one, is still shown.
    const ProductNameInfo left = DecodeProductName(leftTitle);
    const ProductNameInfo right = DecodeProductName(rightTitle);
    m_strSolLeft = left.strSol;
    m_nCamLeft = left.nCameraId;
    m_strSolRight = right.strSol;
    m_nCamRight = right.nCameraId;

    m_cbCamLeft->setCurrentIndex(m_nCamLeft);
    m_cbCamRight->setCurrentIndex(m_nCamRight);
    const PairDocument* doc = m_pHost != nullptr ? m_pHost->OpenPair() : nullptr;
    m_btnRecLeft->setChecked(doc != nullptr && doc->Database().FindRecord(leftTitle) != nullptr);
    m_btnRecRight->setChecked(doc != nullptr && doc->Database().FindRecord(rightTitle) != nullptr);

    RefreshPointing();
}

void CCalcDlg::RefreshPointing() {
    // Where the marks look through the models that measure them.
    const RangeCalcInput in = CalculationInput(CalculationOptions());
    const PairDocument* doc = m_pHost != nullptr ? m_pHost->OpenPair() : nullptr;
    for (const Eye eye : {Eye::Left, Eye::Right}) {
        const bool left = eye == Eye::Left;
        const ImagePoint mark =
            left ? ImagePoint{m_dLeftCol, m_dLeftRow} : ImagePoint{m_dRightCol, m_dRightRow};
        std::string& az = left ? m_strAzLeft : m_strAzRight;
        std::string& el = left ? m_strElLeft : m_strElRight;
        az.clear();
        el.clear();
        if (const auto p = doc != nullptr ? doc->Rig().PixelPointing(eye, mark) : std::nullopt) {
            az = StrFormat("%4.1lf", p->azimuthDeg);
            el = StrFormat("%4.1lf", p->elevationDeg);
        }
    }
    ShowModelSources(in);
    UpdateData(false);
}

bool CCalcDlg::PairCarriesModels() const {
    const PairDocument* doc = m_pHost != nullptr ? m_pHost->OpenPair() : nullptr;
    return doc != nullptr && doc->Rig().CarriesModels();
}

CalcOptions CCalcDlg::CalculationOptions() const {
    CalcOptions options;
    options.bProductModels = m_bProductModels;
    if (!m_bProductModels || !PairCarriesModels()) {
        options.leftCamera = m_nCamLeft;
        options.rightCamera = m_nCamRight;
    }
    options.b2D = m_b2D;
    options.bRLVector = m_bRLVector;
    options.strRLVector = m_strRLVector;
    options.dAzCorrLeft = m_dAzCorrLeft;
    options.dAzCorrRight = m_dAzCorrRight;
    return options;
}

const PairDocument* CCalcDlg::PairWithOptions(const CalcOptions& options) const {
    PairDocument* doc = m_pHost != nullptr ? m_pHost->OpenPair() : nullptr;
    if (doc != nullptr) {
        doc->SetOptions(options);
    }
    return doc;
}

RangeCalcInput CCalcDlg::CalculationInput(const CalcOptions& options) const {
    const ImagePoint left{m_dLeftCol, m_dLeftRow};
    const ImagePoint right{m_dRightCol, m_dRightRow};
    if (const PairDocument* doc = PairWithOptions(options)) {
        return doc->Rig().Input(left, right, m_ptLastPos);
    }
    return StereoRig().Input(left, right, m_ptLastPos); // no pair: no cameras
}

void CCalcDlg::ShowModelSources(const RangeCalcInput& in) {
    const bool files = !in.sLeftFile.empty() || !in.sRightFile.empty();
    m_strModelLeft = files ? ModelSourceText(in, Eye::Left) : std::string();
    m_strModelRight = files ? ModelSourceText(in, Eye::Right) : std::string();
    m_strModelWarning = !in.productWarning.empty()   ? "Warning: " + in.productWarning
                        : !in.productProblem.empty() ? in.productProblem
                                                     : in.productNote;
    m_chkProductModels->setEnabled(PairCarriesModels());
}

void CCalcDlg::ClearResults() {
    for (std::string* field :
         {&m_strRange, &m_strPos, &m_strDistToLast, &m_strPixelSize, &m_strErrorSummary, &m_strAz,
          &m_strEl, &m_strMissDistance, &m_strSitePos}) {
        field->clear();
    }
    UpdateData(false);
}

void CCalcDlg::OnCalculate() {
    Calculate(nullptr);
}

void CCalcDlg::CalculateQuietly(std::vector<std::string>& messages) {
    // The pixels given since the last refresh reach their fields; the other
    // fields, and the cameras chosen, stay as the user left them.
    DataExchange dx(false, m_ui);
    for (const auto& [id, value] : {std::pair{IDC_LEFT_COL, &m_dLeftCol},
                                    {IDC_LEFT_ROW, &m_dLeftRow},
                                    {IDC_RIGHT_COL, &m_dRightCol},
                                    {IDC_RIGHT_ROW, &m_dRightRow}}) {
        dx.Double(static_cast<QLineEdit*>(Control(id)), *value);
    }
    Calculate(&messages);
}

std::optional<CalcOptions> CCalcDlg::CurrentOptions() const {
    const auto number = [this](int id, double fallback) {
        bool ok = false;
        const double v = static_cast<QLineEdit*>(Control(id))->text().trimmed().toDouble(&ok);
        return ok ? v : fallback;
    };
    CalcOptions options;
    options.bProductModels = m_chkProductModels->isChecked();
    if (!options.bProductModels || !PairCarriesModels()) {
        options.leftCamera = m_cbCamLeft->currentIndex();
        options.rightCamera = m_cbCamRight->currentIndex();
    }
    options.b2D = static_cast<QCheckBox*>(Control(IDC_2D))->isChecked();
    options.bRLVector = static_cast<QCheckBox*>(Control(IDC_RL_VECTOR))->isChecked();
    options.strRLVector =
        static_cast<QLineEdit*>(Control(IDC_RL_VECTOR_TEXT))->text().toStdString();
    options.dAzCorrLeft = number(IDC_AZ_CORR_LEFT, m_dAzCorrLeft);
    options.dAzCorrRight = number(IDC_AZ_CORR_RIGHT, m_dAzCorrRight);
    return options;
}

void CCalcDlg::AutoMatchChanged() {
    m_chkAutoMatch->setChecked(m_pHost != nullptr && m_pHost->AutoMatch());
}

void CCalcDlg::OnAutoMatch() {
    if (m_pHost != nullptr) {
        m_pHost->SetAutoMatch(m_chkAutoMatch->isChecked());
    }
}

void CCalcDlg::Calculate(std::vector<std::string>* messages) {
    // A refused entry has been reported; the calculation goes on with the
    // members as they now stand.
    UpdateData(true);

    const RangeCalcInput in = CalculationInput(CalculationOptions());
    const RangeCalcResult r = CalculateRange(in);
    ShowModelSources(in);
    // One calculation says each thing once: its nine intersections may raise
    // the same solver message nine times.
    std::vector<std::string> said;
    for (const std::string& message : r.vMessages) {
        if (std::find(said.begin(), said.end(), message) == said.end()) {
            said.push_back(message);
        }
    }
    if (messages != nullptr) {
        messages->insert(messages->end(), said.begin(), said.end());
    } else if (!said.empty()) {
        std::string text;
        for (const std::string& message : said) {
            text += (text.empty() ? "" : "\n") + message;
        }
        m_ui.ShowMessage(text);
    }
    m_strRange = r.strRange;
    m_strPos = r.strPos;
    m_strDistToLast = r.strDistToLast;
    m_strPixelSize = r.strPixelSize;
    m_strErrorSummary = r.strErrorSummary;
    m_strAz = r.strAz;
    m_strEl = r.strEl;
    m_strMissDistance.clear();
    m_strSitePos.clear();
    if (r.bOk) {
        m_ptLastPos = r.ptNewLastPos;
        const PixelSigmas sigmas =
            m_pHost != nullptr
                ? m_pHost->MarkSigmas({m_dLeftCol, m_dLeftRow}, {m_dRightCol, m_dRightRow})
                : m_pixelSigmas;
        const MeasurementRecord record = RecordOfCalculation(
            in, r, PixelSource::Clicked, PixelSource::Clicked, sigmas, UtcNow());
        // The product pair's own rays; the catalogue's from the record.
        const std::optional<double> miss = r.missDistance ? r.missDistance : record.missDistanceM;
        if (miss) {
            m_strMissDistance = StrFormat("%.6f", *miss);
        }
        if (r.sitePosition) {
            const CPoint3D& p = *r.sitePosition;
            m_strSitePos = StrFormat("%.4f,%.4f,%.4f", p.m_dX, p.m_dY, p.m_dZ);
        }
        if (m_pHost != nullptr) {
            m_pHost->AppendMeasurementRecord(record);
        }
    }
    UpdateData(false);
}

void CCalcDlg::OnCopyPosition() {
    UpdateData(true);
    m_strRLVector = m_strPos;
    UpdateData(false);
}

void CCalcDlg::OnRLVector() {
    UpdateData(true);
    if (m_pHost != nullptr) {
        m_pHost->CalcOptionsChanged();
    }
}

void CCalcDlg::OnSelChangeLeftCamera() {
    UpdateData(true);
    m_nCamLeft = m_cbCamLeft->currentIndex();
    if (m_bProductModels && PairCarriesModels()) {
        // A camera chosen by hand is measured with.
        m_bProductModels = false;
        SaveProductModelsSetting();
    }
    ShowModelSources(CalculationInput(CalculationOptions()));
    UpdateData(false);
    if (m_pHost != nullptr) {
        m_pHost->CalcOptionsChanged();
    }
}

void CCalcDlg::OnSelChangeRightCamera() {
    UpdateData(true);
    m_nCamRight = m_cbCamRight->currentIndex();
    if (m_bProductModels && PairCarriesModels()) {
        m_bProductModels = false;
        SaveProductModelsSetting();
    }
    ShowModelSources(CalculationInput(CalculationOptions()));
    UpdateData(false);
    if (m_pHost != nullptr) {
        m_pHost->CalcOptionsChanged();
    }
}

void CCalcDlg::OnProductModels() {
    UpdateData(true);
    SaveProductModelsSetting();
    RefreshPointing();
    if (m_pHost != nullptr) {
        m_pHost->CalcOptionsChanged();
    }
}

void CCalcDlg::SaveProductModelsSetting() const {
    QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
    settings.beginGroup(CChildView::kSettingsName);
    settings.setValue("m_bProductModels", m_bProductModels ? 1 : 0);
}

void CCalcDlg::On2D() {
    UpdateData(true);
    UpdateData(false);
    if (m_pHost != nullptr) {
        m_pHost->CalcOptionsChanged();
    }
}

void CCalcDlg::reject() {
    if (m_pHost == nullptr) {
        QDialog::reject();
        return;
    }
    // The view hides and deletes the dialog when the notification arrives;
    // it is delivered to the application object, so the dialog is never
    // deleted inside its own event handler, and it is dropped when the
    // dialog is already gone by then.
    QPointer<CCalcDlg> self(this);
    ICalcHost* host = m_pHost;
    QMetaObject::invokeMethod(
        qApp,
        [self, host] {
            if (self) {
                host->CalcDialogClosed();
            }
        },
        Qt::QueuedConnection);
}
