#include "app/RegisterDlg.h"

#include "app/DataExchange.h"
#include "app/DialogUnits.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "registration/Correspondence.h"
#include "registration/Registration.h"
#include "registration/VertexFile.h"
#include "registration/VertexRegistration.h"
#include "ui/UiMessageSink.h"
#include "ui/UiServices.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr const char* kFilter = "Vertex Files (*.txt,*.dat)|*.txt;*.dat||";

// Ends the wait cursor however the work ends.
class WaitCursor {
public:
    explicit WaitCursor(IUiServices& ui) : m_ui(ui) { m_ui.BeginWaitCursor(); }
    ~WaitCursor() { m_ui.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    IUiServices& m_ui;
};

QTableWidgetItem* ReadOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

CRegisterDlg::CRegisterDlg(IUiServices& ui, QWidget* parent) : QDialog(parent), m_ui(ui) {
    CreateControls();
}

void CRegisterDlg::CreateControls() {
    setWindowTitle(QStringLiteral("Register Vertices"));
    setFont(DialogFont());
    auto remember = [&](int id, QWidget* w) {
        w->setObjectName(QStringLiteral("ctl%1").arg(id));
        m_mControls[id] = w;
        return w;
    };
    auto button = [&](int id, const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setAutoDefault(false);
        remember(id, b);
        return b;
    };
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Moves the vertices of one file into the frame of another by the rigid "
                       "motion that best fits every vertex pair (0-based indices into each "
                       "file's vertices). Find Automatically looks for the pairs itself."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* files = new QGridLayout;
    QPushButton* source = button(IDC_REG_SOURCE_FILE, "Source Frame File...");
    QPushButton* reference = button(IDC_REG_REFERENCE_FILE, "Reference Frame File...");
    auto* sourceTitle = new QLineEdit(this);
    auto* referenceTitle = new QLineEdit(this);
    sourceTitle->setReadOnly(true);
    referenceTitle->setReadOnly(true);
    remember(IDC_REG_SOURCE_TITLE, sourceTitle);
    remember(IDC_REG_REFERENCE_TITLE, referenceTitle);
    files->addWidget(source, 0, 0);
    files->addWidget(sourceTitle, 0, 1);
    files->addWidget(reference, 1, 0);
    files->addWidget(referenceTitle, 1, 1);
    layout->addLayout(files);

    auto* table = new QTableWidget(0, 4, this);
    table->setHorizontalHeaderLabels({QStringLiteral("Source"), QStringLiteral("Reference"),
                                      QStringLiteral("Residual (m)"), QStringLiteral("Outlier")});
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setMinimumHeight(DialogUnits(font()).Y(110));
    remember(IDC_REG_PAIRS, table);
    layout->addWidget(table);

    auto* rows = new QHBoxLayout;
    QPushButton* add = button(IDC_REG_ADD_PAIR, "Add Pair");
    QPushButton* remove = button(IDC_REG_REMOVE_PAIR, "Remove Pair");
    rows->addWidget(add);
    rows->addWidget(remove);
    rows->addStretch();
    rows->addWidget(new QLabel(QStringLiteral("Tolerance (m)"), this));
    auto* tolerance = new QLineEdit(this);
    tolerance->setPlaceholderText(QStringLiteral("from ranges"));
    remember(IDC_REG_TOLERANCE, tolerance);
    rows->addWidget(tolerance);
    QPushButton* find = button(IDC_REG_FIND, "Find Automatically");
    rows->addWidget(find);
    layout->addLayout(rows);

    auto* results = new QHBoxLayout;
    auto* rms = new QLabel(QStringLiteral("RMS: -"), this);
    remember(IDC_REG_RMS, rms);
    results->addWidget(rms);
    results->addStretch();
    QPushButton* fit = button(IDC_REG_FIT, "Residuals");
    QPushButton* drop = button(IDC_REG_DROP_OUTLIERS, "Drop Outliers");
    drop->setEnabled(false);
    results->addWidget(fit);
    results->addWidget(drop);
    layout->addLayout(results);

    auto* status = new QLabel(this);
    status->setWordWrap(true);
    remember(IDC_REG_STATUS, status);
    layout->addWidget(status);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    QPushButton* write = button(IDC_REG_WRITE, "REGISTER");
    write->setDefault(true);
    QPushButton* done = button(IDC_REG_DONE, "Done");
    bottom->addWidget(write);
    bottom->addWidget(done);
    layout->addLayout(bottom);

    connect(source, &QPushButton::clicked, this, &CRegisterDlg::OnSourceFile);
    connect(reference, &QPushButton::clicked, this, &CRegisterDlg::OnReferenceFile);
    connect(add, &QPushButton::clicked, this, &CRegisterDlg::OnAddPair);
    connect(remove, &QPushButton::clicked, this, &CRegisterDlg::OnRemovePair);
    connect(find, &QPushButton::clicked, this, &CRegisterDlg::OnFindAutomatically);
    connect(fit, &QPushButton::clicked, this, &CRegisterDlg::OnFit);
    connect(drop, &QPushButton::clicked, this, &CRegisterDlg::OnDropOutliers);
    connect(write, &QPushButton::clicked, this, &CRegisterDlg::OnWrite);
    connect(done, &QPushButton::clicked, this, &CRegisterDlg::reject);
    // An edited pair makes the shown residuals stale.
    connect(table, &QTableWidget::itemChanged, this, [this] {
        if (!m_bFilling) {
            ClearFit();
        }
    });
}

QWidget* CRegisterDlg::Control(int id) const {
    const auto it = m_mControls.find(id);
    return it == m_mControls.end() ? nullptr : it->second;
}

QTableWidget* CRegisterDlg::Table() const {
    return static_cast<QTableWidget*>(Control(IDC_REG_PAIRS));
}

void CRegisterDlg::SetStatus(const std::string& text) {
    static_cast<QLabel*>(Control(IDC_REG_STATUS))->setText(QString::fromStdString(text));
}

void CRegisterDlg::ChooseFile(const char* title, std::string& path, int titleControl) {
    FileChooserRequest request;
    request.title = title;
    request.filter = kFilter;
    const std::vector<std::string> chosen = m_ui.ChooseOpenFiles(request);
    if (chosen.empty() || chosen.front().empty()) {
        return;
    }
    path = chosen.front();
    static_cast<QLineEdit*>(Control(titleControl))
        ->setText(QString::fromStdString(PathTitle(path)));
    ClearFit();
}

void CRegisterDlg::OnSourceFile() {
    ChooseFile("Select Source (to transform) Vertex File", m_strSourcePath, IDC_REG_SOURCE_TITLE);
}

void CRegisterDlg::OnReferenceFile() {
    ChooseFile("Select Reference (transform to) Vertex File", m_strReferencePath,
               IDC_REG_REFERENCE_TITLE);
}

void CRegisterDlg::OnAddPair() {
    QTableWidget* table = Table();
    m_bFilling = true;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, kSourceColumn, new QTableWidgetItem(QStringLiteral("0")));
    table->setItem(row, kReferenceColumn, new QTableWidgetItem(QStringLiteral("0")));
    table->setItem(row, kResidualColumn, ReadOnlyItem({}));
    table->setItem(row, kOutlierColumn, ReadOnlyItem({}));
    m_bFilling = false;
    ClearFit();
    table->setCurrentCell(row, kSourceColumn);
}

void CRegisterDlg::OnRemovePair() {
    QTableWidget* table = Table();
    const int row = table->currentRow();
    if (row >= 0) {
        table->removeRow(row);
        ClearFit();
    }
}

bool CRegisterDlg::LoadFiles(std::vector<CPoint3D>& source, std::vector<CPoint3D>& reference) {
    const ScopedUiMessages messages(m_ui);
    auto s = ReadVertexFile(m_strSourcePath);
    if (!s) {
        return false;
    }
    auto r = ReadVertexFile(m_strReferencePath);
    if (!r) {
        return false;
    }
    source = std::move(*s);
    reference = std::move(*r);
    return true;
}

std::optional<std::vector<IndexPair>> CRegisterDlg::TablePairs() {
    QTableWidget* table = Table();
    std::vector<IndexPair> pairs;
    for (int row = 0; row < table->rowCount(); ++row) {
        std::uint32_t idx[2] = {};
        for (int col = 0; col < 2; ++col) {
            const QTableWidgetItem* item = table->item(row, col);
            const auto v = ParseDialogUnsigned(item ? item->text().toStdString() : std::string());
            if (!v) {
                m_ui.ShowMessage("Enter a positive integer.");
                table->setCurrentCell(row, col);
                return std::nullopt;
            }
            idx[col] = *v;
        }
        pairs.push_back({idx[0], idx[1]});
    }
    return pairs;
}

void CRegisterDlg::ShowPairs(const std::vector<IndexPair>& pairs) {
    QTableWidget* table = Table();
    m_bFilling = true;
    table->setRowCount(static_cast<int>(pairs.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const IndexPair& p = pairs[static_cast<size_t>(row)];
        table->setItem(row, kSourceColumn, new QTableWidgetItem(QString::number(p.source)));
        table->setItem(row, kReferenceColumn, new QTableWidgetItem(QString::number(p.reference)));
        table->setItem(row, kResidualColumn, ReadOnlyItem({}));
        table->setItem(row, kOutlierColumn, ReadOnlyItem({}));
    }
    m_bFilling = false;
}

void CRegisterDlg::ClearFit() {
    m_fit.reset();
    m_vOutlierRows.clear();
    QTableWidget* table = Table();
    m_bFilling = true;
    for (int row = 0; row < table->rowCount(); ++row) {
        for (const int col : {kResidualColumn, kOutlierColumn}) {
            if (QTableWidgetItem* item = table->item(row, col)) {
                item->setText({});
            }
        }
    }
    m_bFilling = false;
    static_cast<QLabel*>(Control(IDC_REG_RMS))->setText(QStringLiteral("RMS: -"));
    Control(IDC_REG_DROP_OUTLIERS)->setEnabled(false);
}

void CRegisterDlg::ShowFit() {
    QTableWidget* table = Table();
    m_bFilling = true;
    for (int row = 0; row < table->rowCount(); ++row) {
        const double d = m_fit->residualsM[static_cast<size_t>(row)];
        const bool outlier =
            std::find(m_vOutlierRows.begin(), m_vOutlierRows.end(), row) != m_vOutlierRows.end();
        table->setItem(row, kResidualColumn,
                       ReadOnlyItem(QString::fromStdString(StrFormat("%.4f", d))));
        table->setItem(row, kOutlierColumn,
                       ReadOnlyItem(outlier ? QStringLiteral("outlier") : QString()));
    }
    m_bFilling = false;
    static_cast<QLabel*>(Control(IDC_REG_RMS))
        ->setText(QString::fromStdString(StrFormat("RMS: %.4f m", m_fit->rmsM)));
    Control(IDC_REG_DROP_OUTLIERS)->setEnabled(!m_vOutlierRows.empty());
}

bool CRegisterDlg::Fit(std::vector<CPoint3D>* sourceOut) {
    const auto pairs = TablePairs();
    if (!pairs) {
        return false;
    }
    std::vector<CPoint3D> source;
    std::vector<CPoint3D> reference;
    if (!LoadFiles(source, reference)) {
        return false;
    }
    ClearFit();
    const PairPointsResult points = PairPoints(source, reference, *pairs);
    if (!points.Ok()) {
        m_ui.ShowMessage(points.message);
        return false;
    }
    LeastSquaresResult fit = RegisterLeastSquares(points.source, points.reference);
    if (!fit.Ok()) {
        m_ui.ShowMessage(fit.message);
        return false;
    }
    for (const size_t k : FlagOutlierPairs(points.source, points.reference)) {
        m_vOutlierRows.push_back(static_cast<int>(k));
    }
    m_fit = std::move(fit);
    ShowFit();
    std::string status = StrFormat("%zu pairs", pairs->size());
    if (!m_vOutlierRows.empty()) {
        status += StrFormat("; %zu beyond 3 sigma of the rest: Drop Outliers registers without "
                            "them",
                            m_vOutlierRows.size());
    }
    if (!m_fit->warning.empty()) {
        status += ". " + m_fit->warning;
    }
    SetStatus(status);
    if (sourceOut != nullptr) {
        *sourceOut = std::move(source);
    }
    return true;
}

void CRegisterDlg::OnFit() {
    Fit();
}

void CRegisterDlg::OnDropOutliers() {
    if (m_vOutlierRows.empty()) {
        return;
    }
    std::vector<int> rows = m_vOutlierRows;
    std::sort(rows.rbegin(), rows.rend());
    m_bFilling = true;
    for (const int row : rows) {
        Table()->removeRow(row);
    }
    m_bFilling = false;
    Fit();
}

void CRegisterDlg::OnFindAutomatically() {
    std::optional<double> tolerance;
    auto* edit = static_cast<QLineEdit*>(Control(IDC_REG_TOLERANCE));
    if (!edit->text().trimmed().isEmpty()) {
        tolerance = ParseDialogDouble(edit->text().toStdString());
        if (!tolerance || *tolerance <= 0.0) {
            m_ui.ShowMessage("Enter a positive tolerance in metres, or leave it empty.");
            edit->setFocus();
            return;
        }
    }
    std::vector<CPoint3D> source;
    std::vector<CPoint3D> reference;
    if (!LoadFiles(source, reference)) {
        return;
    }
    CorrespondenceOptions options;
    options.toleranceM = tolerance;
    CorrespondenceResult found;
    {
        const WaitCursor wait(m_ui);
        found = FindCorrespondences(source, reference, options);
    }
    if (!found.Found()) {
        m_ui.ShowMessage(found.message);
        return;
    }
    ShowPairs(found.pairs);
    m_vOutlierRows.clear();
    m_fit = std::move(found.fit);
    ShowFit();
    SetStatus(StrFormat("%zu pairs found within %.3f m", found.pairs.size(), found.toleranceM));
}

void CRegisterDlg::OnWrite() {
    std::vector<CPoint3D> source;
    if (!Fit(&source)) {
        return;
    }
    const std::string output = TransformedPath(m_strSourcePath);
    const ScopedUiMessages messages(m_ui);
    if (WriteMovedVertices(output, source, m_fit->motion)) {
        SetStatus(StrFormat("%zu vertices written to %s", source.size(), output.c_str()));
    }
}
