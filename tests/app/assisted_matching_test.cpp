// The second click made for the user, on a sample pair with its truth: the
// epipolar curve in the view, auto-match of a click, and Auto-Detect Vertex
// Pairs appending measurements through CALCULATE.
#include "AppFixture.h"

#include "app/CalcDlg.h"
#include "tests/cli/RawProductRecord.h"

#include "app/MeasurementDock.h"

#include <QApplication>
#include <QCheckBox>
#include <QUndoStack>

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {
const QString kSamples = QString(RANVISTA_SOURCE_DIR) + "/samples";
const QRgb kCurveColour = qRgb(0, 200, 255);

struct TruthPair {
    ImagePoint left;
    ImagePoint right;
};

std::vector<TruthPair> Truth(const QString& sample) {
    std::vector<TruthPair> out;
    QFile file(kSamples + "/" + sample + "/truth.csv");
    if (!file.open(QIODevice::ReadOnly)) {
        return out;
    }
    QTextStream in(&file);
    in.readLine(); // header
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(',');
        if (f.size() >= 9) {
            out.push_back({{f[5].toDouble(), f[6].toDouble()}, {f[7].toDouble(), f[8].toDouble()}});
        }
    }
    return out;
}

StartupOptions NavcamPair() {
    StartupOptions o;
    o.sStorePath = (kSamples + "/ImgBinDat").toStdString();
    const QString folder = kSamples + "/oppy-navcam/";
    o.sLeftFile = (folder + "1N137057367EFF4000P1916L0M1.png").toStdString();
    o.sRightFile = (folder + "1N137057367EFF4000P1916R0M1.png").toStdString();
    return o;
}

double Distance(const ImagePoint& a, const ImagePoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Distance of a point from a polyline.
double DistanceToPolyline(const std::vector<ImagePoint>& line, const ImagePoint& q) {
    double best = INFINITY;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const ImagePoint a = line[i];
        const ImagePoint b = line[i + 1];
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double len2 = dx * dx + dy * dy;
        const double t =
            len2 > 0 ? std::clamp(((q.x - a.x) * dx + (q.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, Distance(q, {a.x + t * dx, a.y + t * dy}));
    }
    return best;
}

void SaveArtifact(const QImage& shot, const QString& name) {
    const QString artifacts = QString(RANVISTA_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(artifacts);
    EXPECT_TRUE(shot.save(artifacts + "/" + name));
}
} // namespace

class AssistedMatching : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        if (!QFile::exists(kSamples + "/ImgBinDat")) {
            GTEST_SKIP() << "no samples";
        }
        truth = Truth("oppy-navcam");
        ASSERT_GT(truth.size(), 10u);
        Start(NavcamPair());
        ASSERT_TRUE(View().HasBothImages());
        ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
    }

    // Each image panned so that the point is in the middle of its panel, at
    // a zoom step (-30: 20 screen pixels per image pixel, so that a click
    // lands within 0.03 pixel of where it is aimed).
    void Centre(const ImagePoint& left, const ImagePoint& right, int step = -30) {
        CChildView& view = View();
        view.SetZoomStep(step);
        const double z = view.Zoom();
        const double half = view.ComputeLayout(view.ClientRect(), ViewSide::Left).panel.Width();
        view.SetOffset(ViewSide::Left, {(0.5 * half - left.x) * z, (0.5 * half - left.y) * z});
        view.SetOffset(ViewSide::Right, {(0.5 * half - right.x) * z, (0.5 * half - right.y) * z});
        view.Repaint();
    }

    // The first truth pair whose left point the matcher accepts.
    TruthPair Matchable() {
        const AssistedPair* assist = View().Assist();
        for (const TruthPair& t : truth) {
            if (assist != nullptr && assist->Match(Eye::Left, t.left).ok) {
                return t;
            }
        }
        ADD_FAILURE() << "no truth point matches";
        return truth[0];
    }

    QPoint ScreenOf(ViewSide side, const ImagePoint& q) {
        // The measurement table docks with the first measurement; these
        // points are found on the view as wide as it opened.
        if (auto* dock = frame->findChild<CMeasurementDock*>()) {
            dock->hide();
        }
        QApplication::processEvents();
        CChildView& view = View();
        const ImageToScreenResult r =
            view.ImageToScreen(q, side, view.ComputeLayout(view.ClientRect(), side));
        EXPECT_TRUE(r.visible);
        return QPoint(static_cast<int>(std::lround(r.x)), static_cast<int>(std::lround(r.y)));
    }

    QImage Grab() { return View().grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::vector<TruthPair> truth;
};

TEST_F(AssistedMatching, AClickWithAutoMatchPutsThePartnerOnTheTruePixelAndSpaceMeasuresIt) {
    CChildView& view = View();
    Action(ID_AUTO_MATCH)->trigger();
    ASSERT_TRUE(view.AutoMatch());
    // A point on a rock's face (the outlines of rocks are depth edges, where
    // a window sees two surfaces).
    const TruthPair& t = truth[4];
    Centre(t.left, t.right);
    QTest::mouseClick(&view, Qt::LeftButton, {}, ScreenOf(ViewSide::Left, t.left));

    const std::optional<ImagePoint> clicked = view.Session().Mark(Eye::Left);
    const std::optional<ImagePoint> matched = view.Session().Mark(Eye::Right);
    ASSERT_TRUE(clicked && matched) << view.StatusText();
    // The click lands within a pixel of the truth point; its partner moves by
    // as much in the right image.
    const ImagePoint expected{t.right.x + clicked->x - t.left.x, t.right.y + clicked->y - t.left.y};
    EXPECT_LT(Distance(*matched, expected), 0.3) << matched->x << "," << matched->y;
    EXPECT_FALSE(view.Session().Origin(Eye::Left).matched);
    EXPECT_TRUE(view.Session().Origin(Eye::Right).matched);
    EXPECT_GT(view.Session().Origin(Eye::Right).score, 0.8);
    EXPECT_TRUE(frame->statusBar()->currentMessage().startsWith("Matched"))
        << frame->statusBar()->currentMessage().toStdString();
    SaveArtifact(frame->grab().toImage(), "auto-matched-pair.png");

    QTest::keyClick(&view, Qt::Key_Space);
    ASSERT_EQ(view.Session().Vertices().size(), 1u) << (ui.messages.empty() ? "" : ui.messages[0]);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_LT(Distance(view.Session().Marks(Eye::Right)[0], *matched), 1e-9);
    EXPECT_TRUE(view.Session().Origins()[0].right.matched);
    EXPECT_FALSE(view.Session().Origins()[0].left.matched);
}

TEST_F(AssistedMatching, AFirstClickInTheRightImageFindsItsPartnerInTheLeftOne) {
    CChildView& view = View();
    view.SetAutoMatch(true);
    // The marked points are rock corners, where three faces meet and a
    // window sees three different warps; this one is matched to a twentieth
    // of a pixel from either eye.
    const TruthPair& t = truth[0];
    Centre(t.left, t.right);
    QTest::mouseClick(&view, Qt::LeftButton, {}, ScreenOf(ViewSide::Right, t.right));
    const std::optional<ImagePoint> clicked = view.Session().Mark(Eye::Right);
    const std::optional<ImagePoint> matched = view.Session().Mark(Eye::Left);
    ASSERT_TRUE(clicked && matched) << view.StatusText();
    const ImagePoint expected{t.left.x + clicked->x - t.right.x, t.left.y + clicked->y - t.right.y};
    EXPECT_LT(Distance(*matched, expected), 0.3) << matched->x << "," << matched->y;
    EXPECT_TRUE(view.Session().Origin(Eye::Left).matched);
    QTest::keyClick(&view, Qt::Key_Space);
    ASSERT_EQ(view.Session().Vertices().size(), 1u);
    EXPECT_LT(Distance(view.Session().Marks(Eye::Left)[0], *matched), 1e-9);
    EXPECT_TRUE(view.Session().Origins()[0].left.matched);
}

TEST_F(AssistedMatching, AClickOnTheMatchedMarkCorrectsItWithoutMovingTheFirstClick) {
    CChildView& view = View();
    view.SetAutoMatch(true);
    const TruthPair t = Matchable();
    Centre(t.left, t.right);
    QTest::mouseClick(&view, Qt::LeftButton, {}, ScreenOf(ViewSide::Left, t.left));
    const ImagePoint first = *view.Session().Mark(Eye::Left);
    ASSERT_TRUE(view.Session().Origin(Eye::Right).matched) << view.StatusText();

    const QPoint elsewhere = ScreenOf(ViewSide::Right, t.right) + QPoint(80, 40);
    QTest::mouseClick(&view, Qt::LeftButton, {}, elsewhere);
    EXPECT_FALSE(view.Session().Origin(Eye::Right).matched);
    EXPECT_LT(Distance(*view.Session().Mark(Eye::Left), first), 1e-9); // not matched back
    EXPECT_GT(Distance(*view.Session().Mark(Eye::Right), t.right), 3.0);

    // A click the matcher refuses (the black sky above the horizon is
    // textureless or out of the curve's reach) leaves no stale partner.
    view.SetZoomStep(0);
    view.SetOffset(ViewSide::Left, {0, 0});
    view.Repaint();
    QTest::mouseClick(&view, Qt::LeftButton, {}, ScreenOf(ViewSide::Left, {40, 40}));
    QTest::mouseClick(&view, Qt::LeftButton, {}, ScreenOf(ViewSide::Left, {12, 12}));
    if (!view.Session().Origin(Eye::Right).matched) {
        EXPECT_TRUE(view.StatusText().starts_with("No match")) << view.StatusText();
    }
}

TEST_F(AssistedMatching, TheEpipolarCurveOfALeftMarkIsDrawnInTheRightImageThroughItsPartner) {
    CChildView& view = View();
    const TruthPair& t = truth[2];
    Centre(t.left, t.right, 0);
    Controller().Document().Session().SetMark(Eye::Left, t.left);
    view.Repaint();
    ASSERT_TRUE(view.EpipolarCurveShown()); // on by default

    const AssistedPair* assist = view.Assist();
    ASSERT_TRUE(assist && assist->HasCameras());
    const EpipolarCurveResult curve = assist->Curve(Eye::Left, t.left);
    ASSERT_TRUE(curve.ok) << curve.reason;
    // The cameras the view draws with are those the range calculation uses:
    // the curve passes through the true partner.
    EXPECT_LT(DistanceToPolyline(curve.points, t.right), 0.5);
    EXPECT_FALSE(curve.ticks.empty());

    // Pixels of the grab along the curve (every vertex on screen, away from
    // the tick labels) have the curve's colour; without the curve they do not.
    const SideLayout right = view.ComputeLayout(view.ClientRect(), ViewSide::Right);
    const ViewRect shown = right.panel.Intersect(right.image);
    const auto onCurve = [&](const QImage& shot) {
        int checked = 0;
        int coloured = 0;
        for (const ImagePoint& q : curve.points) {
            const ImageToScreenResult r = view.ImageToScreen(q, ViewSide::Right, right);
            const int x = static_cast<int>(std::floor(r.x));
            const int y = static_cast<int>(std::floor(r.y));
            if (!shown.Contains(x - 1, y - 1) || !shown.Contains(x + 1, y + 1)) {
                continue;
            }
            ++checked;
            bool hit = false;
            for (int dy = -1; dy <= 1 && !hit; ++dy) {
                for (int dx = -1; dx <= 1 && !hit; ++dx) {
                    hit = shot.pixel(x + dx, y + dy) == kCurveColour;
                }
            }
            coloured += hit ? 1 : 0;
        }
        return std::pair{checked, coloured};
    };
    const QImage shot = Grab();
    SaveArtifact(shot, "epipolar-curve.png");
    const auto [checked, coloured] = onCurve(shot);
    ASSERT_GT(checked, 5);
    EXPECT_GE(coloured, checked * 9 / 10) << coloured << " of " << checked;

    Action(ID_EPIPOLAR_CURVE)->trigger();
    EXPECT_FALSE(view.EpipolarCurveShown());
    EXPECT_EQ(onCurve(Grab()).second, 0);
}

TEST_F(AssistedMatching, TheTogglesAreRememberedAndTheDialogShowsAutoMatch) {
    Action(ID_AUTO_MATCH)->trigger();
    Action(ID_EPIPOLAR_CURVE)->trigger();
    QCheckBox* box = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* dlg = qobject_cast<CCalcDlg*>(top)) {
            box = qobject_cast<QCheckBox*>(dlg->Control(IDC_AUTO_MATCH));
        }
    }
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_FALSE(View().AutoMatch());
    box->click();
    Stop();
    Start(NavcamPair());
    EXPECT_TRUE(View().AutoMatch());
    EXPECT_FALSE(View().EpipolarCurveShown());
    OpenMenus();
    EXPECT_TRUE(Action(ID_AUTO_MATCH)->isChecked());
    EXPECT_FALSE(Action(ID_EPIPOLAR_CURVE)->isChecked());
}

TEST_F(AssistedMatching, AutoDetectAppendsMatchedMeasurementsAndCancelKeepsThoseDone) {
    CChildView& view = View();
    ui.beeps.clear();
    Action(ID_AUTO_DETECT_VERTEX_PAIRS)->trigger();
    ASSERT_EQ(ui.progressTitles.size(), 1u);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::size_t full = view.Session().Vertices().size();
    EXPECT_GT(full, 10u) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find(std::to_string(full) + " measurements appended"),
              std::string::npos)
        << ui.messages[0];
    EXPECT_EQ(view.Session().Marks(Eye::Left).size(), full);
    ASSERT_EQ(view.Session().Origins().size(), full);
    for (const MeasurementOrigin& o : view.Session().Origins()) {
        EXPECT_TRUE(o.right.matched);
        EXPECT_GT(o.right.score, 0.8);
    }
    EXPECT_FALSE(view.Session().Mark(Eye::Left) || view.Session().Mark(Eye::Right));
    EXPECT_TRUE(view.Session().HasUnsavedResults());

    // Cancelled after a few corners: those done are measured and kept.
    ui.cancelProgressAfter = 20;
    Action(ID_AUTO_DETECT_VERTEX_PAIRS)->trigger();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[1].find("cancelled"), std::string::npos) << ui.messages[1];
    const std::size_t more = view.Session().Vertices().size() - full;
    EXPECT_GT(more, 0u);
    EXPECT_LE(more, 20u);
    EXPECT_LE(ui.progressValues.size(), 21u);

    // Each run is one step that undo takes back whole, and redo puts back.
    const std::size_t all = view.Session().Measurements().size();
    QUndoStack* undo = frame->findChild<CMeasurementDock*>()->UndoStack();
    undo->undo();
    EXPECT_EQ(view.Session().Measurements().size(), full);
    undo->undo();
    EXPECT_TRUE(view.Session().Measurements().empty());
    EXPECT_TRUE(view.Session().Vertices().empty());
    undo->redo();
    undo->redo();
    EXPECT_EQ(view.Session().Measurements().size(), all);
}

class AssistedProductMatching : public AppFixture {};

TEST_F(AssistedProductMatching, WithTheProductsOwnModelsTheCurveAndTheMatchFindTheTruePartner) {
    // The Navcam sample pair as raw images whose records carry its cameras:
    // their names give no catalogue camera, so the view can only match with
    // the products' models.
    const QString folder = kSamples + "/oppy-navcam/";
    const CameraPose pose{12.0, 22.0, CQuat()};
    for (const auto& [name, id, title] : {std::tuple{"left", 0, "1N137057367EFF4000P1916L0M1"},
                                          std::tuple{"right", 1, "1N137057367EFF4000P1916R0M1"}}) {
        const QString base = dir.path() + "/" + name;
        ASSERT_TRUE(QFile::copy(folder + title + ".png", base + ".png"));
        QFile json(base + ".json");
        ASSERT_TRUE(json.open(QIODevice::WriteOnly));
        json.write(QByteArray::fromStdString(product_test::Record(id, pose, name)));
    }
    StartupOptions o;
    o.sLeftFile = (dir.path() + "/left.png").toStdString();
    o.sRightFile = (dir.path() + "/right.png").toStdString();
    Start(o);
    ASSERT_TRUE(View().HasBothImages());
    // While the Analyse dialog is open its camera choice rules; closed, the
    // pair is measured, and matched, with what the products carry.
    if (Controller().CalcDialog() != nullptr) {
        Action(ID_SHOW_CALC_CONTROL)->trigger();
    }
    ASSERT_EQ(Controller().CalcDialog(), nullptr);
    const AssistedPair* assist = View().Assist();
    ASSERT_TRUE(assist != nullptr);
    ASSERT_TRUE(assist->HasCameras()) << assist->CamerasProblem();

    const std::vector<TruthPair> truth = Truth("oppy-navcam");
    ASSERT_GT(truth.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        const EpipolarCurveResult curve = assist->Curve(Eye::Left, truth[i].left);
        ASSERT_TRUE(curve.ok) << curve.reason;
        EXPECT_LT(DistanceToPolyline(curve.points, truth[i].right), 0.1) << i;
    }
    const MatchResult m = assist->Match(Eye::Left, truth[4].left);
    ASSERT_TRUE(m.ok) << m.reason;
    EXPECT_LT(Distance(m.pixel, truth[4].right), 0.3) << m.pixel.x << "," << m.pixel.y;
}

TEST_F(AssistedMatching, AMatchedMarkBringsTheMatchersSigmaToItsMeasurementAndAClickTheClickSigma) {
    CChildView& view = View();
    view.SetAutoMatch(true);
    const TruthPair t = Matchable();
    Centre(t.left, t.right);
    // A click, auto-matched, calculated: the matched side's 1-sigma is the
    // matcher's, well under the half pixel of a click.
    const auto matchedMeasurement = [&] {
        QTest::mouseClick(&view, Qt::LeftButton, {}, ScreenOf(ViewSide::Left, t.left));
        EXPECT_TRUE(view.Session().Origin(Eye::Right).matched) << view.StatusText();
        const double sigma = view.Session().Origin(Eye::Right).sigmaPx;
        QTest::keyClick(&view, Qt::Key_Space);
        return sigma;
    };
    // The same pixels clicked by hand.
    const auto clickedMeasurement = [&](const MeasurementRecord& as) {
        Controller().Document().Session().SetMark(Eye::Left, as.leftPixel);
        Controller().Document().Session().SetMark(Eye::Right, as.rightPixel);
        ICalcDialog* dlg = Controller().CalcDialog();
        ASSERT_NE(dlg, nullptr);
        dlg->SetLeftPixel(as.leftPixel.x, as.leftPixel.y);
        dlg->SetRightPixel(as.rightPixel.x, as.rightPixel.y);
        dlg->UpdateImageInfo();
        dlg->OnCalculate();
    };
    const auto& rows = view.Session().Measurements();
    const double sigma = matchedMeasurement();
    EXPECT_GE(sigma, kLeastMatchSigmaPx);
    EXPECT_LT(sigma, 0.5);
    ASSERT_EQ(rows.size(), 1u) << (ui.messages.empty() ? "" : ui.messages[0]);
    clickedMeasurement(rows[0]);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_TRUE(rows[0].uncertainty && rows[1].uncertainty);
    EXPECT_EQ(rows[1].rightPixel.x, rows[0].rightPixel.x);
    EXPECT_EQ(rows[0].rightSource, PixelSource::Matched);
    EXPECT_EQ(rows[1].rightSource, PixelSource::Clicked);
    const PointUncertainty& matched = *rows[0].uncertainty;
    const PointUncertainty& clicked = *rows[1].uncertainty;
    EXPECT_LT(matched.rangeSigmaM, clicked.rangeSigmaM);
    EXPECT_LE(matched.downRangeSigmaM, clicked.downRangeSigmaM);
    EXPECT_LE(matched.crossRangeSigmaM, clicked.crossRangeSigmaM);
    EXPECT_LE(matched.verticalSigmaM, clicked.verticalSigmaM);

    // With the click as certain as the match, matched and clicked pixels
    // give the same figures: the matched side used the matcher's sigma.
    ASSERT_TRUE(Controller().SetClickSigmaPx(sigma));
    EXPECT_EQ(matchedMeasurement(), sigma);
    clickedMeasurement(rows[2]);
    ASSERT_EQ(rows.size(), 4u);
    ASSERT_TRUE(rows[2].uncertainty && rows[3].uncertainty);
    EXPECT_NEAR(rows[2].uncertainty->rangeSigmaM, rows[3].uncertainty->rangeSigmaM,
                1e-9 * rows[3].uncertainty->rangeSigmaM);
    EXPECT_NEAR(rows[2].uncertainty->crossRangeSigmaM, rows[3].uncertainty->crossRangeSigmaM,
                1e-9 * rows[3].uncertainty->crossRangeSigmaM);
}
