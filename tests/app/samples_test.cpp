// The sample pairs shipped with the program open cleanly with their store:
// no message, names recognised, images shown.
#include "AppFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {
const QString kSamples = QString(RANVISTA_SOURCE_DIR) + "/samples";

// Pixel pairs of the first rows of a sample's truth table.
std::vector<std::pair<ImagePoint, ImagePoint>> TruthMarks(const QString& sample, int rows) {
    std::vector<std::pair<ImagePoint, ImagePoint>> out;
    QFile file(kSamples + "/" + sample + "/truth.csv");
    if (!file.open(QIODevice::ReadOnly)) {
        return out;
    }
    QTextStream in(&file);
    in.readLine(); // header
    while (!in.atEnd() && static_cast<int>(out.size()) < rows) {
        const QStringList f = in.readLine().split(',');
        if (f.size() >= 9) {
            out.push_back({{f[5].toDouble(), f[6].toDouble()}, {f[7].toDouble(), f[8].toDouble()}});
        }
    }
    return out;
}

StartupOptions SampleOptions(const QString& sample) {
    StartupOptions o;
    o.sStorePath = (kSamples + "/ImgBinDat").toStdString();
    const QStringList images =
        QDir(kSamples + "/" + sample).entryList({"*.png", "*.IMG"}, QDir::Files, QDir::Name);
    for (const QString& name : images) {
        const std::string path = (kSamples + "/" + sample + "/" + name).toStdString();
        (name[1].toUpper() == 'L' || name[23] == 'L' ? o.sLeftFile : o.sRightFile) = path;
    }
    return o;
}
} // namespace

using Samples = AppFixture;

TEST_F(Samples, EveryPairOpensWithoutAWord) {
    if (!QFile::exists(kSamples + "/ImgBinDat")) {
        GTEST_SKIP() << "no samples";
    }
    for (const QString& sample : QDir(kSamples).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const StartupOptions options = SampleOptions(sample);
        ASSERT_FALSE(options.sLeftFile.empty() || options.sRightFile.empty())
            << sample.toStdString();
        Start(options);
        EXPECT_TRUE(ui.messages.empty()) << sample.toStdString() << ": " << ui.messages.front();
        EXPECT_FALSE(app->Database().Empty());
        ASSERT_TRUE(View().Image(ViewSide::Left) && View().Image(ViewSide::Right))
            << sample.toStdString();
        // Not swapped (a detached label's data file opens through its label).
        EXPECT_EQ(QFileInfo(QString::fromStdString(Controller().Document().Session().LeftFile()))
                      .completeBaseName(),
                  QFileInfo(QString::fromStdString(options.sLeftFile)).completeBaseName());
        Stop();
        ui.messages.clear();
    }
}

// The picture of the program at work: a sample pair zoomed to fit its panels,
// two stored measurements and a current pair of marks.
TEST_F(Samples, Screenshot) {
    if (!QFile::exists(kSamples + "/ImgBinDat")) {
        GTEST_SKIP() << "no samples";
    }
    Start(SampleOptions("oppy-navcam"));
    CChildView& view = View();
    const auto marks = TruthMarks("oppy-navcam", 9);
    ASSERT_EQ(marks.size(), 9u);
    Controller().AppendMeasurement(marks[0].first, marks[0].second, {}, "");
    Controller().AppendMeasurement(marks[4].first, marks[4].second, {}, "");
    Controller().Document().Session().SetMark(Eye::Left, marks[8].first);
    Controller().Document().Session().SetMark(Eye::Right, marks[8].second);

    view.OnVertexIndices();
    // Zoom out until the images fit, and centre each in its panel.
    const int half = view.ComputeLayout(view.ClientRect(), ViewSide::Left).panel.Width();
    int step = 0;
    while (1024 * ZoomForStep(step) > half) {
        ++step;
    }
    view.SetZoomStep(step);
    const double z = view.Zoom();
    const double centre = (half - 1024 * z) / 2 - 0.5 * half + 0.5 * half * z;
    view.SetOffset(ViewSide::Left, {centre, centre});
    view.SetOffset(ViewSide::Right, {centre, centre});
    view.Repaint();

    const QImage shot = frame->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString artifacts = QString(RANVISTA_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(artifacts);
    EXPECT_TRUE(shot.save(artifacts + "/screenshot-samples.png"));
    const SideLayout left = view.ComputeLayout(view.ClientRect(), ViewSide::Left);
    EXPECT_TRUE(left.panel.Intersect(left.image) == left.image); // whole image in view
    const ImageToScreenResult cur =
        view.ImageToScreen(*view.Session().Mark(Eye::Left), ViewSide::Left, left);
    ASSERT_TRUE(cur.visible);
    EXPECT_EQ(shot.pixel(view.mapTo(frame, QPoint(int(cur.x), int(cur.y) - 3))), qRgb(255, 255, 0));
}
