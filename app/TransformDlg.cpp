#include "app/TransformDlg.h"

#include "app/DataExchange.h"
#include "app/DialogUnits.h"
#include "base/Paths.h"
#include "registration/Registration.h"
#include "ui/UiMessageSink.h"
#include "ui/UiServices.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CTransformDlg::CTransformDlg(IUiServices& ui, QWidget* parent) : QDialog(parent), m_ui(ui) {
    CreateControls();
    UpdateData(false);
}

void CTransformDlg::CreateControls() {
    setWindowTitle(QStringLiteral("Transform Vertex Files"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.Size(186, 202));

    auto remember = [&](int id, QWidget* w) {
        w->setObjectName(QStringLiteral("ctl%1").arg(id));
        m_mControls[id] = w;
    };
    auto button = [&](int id, const char* text, int x, int y, int w, int h) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setAutoDefault(false);
        du.Place(b, x, y, w, h);
        remember(id, b);
        return b;
    };
    auto edit = [&](int id, int x, int y, int w, int h) {
        auto* e = new QLineEdit(this);
        du.Place(e, x, y, w, h);
        remember(id, e);
        return e;
    };

    auto* intro = new QLabel(
        QStringLiteral("Use this tool to transform vertices in one file to the reference frame "
                       "of those in another file.  This utility requires 3 common vertices in "
                       "each file, referenced by 0-based indices into the list of vertices "
                       "contained in that file."),
        this);
    intro->setWordWrap(true);
    intro->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    du.Place(intro, 7, 7, 172, 48);
    du.Place(new QLabel(QStringLiteral("File to transform"), this), 12, 60);
    du.Place(new QLabel(QStringLiteral("Reference frame file"), this), 108, 60);

    QPushButton* source = button(IDC_SOURCE_FILE, "Source Frame File", 0, 72, 78, 14);
    QPushButton* reference = button(IDC_REFERENCE_FILE, "Reference Frame File", 102, 72, 80, 14);
    for (int k = 0; k < 3; ++k) {
        edit(IDC_SOURCE_INDEX_1 + k, 6 + 24 * k, 90, 17, 14);
    }
    for (int k = 0; k < 3; ++k) {
        edit(IDC_REFERENCE_INDEX_1 + k, 108 + 24 * k, 90, 17, 14);
    }
    edit(IDC_SOURCE_TITLE, 0, 114, 180, 14)->setReadOnly(true);
    edit(IDC_REFERENCE_TITLE, 0, 132, 180, 14)->setReadOnly(true);
    QPushButton* transform = button(IDC_TRANSFORM, "TRANSFORM", 60, 150, 62, 25);
    transform->setDefault(true);
    QPushButton* done = button(IDC_DONE, "Done", 65, 183, 50, 14);

    connect(source, &QPushButton::clicked, this, &CTransformDlg::OnSourceFile);
    connect(reference, &QPushButton::clicked, this, &CTransformDlg::OnReferenceFile);
    connect(transform, &QPushButton::clicked, this, &CTransformDlg::OnTransform);
    connect(done, &QPushButton::clicked, this, &CTransformDlg::reject);
}

QWidget* CTransformDlg::Control(int id) const {
    const auto it = m_mControls.find(id);
    return it == m_mControls.end() ? nullptr : it->second;
}

bool CTransformDlg::UpdateData(bool take) {
    DataExchange dx(take, m_ui);
    auto lineEdit = [this](int id) { return static_cast<QLineEdit*>(Control(id)); };
    for (int k = 0; k < 3; ++k) {
        dx.Unsigned(lineEdit(IDC_SOURCE_INDEX_1 + k), m_nVertexIndex[k][0]);
    }
    for (int k = 0; k < 3; ++k) {
        dx.Unsigned(lineEdit(IDC_REFERENCE_INDEX_1 + k), m_nVertexIndex[k][1]);
    }
    dx.Text(lineEdit(IDC_SOURCE_TITLE), m_strSourceTitle);
    dx.Text(lineEdit(IDC_REFERENCE_TITLE), m_strReferenceTitle);
    return dx.Ok();
}

void CTransformDlg::ChooseFile(const char* title, std::string& path, std::string& fileTitle) {
    FileChooserRequest request;
    request.title = title;
    request.filter = "Vertex Files (*.txt,*.dat)|*.txt;*.dat||";
    const std::vector<std::string> chosen = m_ui.ChooseOpenFiles(request);
    if (chosen.empty() || chosen.front().empty()) {
        return;
    }
    path = chosen.front();
    fileTitle = PathTitle(path);
    UpdateData(false);
}

void CTransformDlg::OnSourceFile() {
    ChooseFile("Select Source (to transform) Vertex File", m_strSourcePath, m_strSourceTitle);
}

void CTransformDlg::OnReferenceFile() {
    ChooseFile("Select Reference (transform to) Vertex File", m_strReferencePath,
               m_strReferenceTitle);
}

void CTransformDlg::OnTransform() {
    // A refused index has been reported; transforming with the indices of an
    // earlier entry would write a file the user did not ask for.
    if (!UpdateData(true)) {
        return;
    }
    const ScopedUiMessages messages(m_ui);
    TransformVertexFile(m_strSourcePath, m_strReferencePath,
                        {m_nVertexIndex[0][0], m_nVertexIndex[1][0], m_nVertexIndex[2][0]},
                        {m_nVertexIndex[0][1], m_nVertexIndex[1][1], m_nVertexIndex[2][1]});
}
