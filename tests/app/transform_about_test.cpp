// The Transform Vertex Files dialog and the About box.
#include "app/DialogUnits.h"
#include "app/MyAboutDlg.h"
#include "app/TransformDlg.h"
#include "tests/support/FakeUi.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
QLineEdit* Edit(const CTransformDlg& dlg, int id) {
    return qobject_cast<QLineEdit*>(dlg.Control(id));
}
void Click(const CTransformDlg& dlg, int id) {
    QTest::mouseClick(dlg.Control(id), Qt::LeftButton);
}
} // namespace

TEST(TransformDialog, TemplateLayout) {
    FakeUi ui;
    CTransformDlg dlg(ui);
    const DialogUnits du(dlg.font());
    EXPECT_EQ(dlg.windowTitle(), "Transform Vertex Files");
    EXPECT_EQ(dlg.size(), du.Size(186, 202));
    EXPECT_EQ(dlg.Control(IDC_SOURCE_FILE)->geometry(), du.Rect(0, 72, 78, 14));
    EXPECT_EQ(dlg.Control(IDC_REFERENCE_INDEX_1 + 2)->geometry(), du.Rect(156, 90, 17, 14));
    EXPECT_EQ(dlg.Control(IDC_SOURCE_INDEX_1 + 1)->geometry(), du.Rect(30, 90, 17, 14));
    EXPECT_EQ(dlg.Control(IDC_REFERENCE_TITLE)->geometry(), du.Rect(0, 132, 180, 14));
    EXPECT_EQ(dlg.Control(IDC_TRANSFORM)->geometry(), du.Rect(60, 150, 62, 25));
    EXPECT_TRUE(qobject_cast<QPushButton*>(dlg.Control(IDC_TRANSFORM))->isDefault());
    EXPECT_TRUE(Edit(dlg, IDC_SOURCE_TITLE)->isReadOnly());
    EXPECT_EQ(Edit(dlg, IDC_SOURCE_INDEX_1)->text(), "0");
}

TEST(TransformDialog, ChoosersFillTitlesAndTransformTakesTheIndices) {
    FakeUi ui;
    CTransformDlg dlg(ui);
    // Indices typed before a file is chosen are replaced by the members.
    Edit(dlg, IDC_SOURCE_INDEX_1)->setText("5");
    ui.AnswerOpen({"/work/data/site1.v.txt"});
    Click(dlg, IDC_SOURCE_FILE);
    ASSERT_EQ(ui.requests.size(), 1u);
    EXPECT_EQ(ui.requests[0].title, "Select Source (to transform) Vertex File");
    EXPECT_EQ(ui.requests[0].filter, "Vertex Files (*.txt,*.dat)|*.txt;*.dat||");
    EXPECT_FALSE(ui.requests[0].multiSelect);
    EXPECT_EQ(Edit(dlg, IDC_SOURCE_TITLE)->text(), "site1.v");
    EXPECT_EQ(dlg.m_strSourcePath, "/work/data/site1.v.txt");
    EXPECT_EQ(Edit(dlg, IDC_SOURCE_INDEX_1)->text(), "0");

    // A cancelled chooser changes nothing.
    Click(dlg, IDC_REFERENCE_FILE);
    EXPECT_EQ(ui.requests.back().title, "Select Reference (transform to) Vertex File");
    EXPECT_TRUE(dlg.m_strReferencePath.empty());
    ui.AnswerOpen({"/work/data/ref.dat"});
    Click(dlg, IDC_REFERENCE_FILE);
    EXPECT_EQ(Edit(dlg, IDC_REFERENCE_TITLE)->text(), "ref");

    const int indices[6] = {3, 1, 4, 1, 5, 9};
    for (int k = 0; k < 3; ++k) {
        Edit(dlg, IDC_SOURCE_INDEX_1 + k)->setText(QString::number(indices[k]));
        Edit(dlg, IDC_REFERENCE_INDEX_1 + k)->setText(QString::number(indices[3 + k]));
    }
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.m_nVertexIndex[0][0], 3u);
    EXPECT_EQ(dlg.m_nVertexIndex[2][1], 9u);
}

TEST(TransformDialog, TransformWritesTheMovedFileAndReportsProblems) {
    QTemporaryDir dir;
    const std::string src = (dir.path() + "/site.txt").toStdString();
    const std::string rows = "1.000000\t2.000000\t3.000000\r\n"
                             "4.000000\t-1.000000\t0.500000\r\n"
                             "0.000000\t5.000000\t-2.000000\r\n"
                             "7.250000\t0.000000\t1.000000\r\n";
    {
        QFile f(QString::fromStdString(src));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("header line\r\n" + rows).c_str());
    }
    FakeUi ui;
    CTransformDlg dlg(ui);
    // Nothing chosen yet: the transform cannot open an empty path.
    Click(dlg, IDC_TRANSFORM);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Unable to open "});

    ui.AnswerOpen({src});
    ui.AnswerOpen({src});
    Click(dlg, IDC_SOURCE_FILE);
    Click(dlg, IDC_REFERENCE_FILE);
    for (int k = 0; k < 3; ++k) {
        Edit(dlg, IDC_SOURCE_INDEX_1 + k)->setText(QString::number(k));
        Edit(dlg, IDC_REFERENCE_INDEX_1 + k)->setText(QString::number(k));
    }
    Click(dlg, IDC_TRANSFORM);
    Click(dlg, IDC_TRANSFORM); // again: the output is replaced
    QFile out(dir.path() + "/site_trnsfrmd.txt");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll().toStdString(), rows);
    EXPECT_EQ(ui.messages.size(), 1u); // a transform ends without a message
}

TEST(TransformDialog, RefusedIndexStopsTheTransform) {
    FakeUi ui;
    CTransformDlg dlg(ui);
    for (const char* bad : {"-1", "x", ""}) {
        ui.messages.clear();
        Edit(dlg, IDC_REFERENCE_INDEX_1 + 1)->setText(bad);
        Click(dlg, IDC_TRANSFORM);
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Enter a positive integer."}) << bad;
        EXPECT_EQ(dlg.focusWidget(), dlg.Control(IDC_REFERENCE_INDEX_1 + 1));
    }
}

TEST(TransformDialog, DoneClosesTheDialog) {
    FakeUi ui;
    CTransformDlg dlg(ui);
    QTimer::singleShot(0, &dlg, [&] { QTest::mouseClick(dlg.Control(IDC_DONE), Qt::LeftButton); });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
}

TEST(AboutBox, TextIsRebuiltOnEveryOpening) {
    const std::string text = BuildAboutText();
    EXPECT_NE(text.find("CAHVOR"), std::string::npos);
    EXPECT_NE(text.find("17 August, 2006"), std::string::npos);
    const std::string tail = "     PAGEUP/PAGEDOWN -> Zooms in/out of images (together).\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // Exactly eight indented kernel lines between the colon and the
    // signature.
    const auto from = text.find(":\n") + 2;
    const auto to = text.find("\n\n", from);
    int lines = 0;
    for (auto p = from; p < to; p = text.find('\n', p) + 1) {
        EXPECT_EQ(text.compare(p, 5, "     "), 0);
        ++lines;
    }
    EXPECT_EQ(lines, 8);

    // First opening: the user edits the text; the second shows it afresh.
    std::vector<QString> shown;
    auto editAndClose = [&] {
        auto* dlg = qobject_cast<CMyAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        shown.push_back(dlg->TextControl()->toPlainText());
        EXPECT_FALSE(dlg->TextControl()->isReadOnly());
        dlg->TextControl()->setPlainText("scribbled over");
        dlg->accept();
    };
    QTimer::singleShot(0, editAndClose);
    RunAboutDialog(nullptr);
    QTimer::singleShot(0, editAndClose);
    RunAboutDialog(nullptr);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].toStdString(), text);
    EXPECT_EQ(shown[1], shown[0]);
}
