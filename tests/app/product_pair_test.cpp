// Products measured in the desktop app: a PDS3 pair and a raw pair with
// JSON records open, a click in each image and Space measure with the
// products' own models, and the Analyse dialog shows what ranvista-cli
// measure gives on the same files and pixels. A resized rendition falls back
// to the catalogue and says so; the user can choose the catalogue.
#include "AppFixture.h"

#include "app/CalcDlg.h"
#include "base/Format.h"
#include "tests/products/CatalogueProducts.h"
#include "tests/products/ProductFixtures.h"
#include "tests/support/CliRunner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTextEdit>

#include <array>
#include <fstream>
#include <map>

namespace {

const char* const kMerLeft = "1N137057367EFF4000P1916L0M1";
const char* const kMerRight = "1N137057367EFF4000P1916R0M1";
const std::string kM20Left = "NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01";
const std::string kM20Right = "NRF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01";

// The Navcam head turned and the rover yawed, as a record would pose them.
const CameraPose kPose{12.0, -22.0, FromAxisAngleDeg(kZAxis, 40.0)};

// A texture in which neighbouring pixels differ.
int Texture(int x, int y) {
    return ((x / 16 + y / 16) % 2) * 128 + (x * 7 + y * 3) % 64;
}

QImage TextureImage(int width, int height) {
    QImage img(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            img.scanLine(y)[x] = static_cast<uchar>(Texture(x, y));
        }
    }
    return img;
}

class ProductPairs : public AppFixture {
protected:
    std::string Path(const std::string& name) const {
        return dir.path().toStdString() + "/" + name;
    }
    // Opportunity Navcam PDS3 products carrying the catalogue cameras.
    void WritePds3Pair() {
        for (const auto& [title, id] : {std::pair{kMerLeft, 0}, std::pair{kMerRight, 1}}) {
            product_test::WriteFile(Path(std::string(title) + ".IMG"),
                                    product_test::CataloguePds3(id, kPose, 1024, 1024, Texture));
        }
    }
    // PNG images named like a Mars 2020 pair beside their records; the right
    // image is rightSize square.
    void WriteRawPair(const std::string& left, const std::string& right, int rightSize = 1024) {
        ASSERT_TRUE(TextureImage(1024, 1024).save(QString::fromStdString(Path(left + ".png"))));
        ASSERT_TRUE(
            TextureImage(rightSize, rightSize).save(QString::fromStdString(Path(right + ".png"))));
        product_test::WriteFile(Path(left + "-metadata.json"),
                                product_test::CatalogueRecord(0, kPose, left));
        product_test::WriteFile(Path(right + "-metadata.json"),
                                product_test::CatalogueRecord(1, kPose, right));
    }
    void Open(const std::string& left, const std::string& right) {
        StartupOptions options;
        options.sLeftFile = left;
        options.sRightFile = right;
        Start(options);
        frame->showNormal();
        frame->resize(1200, 940);
        QApplication::processEvents();
        ASSERT_TRUE(View().Image(ViewSide::Left) && View().Image(ViewSide::Right));
        View().SetZoomStep(6); // both images whole in their panels
        View().Repaint();
    }
    // What the user was told, apart from the store this scratch folder lacks.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const std::string& m : ui.messages) {
            if (m.find("ImgBinDat") == std::string::npos) {
                out.push_back(m);
            }
        }
        return out;
    }
    CCalcDlg& Dialog() {
        auto* dlg = frame->findChild<CCalcDlg*>();
        EXPECT_NE(dlg, nullptr);
        return *dlg;
    }
    std::string Field(int id) {
        return qobject_cast<QLineEdit*>(Dialog().Control(id))->text().toStdString();
    }
    std::string Warning() {
        return qobject_cast<QLabel*>(Dialog().Control(IDC_MODEL_WARNING))->text().toStdString();
    }
    QCheckBox* ProductModels() {
        return qobject_cast<QCheckBox*>(Dialog().Control(IDC_PRODUCT_MODELS));
    }
    void Click(ViewSide side, double x, double y) {
        CChildView& view = View();
        const ImageToScreenResult s =
            view.ImageToScreen({x, y}, side, view.ComputeLayout(view.ClientRect(), side));
        ASSERT_TRUE(s.visible);
        const IntPoint p = RoundHalfAway(s.x, s.y);
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(p.x, p.y));
    }
    // A click near each pixel and Space; the command line on the pixels the
    // dialog measured, with extra options.
    nlohmann::json MeasureBoth(const std::string& extra = {}) {
        Click(ViewSide::Left, 512, 700);
        Click(ViewSide::Right, 480, 700);
        QTest::keyClick(&View(), Qt::Key_Space);
        const CCalcDlg& dlg = Dialog();
        const std::string pixels = StrFormat("%.17g,%.17g,%.17g,%.17g", dlg.m_dLeftCol,
                                             dlg.m_dLeftRow, dlg.m_dRightCol, dlg.m_dRightRow);
        const CliResult cli = RunCli("measure --db '" + StorePath() + "' --left '" +
                                     Controller().Document().Session().LeftFile() + "' --right '" +
                                     Controller().Document().Session().RightFile() + "' --pixels " +
                                     pixels + " --json " + extra);
        EXPECT_EQ(cli.status, 0) << cli.out;
        return cli.Json();
    }
    // The command line on the open products at the dialog's pixels, without
    // a database.
    nlohmann::json ProductMeasureOfDialogPixels() {
        const CCalcDlg& dlg = Dialog();
        return RunCli(StrFormat("measure --db /nonexistent/ImgBinDat --left '%s' --right '%s' "
                                "--pixels %.17g,%.17g,%.17g,%.17g --json",
                                Controller().Document().Session().LeftFile().c_str(),
                                Controller().Document().Session().RightFile().c_str(),
                                dlg.m_dLeftCol, dlg.m_dLeftRow, dlg.m_dRightCol, dlg.m_dRightRow))
            .Json();
    }
    // The dialog's result fields against the command line's.
    void ExpectFieldsOf(const nlohmann::json& j) {
        ASSERT_EQ(j["ok"], true) << j.dump();
        EXPECT_EQ(Field(IDC_RANGE), j["fields"]["range"]);
        EXPECT_EQ(Field(IDC_POS), j["fields"]["pos"]);
        EXPECT_EQ(Field(IDC_AZ), j["fields"]["az"]);
        EXPECT_EQ(Field(IDC_EL), j["fields"]["el"]);
        EXPECT_EQ(Field(IDC_PIXEL_SIZE), j["fields"]["pixel_size"]);
        EXPECT_EQ(qobject_cast<QTextEdit*>(Dialog().Control(IDC_ERROR_SUMMARY))
                      ->toPlainText()
                      .toStdString(),
                  j["fields"]["error_summary"]);
    }
    void ExpectProductFieldsOf(const nlohmann::json& j) {
        ExpectFieldsOf(j);
        EXPECT_EQ(Field(IDC_MODEL_LEFT), j["model_source"]["left"]);
        EXPECT_EQ(Field(IDC_MODEL_RIGHT), j["model_source"]["right"]);
        EXPECT_EQ(Field(IDC_MISS_DISTANCE), StrFormat("%.6f", j["miss_distance"].get<double>()));
        ASSERT_TRUE(j["site_position"].is_array());
        EXPECT_EQ(Field(IDC_SITE_POS),
                  StrFormat("%.4f,%.4f,%.4f", j["site_position"][0].get<double>(),
                            j["site_position"][1].get<double>(),
                            j["site_position"][2].get<double>()));
        EXPECT_EQ(Warning(), "");
    }
};

} // namespace

TEST_F(ProductPairs, APds3PairMeasuresWithItsLabelsModelsAsTheCommandLineDoes) {
    WritePds3Pair();
    Open(Path(std::string(kMerLeft) + ".IMG"), Path(std::string(kMerRight) + ".IMG"));
    EXPECT_EQ(Messages(), std::vector<std::string>{});
    EXPECT_TRUE(ProductModels()->isChecked());
    EXPECT_TRUE(ProductModels()->isEnabled());
    EXPECT_EQ(Field(IDC_MODEL_LEFT), "pds3: CAHVOR, ROVER_FRAME (site 4, motion counter 4,120)");
    EXPECT_EQ(frame->statusBar()->currentMessage().toStdString().rfind(
                  "Camera models from the products: pds3: CAHVOR", 0),
              0u);
    const nlohmann::json j = MeasureBoth();
    ExpectProductFieldsOf(j);
    ASSERT_EQ(Controller().Document().Session().Vertices().size(), 1u);
    EXPECT_NE(Field(IDC_RANGE), "Error");
}

TEST_F(ProductPairs, ARawPairOpenedByItsRecordsMeasuresAsTheCommandLineDoes) {
    WriteRawPair(kM20Left, kM20Right);
    // Choosing the records opens the images beside them.
    Open(Path(kM20Left + "-metadata.json"), Path(kM20Right + "-metadata.json"));
    EXPECT_EQ(Controller().Document().Session().LeftFile(), Path(kM20Left + ".png"));
    EXPECT_EQ(Controller().Document().Session().RightFile(), Path(kM20Right + ".png"));
    EXPECT_EQ(Messages(), std::vector<std::string>{});
    EXPECT_EQ(Field(IDC_MODEL_RIGHT),
              "raw-json: CAHVOR, ROVER_NAV_FRAME (site 4, motion counter 4,120)");
    ExpectProductFieldsOf(MeasureBoth());
    // The measurement table's row has the rays' miss distance too.
    ASSERT_EQ(Controller().Document().Session().Measurements().size(), 1u);
    ASSERT_TRUE(Controller().Document().Session().Measurements()[0].missDistanceM);
    EXPECT_EQ(StrFormat("%.6f", *Controller().Document().Session().Measurements()[0].missDistanceM),
              Field(IDC_MISS_DISTANCE));
}

TEST_F(ProductPairs, AResizedRenditionIsMeasuredWithItsScaledModelAndTheNoteIsShown) {
    WriteRawPair(kMerLeft, kMerRight, 512);
    Open(Path(std::string(kMerLeft) + ".png"), Path(std::string(kMerRight) + ".png"));
    const std::string said =
        std::string(kMerRight) + ".png is 512 x 512 pixels, a rendition of the 1024 x 1024 image";
    EXPECT_NE(frame->statusBar()->currentMessage().toStdString().find(said), std::string::npos)
        << frame->statusBar()->currentMessage().toStdString();
    EXPECT_NE(Warning().find(said), std::string::npos) << Warning();
    EXPECT_EQ(Field(IDC_MODEL_RIGHT).rfind("raw-json: CAHVOR", 0), 0u) << Field(IDC_MODEL_RIGHT);
    Click(ViewSide::Left, 512, 500);
    Click(ViewSide::Right, 240, 250);
    QTest::keyClick(&View(), Qt::Key_Space);
    const CCalcDlg& dlg = Dialog();
    const CliResult cli =
        RunCli(StrFormat("measure --db /nonexistent/ImgBinDat --left '%s' --right '%s' --pixels "
                         "%.17g,%.17g,%.17g,%.17g --json",
                         Controller().Document().Session().LeftFile().c_str(),
                         Controller().Document().Session().RightFile().c_str(), dlg.m_dLeftCol,
                         dlg.m_dLeftRow, dlg.m_dRightCol, dlg.m_dRightRow));
    const nlohmann::json j = cli.Json();
    ExpectFieldsOf(j);
    EXPECT_EQ(j["model_note"].get<std::string>().find(said), 0u);
}

TEST_F(ProductPairs, TheCatalogueCanBeChosenAndTheChoiceIsRemembered) {
    WritePds3Pair();
    Open(Path(std::string(kMerLeft) + ".IMG"), Path(std::string(kMerRight) + ".IMG"));
    // Matching and the epipolar curve take the cameras CALCULATE takes.
    EXPECT_FALSE(Dialog().CurrentOptions()->leftCamera);
    QTest::mouseClick(ProductModels(), Qt::LeftButton);
    EXPECT_FALSE(ProductModels()->isChecked());
    EXPECT_EQ(Dialog().CurrentOptions()->leftCamera, 0);
    EXPECT_EQ(Field(IDC_MODEL_LEFT), "catalogue: OppyNavL, no database record");
    // The document's cameras follow at once, not at the next paint.
    EXPECT_FALSE(Controller().Document().Rig().ProductModels());
    ExpectFieldsOf(MeasureBoth("--left-camera OppyNavL --right-camera OppyNavR"));
    EXPECT_EQ(Field(IDC_SITE_POS), "");
    Stop();

    // A new start keeps the choice; ticking it again measures the products.
    Open(Path(std::string(kMerLeft) + ".IMG"), Path(std::string(kMerRight) + ".IMG"));
    EXPECT_FALSE(ProductModels()->isChecked());
    QTest::mouseClick(ProductModels(), Qt::LeftButton);
    EXPECT_EQ(Field(IDC_MODEL_LEFT).rfind("pds3: ", 0), 0u);
    ExpectProductFieldsOf(MeasureBoth());

    // A camera chosen by hand is what the user wants measured with.
    auto* combo = qobject_cast<QComboBox*>(Dialog().Control(IDC_CAM_LEFT));
    combo->setCurrentIndex(4);
    emit combo->activated(4);
    EXPECT_FALSE(ProductModels()->isChecked());
    EXPECT_EQ(Field(IDC_MODEL_LEFT), "catalogue: SprtNavL, no database record");
    EXPECT_EQ(Controller().Document().Rig().CatalogueCamera(Eye::Left), 4);
}

// The shipped sample products, when the tree has them: a truth point clicked
// in both images measures what the command line measures on the same pixels.
// The Mars 2020 pair leaves its picture in the test artifacts.
TEST_F(ProductPairs, TheSampleProductPairsMeasureATruthPointAsTheCommandLineDoes) {
    const std::string samples = RANVISTA_SOURCE_DIR "/samples/";
    bool any = false;
    for (const char* sample : {"oppy-navcam-pds3", "m20-navcam"}) {
        std::ifstream truth(samples + sample + "/truth.csv");
        std::string header;
        std::string row;
        if (!std::getline(truth, header) || !std::getline(truth, row)) {
            continue;
        }
        any = true;
        const QStringList f = QString::fromStdString(row).split(',');
        ASSERT_GE(f.size(), 9) << row;
        Open(samples + f[0].toStdString(), samples + f[1].toStdString());
        EXPECT_EQ(Messages(), std::vector<std::string>{}) << sample;
        Click(ViewSide::Left, f[5].toDouble(), f[6].toDouble());
        Click(ViewSide::Right, f[7].toDouble(), f[8].toDouble());
        QTest::keyClick(&View(), Qt::Key_Space);
        ExpectProductFieldsOf(ProductMeasureOfDialogPixels());
        if (std::string(sample) == "m20-navcam") {
            QImage shot = frame->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QPoint place((shot.width() - Dialog().width()) / 2,
                               shot.height() - Dialog().height() - 30);
            {
                QPainter p(&shot);
                p.drawPixmap(place, Dialog().grab());
                p.setPen(QColor(90, 90, 90));
                p.drawRect(QRect(place, Dialog().size()).adjusted(-1, -1, 0, 0));
            }
            const QString artifacts = QStringLiteral(RANVISTA_BINARY_DIR "/test-artifacts");
            QDir().mkpath(artifacts);
            EXPECT_TRUE(shot.save(artifacts + "/screenshot-m20.png"));
        }
        Stop();
        ui.messages.clear();
    }
    if (!any) {
        GTEST_SKIP() << "no sample products in " << samples;
    }
}

// The real Perseverance pairs kept with the tests (published PNGs beside
// their raw-feed JSON records), opened as a user opens them: no message, the
// records' CAHVORE models measure, and a ground point of the reference table
// clicked in both images gives what the command line gives.
TEST_F(ProductPairs, TheRealPerseverancePairsOpenAndMeasureAsTheCommandLineDoes) {
    const std::string data = RANVISTA_SOURCE_DIR "/tests/matching/data/";
    std::ifstream reference(data + "real_reference.csv");
    std::map<std::string, QStringList> firstRow;
    for (std::string line; std::getline(reference, line);) {
        const QStringList f = QString::fromStdString(line).split(',');
        if (line.empty() || line[0] == '#' || f.size() < 6) {
            continue;
        }
        firstRow.emplace(f[0].toStdString(), f);
    }
    const std::vector<std::array<std::string, 3>> pairs{
        {"sol1110", "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J",
         "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J"},
        {"sol60", "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ",
         "NRE_0060_0672265209_237ECM_N0032046NCAM00410_00_0LLJ"},
    };
    for (const auto& [name, left, right] : pairs) {
        SCOPED_TRACE(name);
        ASSERT_EQ(firstRow.count(name), 1u);
        const QStringList& f = firstRow[name];
        Open(data + left + ".png", data + right + ".png");
        EXPECT_EQ(Messages(), std::vector<std::string>{});
        EXPECT_TRUE(Controller().Document().Rig().ProductModels());
        // The sol 60 right frame was published as its raw colour mosaic.
        EXPECT_EQ(View().StatusText().find(
                      "right image: a raw colour mosaic, shown and matched as its luminance") !=
                      std::string::npos,
                  right.starts_with("NRE"))
            << View().StatusText();
        EXPECT_EQ(Field(IDC_MODEL_LEFT).find("CAHVORE") != std::string::npos, true)
            << Field(IDC_MODEL_LEFT);
        // Opened fitted, as a user sees it: clicks land within a screen
        // pixel of the reference pixels, and Space measures them.
        View().OnFitToWindow();
        View().Repaint();
        Click(ViewSide::Left, f[1].toDouble(), f[2].toDouble());
        Click(ViewSide::Right, f[3].toDouble(), f[4].toDouble());
        QTest::keyClick(&View(), Qt::Key_Space);
        ASSERT_EQ(Controller().Document().Session().Measurements().size(), 1u);
        // The reference pixels typed into the dialog and CALCULATE.
        CCalcDlg& dlg = Dialog();
        dlg.SetLeftPixel(f[1].toDouble(), f[2].toDouble());
        dlg.SetRightPixel(f[3].toDouble(), f[4].toDouble());
        dlg.UpdateData(false);
        QTest::mouseClick(dlg.Control(IDC_CALCULATE), Qt::LeftButton);
        ASSERT_EQ(Controller().Document().Session().Measurements().size(), 2u);
        ExpectProductFieldsOf(ProductMeasureOfDialogPixels());
        Stop();
        ui.messages.clear();
    }
}

TEST_F(ProductPairs, AMarksPointingComesFromTheModelThatMeasuresIt) {
    WritePds3Pair();
    Open(Path(std::string(kMerLeft) + ".IMG"), Path(std::string(kMerRight) + ".IMG"));
    Click(ViewSide::Left, 512, 700);
    Click(ViewSide::Right, 480, 700);
    const std::string productAz = Field(IDC_AZ_LEFT);
    const std::string productEl = Field(IDC_EL_RIGHT);
    ASSERT_FALSE(productAz.empty());
    // The labels carry the catalogue cameras posed as these records pose them.
    for (const char* title : {kMerLeft, kMerRight}) {
        ImageRecord record;
        record.m_sProductId = MakeProductKey(title);
        record.m_dAzimuth = kPose.headAzimuthDeg;
        record.m_dElevation = kPose.headElevationDeg;
        record.m_qAttitude = kPose.vehicleAttitude;
        app->Database().InsertRecord(record);
    }
    QTest::mouseClick(ProductModels(), Qt::LeftButton);
    EXPECT_EQ(Field(IDC_MODEL_LEFT), "catalogue: OppyNavL, database record");
    EXPECT_EQ(Field(IDC_AZ_LEFT), productAz);
    EXPECT_EQ(Field(IDC_EL_RIGHT), productEl);
    // Without the records the catalogue looks elsewhere: the fields follow.
    app->Database().Clear();
    Dialog().UpdateImageInfo();
    EXPECT_NE(Field(IDC_AZ_LEFT) + Field(IDC_EL_RIGHT), productAz + productEl);
}
