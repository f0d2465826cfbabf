// The Register Vertices dialog driven through its controls with a fake UI.
#include "app/RegisterDlg.h"
#include "registration/VertexFile.h"
#include "tests/support/FakeUi.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A quarter turn about Z and a shift.
CPoint3D Moved(const CPoint3D& p) {
    return {-p.m_dY + 5.0, p.m_dX - 2.0, p.m_dZ + 1.0};
}

const std::vector<CPoint3D> kRocks = {{10, 0, 0},    {13, 1, 0.5}, {11, 5, 1},   {12, 2, 4},
                                      {17, -3, 0.2}, {8, 6, -1},   {20, 9, 2.5}, {15, -8, 0},
                                      {9, -4, 1.5},  {14, 7, -0.5}};

class RegisterDialog : public ::testing::Test {
protected:
    // The source as given; the reference moved and listed backwards.
    void SetUp() override {
        std::string src;
        std::string ref;
        for (const CPoint3D& p : kRocks) {
            AppendVertexLine(src, p);
        }
        for (auto it = kRocks.rbegin(); it != kRocks.rend(); ++it) {
            AppendVertexLine(ref, Moved(*it));
        }
        sourcePath = Write("site 2.txt", src);
        referencePath = Write("site1.txt", ref);
    }
    std::string Write(const QString& name, const std::string& bytes) const {
        QFile f(dir.path() + "/" + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return f.fileName().toStdString();
    }
    void Click(int id) const { QTest::mouseClick(dlg.Control(id), Qt::LeftButton); }
    void ChooseBoth() {
        ui.AnswerOpen({sourcePath});
        ui.AnswerOpen({referencePath});
        Click(IDC_REG_SOURCE_FILE);
        Click(IDC_REG_REFERENCE_FILE);
    }
    void TypePairs(const std::vector<std::pair<int, int>>& pairs) {
        for (const auto& [s, r] : pairs) {
            Click(IDC_REG_ADD_PAIR);
            const int row = dlg.Table()->rowCount() - 1;
            dlg.Table()->item(row, CRegisterDlg::kSourceColumn)->setText(QString::number(s));
            dlg.Table()->item(row, CRegisterDlg::kReferenceColumn)->setText(QString::number(r));
        }
    }
    QString Cell(int row, int col) const {
        const QTableWidgetItem* item = dlg.Table()->item(row, col);
        return item ? item->text() : QString("<none>");
    }
    QString Label(int id) const { return qobject_cast<QLabel*>(dlg.Control(id))->text(); }

    QTemporaryDir dir;
    std::string sourcePath;
    std::string referencePath;
    FakeUi ui;
    CRegisterDlg dlg{ui};
};

} // namespace

TEST_F(RegisterDialog, FindAutomaticallyFillsThePairsAndRegisterWritesTheMovedFile) {
    ChooseBoth();
    EXPECT_EQ(ui.requests[0].title, "Select Source (to transform) Vertex File");
    EXPECT_EQ(ui.requests[1].filter, "Vertex Files (*.txt,*.dat)|*.txt;*.dat||");
    EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.Control(IDC_REG_SOURCE_TITLE))->text(), "site 2");
    qobject_cast<QLineEdit*>(dlg.Control(IDC_REG_TOLERANCE))->setText("0.05");
    Click(IDC_REG_FIND);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    EXPECT_EQ(ui.waitDepth, 0);
    const int n = static_cast<int>(kRocks.size());
    ASSERT_EQ(dlg.Table()->rowCount(), n);
    for (int row = 0; row < n; ++row) {
        EXPECT_EQ(Cell(row, 0).toInt() + Cell(row, 1).toInt(), n - 1);
        EXPECT_EQ(Cell(row, CRegisterDlg::kResidualColumn), "0.0000");
    }
    EXPECT_EQ(Label(IDC_REG_RMS), "RMS: 0.0000 m");

    Click(IDC_REG_WRITE);
    EXPECT_TRUE(ui.messages.empty());
    QFile out(dir.path() + "/site 2_trnsfrmd.txt");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const auto written = ParseVertexText(out.readAll().toStdString());
    ASSERT_EQ(written.size(), kRocks.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_LT((written[i] - Moved(kRocks[i])).Length(), 2e-6);
    }
    EXPECT_TRUE(Label(IDC_REG_STATUS).contains("10 vertices written"));
}

TEST_F(RegisterDialog, AnOutlierIsFlaggedAndDroppingItRefitsWithoutIt) {
    ChooseBoth();
    const int n = static_cast<int>(kRocks.size());
    // Six right pairs and one wrong one.
    TypePairs({{0, n - 1}, {1, n - 2}, {2, n - 3}, {3, n - 4}, {4, n - 5}, {5, 0}, {6, n - 7}});
    Click(IDC_REG_FIT);
    ASSERT_TRUE(dlg.m_fit);
    EXPECT_EQ(dlg.m_vOutlierRows, std::vector<int>{5});
    EXPECT_EQ(Cell(5, CRegisterDlg::kOutlierColumn), "outlier");
    EXPECT_EQ(Cell(0, CRegisterDlg::kOutlierColumn), "");
    EXPECT_TRUE(dlg.Control(IDC_REG_DROP_OUTLIERS)->isEnabled());
    const double before = dlg.m_fit->rmsM;
    EXPECT_GT(before, 0.5);

    Click(IDC_REG_DROP_OUTLIERS);
    ASSERT_TRUE(dlg.m_fit);
    EXPECT_EQ(dlg.Table()->rowCount(), 6);
    EXPECT_LT(dlg.m_fit->rmsM, 1e-9);
    EXPECT_TRUE(dlg.m_vOutlierRows.empty());
    EXPECT_FALSE(dlg.Control(IDC_REG_DROP_OUTLIERS)->isEnabled());
    EXPECT_EQ(Cell(5, 0), "6");

    // Editing a pair makes the shown residuals stale.
    dlg.Table()->item(0, 0)->setText("1");
    EXPECT_FALSE(dlg.m_fit);
    EXPECT_EQ(Cell(0, CRegisterDlg::kResidualColumn), "");
    EXPECT_EQ(Label(IDC_REG_RMS), "RMS: -");
}

TEST_F(RegisterDialog, RefusalsAreShownAndWriteNothing) {
    // No files chosen.
    TypePairs({{0, 0}, {1, 1}, {2, 2}});
    Click(IDC_REG_FIT);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Unable to open "});

    ChooseBoth();
    ui.messages.clear();
    dlg.Table()->item(1, 1)->setText("x");
    Click(IDC_REG_WRITE);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Enter a positive integer."});
    EXPECT_EQ(dlg.Table()->currentRow(), 1);
    EXPECT_EQ(dlg.Table()->currentColumn(), 1);

    ui.messages.clear();
    dlg.Table()->item(1, 1)->setText("99");
    Click(IDC_REG_WRITE);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("reference vertex 99"), std::string::npos);
    EXPECT_FALSE(QFile::exists(dir.path() + "/site 2_trnsfrmd.txt"));

    // A symmetric scene: a cube's corners.
    std::string cube;
    for (int k = 0; k < 8; ++k) {
        AppendVertexLine(cube, {3.0 * (k & 1), 3.0 * ((k >> 1) & 1), 3.0 * ((k >> 2) & 1)});
    }
    const std::string cubePath = Write("cube.txt", cube);
    ui.AnswerOpen({cubePath});
    ui.AnswerOpen({cubePath});
    Click(IDC_REG_SOURCE_FILE);
    Click(IDC_REG_REFERENCE_FILE);
    ui.messages.clear();
    Click(IDC_REG_FIND);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("symmetric"), std::string::npos);
    EXPECT_EQ(dlg.Table()->rowCount(), 3); // the typed pairs stay
    EXPECT_EQ(ui.waitDepth, 0);

    ui.messages.clear();
    qobject_cast<QLineEdit*>(dlg.Control(IDC_REG_TOLERANCE))->setText("-1");
    Click(IDC_REG_FIND);
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"Enter a positive tolerance in metres, or leave it empty."});
}

TEST_F(RegisterDialog, DoneClosesTheDialog) {
    QTimer::singleShot(0, &dlg, [&] { Click(IDC_REG_DONE); });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
}
