// The Analyse dialog: its template, data exchange, refresh and close path.
#include "app/CalcDlg.h"
#include "app/DataExchange.h"
#include "app/DialogUnits.h"
#include "imagedb/ImageDatabase.h"
#include "tests/support/FakeUi.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A host whose document follows the files it is given.
class FakeHost : public ICalcHost {
public:
    explicit FakeHost(const ImageDatabase& db) : m_doc(db) {}
    std::string LeftFile() const override { return m_sLeft; }
    std::string RightFile() const override { return m_sRight; }
    PairDocument* OpenPair() override {
        if (m_doc.Setup().leftFile != m_sLeft || m_doc.Setup().rightFile != m_sRight) {
            m_doc.Open({m_sLeft, m_sRight, {}, m_doc.Setup().options});
        }
        return &m_doc;
    }
    void AppendMeasurement(const ImagePoint& left, const ImagePoint& right,
                           const VertexRecord& vertex, const std::string& logEntry) override {
        m_vLeft.push_back(left);
        m_vRight.push_back(right);
        m_vVertices.push_back(vertex);
        m_sLog += logEntry;
    }
    void CalcDialogClosed() override { ++m_nClosed; }

    std::string m_sLeft;
    std::string m_sRight;
    std::vector<ImagePoint> m_vLeft, m_vRight;
    std::vector<VertexRecord> m_vVertices;
    std::string m_sLog;
    int m_nClosed = 0;
    PairDocument m_doc;
};

// Opportunity Navcam left and right of one exposure.
const char* kOppyLeft = "/data/1N128287142EFF0300P1800L0M1.png";
const char* kOppyRight = "/data/1N128287142EFF0300P1800R0M1.png";

class CalcDialogTest : public ::testing::Test {
protected:
    CalcDialogTest() : dlg(&host, ui) {}
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(dlg.Control(id)); }
    QString Text(int id) { return Edit(id)->text(); }
    // The Opportunity pair with marks that intersect about 8.5 m away.
    void OpenOppyPairAt512() {
        host.m_sLeft = kOppyLeft;
        host.m_sRight = kOppyRight;
        dlg.SetLeftPixel(512, 512);
        dlg.SetRightPixel(480, 512);
        dlg.UpdateImageInfo();
    }
    void Type(int id, const QString& text) { Edit(id)->setText(text); }

    ImageDatabase db;
    FakeHost host{db};
    FakeUi ui;
    CCalcDlg dlg;
};

} // namespace

TEST_F(CalcDialogTest, TemplateControlsSitAtTheirDialogUnits) {
    EXPECT_EQ(dlg.windowTitle().toStdString(), kCalcDlgCaption);
    const DialogUnits du(dlg.font());
    // The template, and below it the band of model sources.
    EXPECT_EQ(dlg.size(), du.Size(361, kCalcDlgHeight));
    EXPECT_LE(dlg.Control(IDC_AZ_CORR_RIGHT)->geometry().bottom(),
              dlg.Control(IDC_PRODUCT_MODELS)->geometry().top());
    struct Expect {
        int id;
        QRect rect;
    };
    const Expect table[] = {
        {IDC_CAM_LEFT, du.Rect(7, 7, 82, 13)},
        {IDC_REC_LEFT, du.Rect(7, 22, 87, 10)},
        {IDC_LEFT_COL, du.Rect(7, 33, 40, 14)},
        {IDC_RIGHT_ROW, du.Rect(147, 33, 40, 14)},
        {IDC_AZ_LEFT, du.Rect(18, 48, 29, 14)},
        {IDC_SOL_RIGHT, du.Rect(116, 63, 71, 14)},
        {IDC_RL_VECTOR_TEXT, du.Rect(59, 80, 106, 14)},
        {IDC_CALCULATE, du.Rect(113, 98, 50, 20)},
        {IDC_AZ_CORR_RIGHT, du.Rect(165, 138, 27, 14)},
        {IDC_RANGE, du.Rect(291, 10, 60, 14)},
        {IDC_PIXEL_SIZE, du.Rect(311, 55, 40, 14)},
        {IDC_ERROR_SUMMARY, du.Rect(193, 101, 161, 40)},
    };
    for (const Expect& e : table) {
        ASSERT_NE(dlg.Control(e.id), nullptr) << e.id;
        EXPECT_EQ(dlg.Control(e.id)->geometry(), e.rect) << e.id;
    }
    // Read-only fields and the kinds of the special controls.
    for (int id :
         {IDC_AZ_LEFT, IDC_EL_LEFT, IDC_AZ_RIGHT, IDC_EL_RIGHT, IDC_SOL_LEFT, IDC_SOL_RIGHT}) {
        EXPECT_TRUE(Edit(id)->isReadOnly()) << id;
    }
    for (int id : {IDC_LEFT_COL, IDC_RL_VECTOR_TEXT, IDC_AZ_CORR_LEFT, IDC_RANGE}) {
        EXPECT_FALSE(Edit(id)->isReadOnly()) << id;
    }
    auto* summary = qobject_cast<QTextEdit*>(dlg.Control(IDC_ERROR_SUMMARY));
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(qobject_cast<QPushButton*>(dlg.Control(IDC_CALCULATE))->isDefault());
    EXPECT_EQ(qobject_cast<QCheckBox*>(dlg.Control(IDC_REC_LEFT))->text(), "Img Left (column,row)");
    auto* picture = dlg.findChild<QLabel*>("mastPicture");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), QSize(104, 70));
    EXPECT_EQ(picture->pos(), QPoint(du.X(7), du.Y(105)));
    QStringList groups;
    for (const QGroupBox* g : dlg.findChildren<QGroupBox*>()) {
        groups << g->title();
    }
    groups.sort();
    EXPECT_EQ(groups.join('|').toStdString(), "Estimated Error (+/- 1 Pixel)|Results");
}

TEST(DialogUnitsTest, UnitsFollowTheFontMetrics) {
    QFont small = DialogFont();
    QFont large = small;
    large.setPointSize(16);
    const DialogUnits a(small);
    const DialogUnits b(large);
    EXPECT_GT(b.BaseX(), a.BaseX());
    EXPECT_GT(b.BaseY(), a.BaseY());
    EXPECT_EQ(a.X(4), a.BaseX());
    EXPECT_EQ(a.Y(8), a.BaseY());
    EXPECT_EQ(a.BaseY(), QFontMetrics(small).height());
    // Rounded to nearest: 2 units are half a base width.
    EXPECT_EQ(a.X(2), (a.BaseX() * 2 + 2) / 4);
}

TEST(DataExchangeParse, NumbersAreReadWholeOrRefused) {
    EXPECT_EQ(ParseDialogDouble(" 12.5 "), 12.5);
    EXPECT_EQ(ParseDialogDouble("-0"), 0.0);
    EXPECT_EQ(ParseDialogDouble("+1e3"), 1000.0);
    EXPECT_EQ(ParseDialogDouble(".5"), 0.5);
    for (const char* bad : {"", " ", "abc", "1.5x", "1,5", "inf", "nan", "0x10", "1e999", "--1"}) {
        EXPECT_FALSE(ParseDialogDouble(bad).has_value()) << bad;
    }
    EXPECT_EQ(ParseDialogUnsigned(" 7 "), 7u);
    EXPECT_EQ(ParseDialogUnsigned("4294967295"), 4294967295u);
    for (const char* bad : {"", "-1", "+1", "1.0", "4294967296", "x"}) {
        EXPECT_FALSE(ParseDialogUnsigned(bad).has_value()) << bad;
    }
    EXPECT_EQ(FormatDialogDouble(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatDialogDouble(512.25), "512.25");
}

TEST_F(CalcDialogTest, InitialStateHasCamerasListedAndNothingSelected) {
    auto* left = qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_LEFT));
    auto* right = qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_RIGHT));
    ASSERT_EQ(left->count(), 14);
    EXPECT_EQ(left->itemText(0), "OppyNavL");
    EXPECT_EQ(right->itemText(13), "MSLNavBR");
    EXPECT_EQ(left->currentIndex(), -1);
    EXPECT_EQ(right->currentIndex(), -1);
    EXPECT_EQ(Text(IDC_LEFT_COL), "0");
    EXPECT_EQ(Text(IDC_AZ_CORR_RIGHT), "0");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CalcDialogTest, MalformedEntryIsRefusedAndLaterFieldsAreNotTaken) {
    OpenOppyPairAt512();
    dlg.show();
    Type(IDC_LEFT_COL, "500");
    Type(IDC_LEFT_ROW, "12,5");
    Type(IDC_RIGHT_COL, "30");
    qobject_cast<QCheckBox*>(dlg.Control(IDC_2D))->setChecked(true);
    EXPECT_FALSE(dlg.UpdateData(true));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Enter a number."});
    EXPECT_EQ(dlg.m_dLeftCol, 500.0);
    EXPECT_EQ(dlg.m_dLeftRow, 512.0);
    EXPECT_EQ(dlg.m_dRightCol, 480.0);
    EXPECT_FALSE(dlg.m_b2D);
    EXPECT_EQ(dlg.focusWidget(), dlg.Control(IDC_LEFT_ROW));

    // CALCULATE reports it too and still runs on the members as they stand.
    QTest::mouseClick(dlg.Control(IDC_CALCULATE), Qt::LeftButton);
    EXPECT_EQ(ui.messages.size(), 2u);
    ASSERT_EQ(host.m_vLeft.size(), 1u);
    EXPECT_EQ(host.m_vLeft[0], (ImagePoint{500.0, 512.0}));
    EXPECT_EQ(host.m_vRight[0], (ImagePoint{480.0, 512.0}));
    // Showing afterwards puts the members back into the fields.
    EXPECT_EQ(Text(IDC_LEFT_ROW), "512");
    EXPECT_EQ(Text(IDC_RIGHT_COL), "480");
    EXPECT_FALSE(Text(IDC_RANGE).isEmpty());
}

TEST_F(CalcDialogTest, CheckBoxesAndListsExchangeBothWays) {
    dlg.m_bRLVector = true;
    dlg.m_b2D = true;
    dlg.m_nCamRight = 5;
    dlg.UpdateData(false);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(dlg.Control(IDC_RL_VECTOR))->isChecked());
    EXPECT_EQ(qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_RIGHT))->currentText(), "SprtNavR");
    qobject_cast<QCheckBox*>(dlg.Control(IDC_2D))->setChecked(false);
    qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_LEFT))->setCurrentIndex(8);
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_FALSE(dlg.m_b2D);
    EXPECT_EQ(dlg.m_nCamLeft, 8);
    EXPECT_TRUE(dlg.m_bRLVector);
}

TEST_F(CalcDialogTest, RefreshShowsCamerasSolsAndRecordIndicators) {
    host.m_sLeft = kOppyLeft;
    host.m_sRight = kOppyRight;
    ImageRecord rec;
    rec.m_sProductId = "1n128287142eff0300p1800l0m1";
    db.InsertRecord(rec);
    dlg.SetLeftPixel(512, 512);
    dlg.UpdateImageInfo();
    EXPECT_EQ(qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_LEFT))->currentText(), "OppyNavL");
    EXPECT_EQ(qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_RIGHT))->currentText(), "OppyNavR");
    EXPECT_EQ(Text(IDC_SOL_LEFT), "Sol 1 16:15:24");
    EXPECT_EQ(Text(IDC_SOL_RIGHT), "Sol 1 16:15:24");
    EXPECT_TRUE(qobject_cast<QCheckBox*>(dlg.Control(IDC_REC_LEFT))->isChecked());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(dlg.Control(IDC_REC_RIGHT))->isChecked());
    EXPECT_FALSE(Text(IDC_AZ_LEFT).isEmpty());
    EXPECT_FALSE(Text(IDC_EL_RIGHT).isEmpty());
    EXPECT_EQ(Text(IDC_LEFT_COL), "512");

    // The indicators show; clicking them changes nothing.
    QTest::mouseClick(dlg.Control(IDC_REC_RIGHT), Qt::LeftButton);
    EXPECT_FALSE(qobject_cast<QCheckBox*>(dlg.Control(IDC_REC_RIGHT))->isChecked());
    QTest::mouseClick(dlg.Control(IDC_REC_LEFT), Qt::LeftButton);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(dlg.Control(IDC_REC_LEFT))->isChecked());

    // Unrecognised names clear lists, sols and pointing; a hand-picked
    // camera lasts until the next refresh.
    host.m_sLeft = "/data/left.png";
    host.m_sRight = "/data/right.png";
    dlg.UpdateImageInfo();
    auto* left = qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_LEFT));
    EXPECT_EQ(left->currentIndex(), -1);
    EXPECT_TRUE(Text(IDC_SOL_LEFT).isEmpty());
    EXPECT_TRUE(Text(IDC_AZ_LEFT).isEmpty());
    EXPECT_TRUE(Text(IDC_EL_RIGHT).isEmpty());
    left->setCurrentIndex(2);
    emit left->activated(2);
    EXPECT_EQ(dlg.m_nCamLeft, 2);
    dlg.UpdateImageInfo();
    EXPECT_EQ(left->currentIndex(), -1);
    EXPECT_EQ(dlg.m_nCamLeft, -1);
}

TEST_F(CalcDialogTest, ShortProductTitleDoesNotStopTheRefresh) {
    // "1" selects the Opportunity rule but is too short for it.
    host.m_sLeft = "/data/1.png";
    host.m_sRight = kOppyRight;
    dlg.UpdateImageInfo();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(dlg.m_nCamLeft, -1);
    EXPECT_FALSE(dlg.m_strSolLeft.empty()); // the rule's sol text is still computed
    EXPECT_EQ(Text(IDC_SOL_LEFT).toStdString(), dlg.m_strSolLeft);
    EXPECT_TRUE(Text(IDC_AZ_LEFT).isEmpty());
    // The right side is refreshed as usual.
    EXPECT_EQ(qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_RIGHT))->currentText(), "OppyNavR");
    EXPECT_FALSE(Text(IDC_AZ_RIGHT).isEmpty());
    // A short MSL title ("N" plus one character) likewise.
    host.m_sLeft = "/data/Nx.png";
    dlg.UpdateImageInfo();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(dlg.m_nCamLeft, -1);
}

TEST_F(CalcDialogTest, RefreshOverwritesUntakenEdits) {
    host.m_sLeft = kOppyLeft;
    host.m_sRight = kOppyRight;
    dlg.SetLeftPixel(100, 200);
    dlg.UpdateImageInfo();
    const QString azBefore = Text(IDC_AZ_LEFT);

    // Typed but not taken: the refresh shows the members again and the
    // pointing still uses the old correction.
    Type(IDC_LEFT_COL, "300");
    Type(IDC_AZ_CORR_LEFT, "10");
    Type(IDC_RL_VECTOR_TEXT, "1,2,3");
    dlg.UpdateImageInfo();
    EXPECT_EQ(Text(IDC_LEFT_COL), "100");
    EXPECT_EQ(Text(IDC_AZ_CORR_LEFT), "0");
    EXPECT_TRUE(Text(IDC_RL_VECTOR_TEXT).isEmpty());
    EXPECT_EQ(Text(IDC_AZ_LEFT), azBefore);

    // Taken by a list change, the correction moves the left azimuth shown
    // at the next refresh.
    Type(IDC_AZ_CORR_LEFT, "10");
    emit qobject_cast<QComboBox*>(dlg.Control(IDC_CAM_LEFT))->activated(0);
    EXPECT_EQ(dlg.m_dAzCorrLeft, 10.0);
    EXPECT_EQ(Text(IDC_AZ_LEFT), azBefore); // not yet refreshed
    dlg.UpdateImageInfo();
    EXPECT_NEAR(Text(IDC_AZ_LEFT).toDouble(), azBefore.toDouble() + 10.0, 0.051);
}

TEST_F(CalcDialogTest, CopyPositionPutsThePositionTextIntoTheVector) {
    dlg.m_strPos = "Error";
    dlg.UpdateData(false);
    QTest::mouseClick(dlg.Control(IDC_COPY_POSITION), Qt::LeftButton);
    EXPECT_EQ(dlg.m_strRLVector, "Error");
    EXPECT_EQ(Text(IDC_RL_VECTOR_TEXT), "Error");
    // The check box takes the controls.
    Edit(IDC_RL_VECTOR_TEXT)->setText("1.5,2.0");
    QTest::mouseClick(dlg.Control(IDC_RL_VECTOR), Qt::LeftButton);
    EXPECT_TRUE(dlg.m_bRLVector);
    EXPECT_EQ(dlg.m_strRLVector, "1.5,2.0");
}

TEST_F(CalcDialogTest, CloseNotifiesTheHostLaterAndOnlyWhileTheDialogLives) {
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(host.m_nClosed, 0); // queued, not called from inside the key handler
    EXPECT_TRUE(dlg.isVisible()); // the view hides it
    QApplication::processEvents();
    EXPECT_EQ(host.m_nClosed, 1);
    dlg.close(); // the close box
    QApplication::processEvents();
    EXPECT_EQ(host.m_nClosed, 2);

    // A dialog deleted before the notification arrives sends none.
    auto other = std::make_unique<CCalcDlg>(&host, ui);
    other->show();
    QTest::keyClick(other.get(), Qt::Key_Escape);
    other.reset();
    QApplication::processEvents();
    EXPECT_EQ(host.m_nClosed, 2);

    // Without a host the dialog just hides.
    CCalcDlg lone(nullptr, ui);
    lone.show();
    QTest::keyClick(&lone, Qt::Key_Escape);
    EXPECT_FALSE(lone.isVisible());
}

TEST_F(CalcDialogTest, CalculateShowsResultsAndRecordsOnlySuccesses) {
    OpenOppyPairAt512();
    dlg.OnCalculate();
    EXPECT_EQ(Text(IDC_RANGE), "8.5011");
    EXPECT_EQ(Text(IDC_POS), "8.4167,0.0635,1.1936");
    EXPECT_EQ(Text(IDC_DIST_TO_LAST), "8.5011"); // from (0, 0, 0) on a new dialog
    EXPECT_EQ(Text(IDC_AZ), "-0.4");
    const auto summary = qobject_cast<QTextEdit*>(dlg.Control(IDC_ERROR_SUMMARY))->toPlainText();
    EXPECT_TRUE(summary.startsWith("Range[-0.263473,+0.262307]\nPosition X["))
        << summary.toStdString();
    ASSERT_EQ(host.m_vVertices.size(), 1u);
    EXPECT_NE(host.m_sLog.find("\nImage Pair 1N128287142EFF0300P1800L0M1 "
                               "1N128287142EFF0300P1800R0M1\nRange=8.5011\n"),
              std::string::npos);

    // A failed intersection shows "Error" and records nothing; the next
    // success measures its distance from the last successful point.
    dlg.SetLeftPixel(100, 512);
    dlg.SetRightPixel(900, 512);
    dlg.UpdateData(false);
    QTest::mouseClick(dlg.Control(IDC_CALCULATE), Qt::LeftButton);
    EXPECT_EQ(Text(IDC_RANGE), "Error");
    EXPECT_EQ(Text(IDC_POS), "Error");
    EXPECT_TRUE(Text(IDC_DIST_TO_LAST).isEmpty());
    EXPECT_EQ(host.m_vVertices.size(), 1u);
    dlg.SetLeftPixel(512, 512);
    dlg.SetRightPixel(480, 512);
    dlg.UpdateData(false);
    dlg.OnCalculate();
    EXPECT_EQ(Text(IDC_DIST_TO_LAST), "0.0000");
    EXPECT_EQ(host.m_vVertices.size(), 2u);
    EXPECT_TRUE(ui.messages.empty());
}
