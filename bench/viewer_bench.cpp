// One full paint of the stereo view: a 1920 x 1080 client with two 2048 x 2048
// images, at zoom 1 and after 30 zoom-in steps; and the sample pair with
// 10,000 measurements, two of them highlighted, with and without their error
// ellipses.
// A large pair: two 5120 x 3840 frames of 12-bit samples in 16-bit words (the
// size of a Mars 2020 Navcam full frame), as PNG and as PDS3 products: opening
// it (reading both files and the first paint), and one repaint at every zoom
// step from the whole image in its panel to 8 times, still and while panning.
#include "app/PairController.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"
#include "stereo/PointUncertainty.h"
#include "stereo/StereoRig.h"
#include "viewer/ChildView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
class SilentUi : public IUiServices {
public:
    void ShowMessage(const std::string&) override {}
    SaveChoice AskSaveDiscardCancel(const std::string&) override { return SaveChoice::Cancel; }
    std::vector<std::string> ChooseOpenFiles(const FileChooserRequest&) override { return {}; }
    std::string ChooseSaveFile(const FileChooserRequest&) override { return {}; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void Beep(int, int) override {}
};

// Offscreen, with the settings in a scratch folder.
void EnsureApplication() {
    static QTemporaryDir* home = nullptr;
    if (QApplication::instance() != nullptr) {
        return;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    home = new QTemporaryDir;
    const QByteArray path = home->path().toLocal8Bit();
    setenv("HOME", path.constData(), 1);
    setenv("XDG_CONFIG_HOME", path.constData(), 1);
    setenv("XDG_RUNTIME_DIR", path.constData(), 1);
    static int argc = 1;
    static char name[] = "bench_viewer";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

QImage Texture(int size, int seed) {
    QImage img(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const unsigned v = (static_cast<unsigned>(x) * 2654435761u) ^
                               (static_cast<unsigned>(y + seed) * 40503u);
            row[x] = qRgb(v & 255, (v >> 8) & 255, (v >> 16) & 255);
        }
    }
    return img;
}

struct Scene {
    SilentUi ui;
    ImageDatabase db;
    PairDocument doc{db};
    std::unique_ptr<CChildView> view;

    explicit Scene(int zoomStep) {
        EnsureApplication();
        view = std::make_unique<CChildView>(ui, doc);
        view->resize(1920, 1080);
        view->SetImage(ViewSide::Left, std::make_unique<CImage>(Texture(2048, 0)));
        view->SetImage(ViewSide::Right, std::make_unique<CImage>(Texture(2048, 7)));
        for (int i = 0; i < 20; ++i) {
            doc.Session().Append({100.0 * i, 100.0 * i}, {100.0 * i, 90.0 * i}, {}, "", {});
        }
        doc.Touch(PairDocument::Change::Measurements);
        view->OnVertexIndices();
        view->SetZoomStep(zoomStep);
        view->show();
        QApplication::processEvents();
    }
};

void BM_PaintView(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        scene.view->repaint();
    }
    state.SetLabel("widget repaint, zoom step " + std::to_string(state.range(0)));
}

void BM_RenderBuffer(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    QImage buffer(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        scene.view->RenderTo(buffer);
        benchmark::DoNotOptimize(buffer.constBits());
    }
    state.SetLabel("off-screen buffer only, zoom step " + std::to_string(state.range(0)));
}
// The sample pair with 10,000 measurements spread over the left image.
struct Workspace {
    SilentUi ui;
    ImageDatabase db;
    std::unique_ptr<CPairController> controller;
    std::unique_ptr<CChildView> view;

    Workspace() {
        EnsureApplication();
        const std::string samples = RANVISTA_SOURCE_DIR "/samples/";
        LoadStoreFile(db, samples + "ImgBinDat");
        controller = std::make_unique<CPairController>(ui, db);
        view = std::make_unique<CChildView>(ui, controller->Document());
        controller->SetView(*view);
        view->resize(1920, 1080);
        controller->OpenPairFiles(samples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png",
                                  samples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png");
        const StereoRig& rig = view->Document().Rig();
        std::vector<MeasurementRecord> grid;
        for (int i = 0; i < 100; ++i) {
            const double dx = 6.0 * (i % 10);
            const double dy = 6.0 * (i / 10);
            const ImagePoint l{386 + dx, 700 + dy};
            const ImagePoint r{289 + dx, 697 + dy};
            const RangeCalcInput in = rig.Input(l, r, {});
            const RangeCalcResult res = CalculateRange(in);
            if (res.bOk) {
                grid.push_back(RecordOfCalculation(in, res, PixelSource::Clicked,
                                                   PixelSource::Clicked, {}, "t"));
            }
        }
        for (int i = 0; i < 10000 && !grid.empty(); ++i) {
            controller->Document().Session().Append(
                MeasurementRecord(grid[static_cast<std::size_t>(i) % grid.size()]));
        }
        controller->Document().Touch(PairDocument::Change::Measurements);
        view->SetHighlightedRows({0, 1});
        view->SetZoomStep(-10);
        view->ShowMarksOfRows({0, 99});
        view->show();
        QApplication::processEvents();
    }
};

void BM_RenderWorkspace(benchmark::State& state) {
    Workspace scene;
    scene.view->SetErrorEllipsesShown(state.range(0) != 0);
    QImage buffer(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        scene.view->RenderTo(buffer);
        benchmark::DoNotOptimize(buffer.constBits());
    }
    state.SetLabel(std::to_string(scene.view->Session().Measurements().size()) +
                   " measurements, error ellipses " + (state.range(0) != 0 ? "on" : "off"));
}
} // namespace

BENCHMARK(BM_RenderWorkspace)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintView)->Arg(0)->Arg(-30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderBuffer)->Arg(0)->Arg(-30)->Unit(benchmark::kMillisecond);

namespace {
constexpr int kLargeWidth = 5120;
constexpr int kLargeHeight = 3840;
constexpr int kClientWidth = 1920;
constexpr int kClientHeight = 1080;

// Terrain-like 12-bit samples: broad shading, a ridge, a fine grain.
QImage Frame16(int seed) {
    QImage img(kLargeWidth, kLargeHeight, QImage::Format_Grayscale16);
    for (int y = 0; y < kLargeHeight; ++y) {
        auto* row = reinterpret_cast<quint16*>(img.scanLine(y));
        for (int x = 0; x < kLargeWidth; ++x) {
            const unsigned hash = (static_cast<unsigned>(x + seed) * 2654435761u) ^
                                  (static_cast<unsigned>(y) * 40503u);
            const double shade = 1200 + 0.25 * y + 300 * std::sin((x + 3 * seed) / 400.0);
            const double ridge = 600 * std::exp(-std::abs(y - 1800 - 0.1 * x) / 60.0);
            row[x] = static_cast<quint16>(std::clamp(shade + ridge + (hash >> 24), 0.0, 4095.0));
        }
    }
    return img;
}

// The same samples as an attached-label PDS3 product, big-endian words.
bool WritePds3(const QString& path, const QImage& grey16) {
    std::string label = "PDS_VERSION_ID = PDS3\nRECORD_TYPE = FIXED_LENGTH\n"
                        "RECORD_BYTES = 10240\nLABEL_RECORDS = 1\n^IMAGE = 2\n"
                        "INSTRUMENT_ID = \"NAVCAM_LEFT\"\n"
                        "GROUP = GEOMETRIC_CAMERA_MODEL\n"
                        "  MODEL_TYPE = CAHVOR\n"
                        "  MODEL_COMPONENT_1 = (1.0,0.0,-1.5)\n"
                        "  MODEL_COMPONENT_2 = (1.0,0.0,0.0)\n"
                        "  MODEL_COMPONENT_3 = (10.0,2560.0,0.0)\n"
                        "  MODEL_COMPONENT_4 = (8.0,0.0,2560.0)\n"
                        "  MODEL_COMPONENT_5 = (1.0,0.0,0.0)\n"
                        "  MODEL_COMPONENT_6 = (0.0,0.0,0.0)\n"
                        "  REFERENCE_COORD_SYSTEM_NAME = ROVER_FRAME\n"
                        "END_GROUP = GEOMETRIC_CAMERA_MODEL\n"
                        "OBJECT = IMAGE\n  LINES = 3840\n  LINE_SAMPLES = 5120\n"
                        "  SAMPLE_TYPE = MSB_UNSIGNED_INTEGER\n  SAMPLE_BITS = 16\n"
                        "  SAMPLE_BIT_MASK = 2#0000111111111111#\n  BANDS = 1\n"
                        "END_OBJECT = IMAGE\nEND\n";
    label.resize(10240, ' ');
    QByteArray data(static_cast<qsizetype>(2) * kLargeWidth * kLargeHeight, '\0');
    for (int y = 0; y < kLargeHeight; ++y) {
        const auto* row = reinterpret_cast<const quint16*>(grey16.constScanLine(y));
        char* out = data.data() + static_cast<qsizetype>(2) * kLargeWidth * y;
        for (int x = 0; x < kLargeWidth; ++x) {
            out[2 * x] = static_cast<char>(row[x] >> 8);
            out[2 * x + 1] = static_cast<char>(row[x] & 0xFF);
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(label.data(), static_cast<qint64>(label.size())) ==
               static_cast<qint64>(label.size()) &&
           file.write(data) == data.size();
}

struct LargeFiles {
    QTemporaryDir dir;
    std::string pngLeft, pngRight, pdsLeft, pdsRight;
};

// Written once, on first use.
const LargeFiles& Large() {
    static const std::unique_ptr<LargeFiles> files = [] {
        auto f = std::make_unique<LargeFiles>();
        const QDir d(f->dir.path());
        const QImage left = Frame16(0);
        const QImage right = Frame16(40);
        f->pngLeft =
            d.filePath("NLF_0100_0674000000_000ECM_N0040000NCAM00000_01_295J.png").toStdString();
        f->pngRight =
            d.filePath("NRF_0100_0674000000_000ECM_N0040000NCAM00000_01_295J.png").toStdString();
        f->pdsLeft = d.filePath("left.IMG").toStdString();
        f->pdsRight = d.filePath("right.IMG").toStdString();
        if (!left.save(QString::fromStdString(f->pngLeft)) ||
            !right.save(QString::fromStdString(f->pngRight)) ||
            !WritePds3(QString::fromStdString(f->pdsLeft), left) ||
            !WritePds3(QString::fromStdString(f->pdsRight), right)) {
            std::abort();
        }
        return f;
    }();
    return *files;
}

// The view of the large pair, made once: the open benchmarks reopen into it.
struct LargeScene {
    SilentUi ui;
    ImageDatabase db;
    std::unique_ptr<CPairController> controller;
    std::unique_ptr<CChildView> view;

    LargeScene() {
        EnsureApplication();
        controller = std::make_unique<CPairController>(ui, db);
        view = std::make_unique<CChildView>(ui, controller->Document());
        controller->SetView(*view);
        view->resize(kClientWidth, kClientHeight);
        view->show();
        QApplication::processEvents();
    }
    void Open(const std::string& left, const std::string& right) {
        controller->OpenPairFiles(left, right);
        controller->WaitForImages();
        view->repaint();
    }
    void EnsureOpen() {
        if (!view->HasBothImages()) {
            Open(Large().pngLeft, Large().pngRight);
        }
    }
};

LargeScene& TheLargeScene() {
    static LargeScene scene;
    return scene;
}

// The zoom step that shows the whole image in its panel, and the one that
// first magnifies eight times.
int WholeImageStep() {
    const double panel = (10 * kClientWidth) / 21;
    const double zoom = panel / std::max(kLargeWidth, kLargeHeight);
    return static_cast<int>(std::ceil(-10.0 * std::log(zoom)));
}
int EightTimesStep() {
    return static_cast<int>(std::floor(-10.0 * std::log(8.0)));
}

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_OpenLargePair(benchmark::State& state) {
    const bool pds = state.range(0) == 1;
    const LargeFiles& files = Large();
    LargeScene& scene = TheLargeScene();
    for (auto _ : state) {
        scene.Open(pds ? files.pdsLeft : files.pngLeft, pds ? files.pdsRight : files.pngRight);
        benchmark::DoNotOptimize(scene.view->Image(ViewSide::Left));
    }
    if (!scene.view->HasBothImages()) {
        state.SkipWithError("the pair did not open");
    }
    state.SetLabel(std::string(pds ? "PDS3" : "PNG") +
                   " 5120x3840 16-bit pair: read, reduced copies, first paint");
}

// Every zoom step from the whole image to 8x, one repaint each (panning: the
// left image moved by a drag step before each repaint of its panel). The
// time is the mean repaint; max_ms the slowest single repaint, and
// worst_median_ms the slowest step by its median over the iterations (what a
// step costs when no other process takes the core away).
void RepaintEveryStep(benchmark::State& state, bool panning) {
    LargeScene& scene = TheLargeScene();
    scene.EnsureOpen();
    CChildView& view = *scene.view;
    const int steps = WholeImageStep() - EightTimesStep() + 1;
    std::vector<std::vector<double>> times(static_cast<std::size_t>(steps));
    for (auto _ : state) {
        double iteration = 0;
        for (int i = 0; i < steps; ++i) {
            view.SetZoomStep(WholeImageStep() - i);
            view.SetOffset(ViewSide::Left, {});
            view.repaint(); // not timed: the zoom itself
            PanOffset offset = view.Offset(ViewSide::Left);
            const Clock::time_point t0 = Clock::now();
            if (panning) {
                offset.x += 7;
                offset.y += 5;
                view.SetOffset(ViewSide::Left, offset);
                view.RepaintPanel(ViewSide::Left);
            } else {
                view.repaint();
            }
            const double ms = Ms(Clock::now() - t0);
            iteration += ms;
            times[static_cast<std::size_t>(i)].push_back(ms);
        }
        state.SetIterationTime(iteration / 1000.0 / steps);
    }
    double worst = 0;
    double worstMedian = 0;
    int worstStep = 0;
    double total = 0;
    int count = 0;
    for (int i = 0; i < steps; ++i) {
        std::vector<double>& t = times[static_cast<std::size_t>(i)];
        if (t.empty()) {
            continue;
        }
        std::sort(t.begin(), t.end());
        worst = std::max(worst, t.back());
        const double median = t[t.size() / 2];
        if (median > worstMedian) {
            worstMedian = median;
            worstStep = WholeImageStep() - i;
        }
        for (const double v : t) {
            total += v;
            ++count;
        }
    }
    state.counters["max_ms"] = worst;
    state.counters["worst_median_ms"] = worstMedian;
    state.counters["worst_step"] = worstStep;
    state.counters["mean_ms"] = count > 0 ? total / count : 0;
    state.SetLabel(std::string(panning ? "panning, " : "") + "1920x1080 view, zoom steps " +
                   std::to_string(WholeImageStep()) + " (whole image) to " +
                   std::to_string(EightTimesStep()) + " (8x)");
}

void BM_LargePairEveryZoomStep(benchmark::State& state) {
    RepaintEveryStep(state, false);
}
void BM_LargePairEveryZoomStepPanning(benchmark::State& state) {
    RepaintEveryStep(state, true);
}

// One zoom step at a time, for the figures of each.
void BM_LargePairRepaint(benchmark::State& state) {
    LargeScene& scene = TheLargeScene();
    scene.EnsureOpen();
    CChildView& view = *scene.view;
    view.SetZoomStep(state.range(0));
    view.SetOffset(ViewSide::Left, {});
    view.SetOffset(ViewSide::Right, {});
    for (auto _ : state) {
        view.repaint();
    }
    state.SetLabel("zoom x" + std::to_string(view.Zoom()).substr(0, 5));
}
} // namespace

BENCHMARK(BM_OpenLargePair)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LargePairEveryZoomStep)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargePairEveryZoomStepPanning)
    ->Iterations(9)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargePairRepaint)
    ->DenseRange(EightTimesStep(), WholeImageStep(), 3)
    ->Unit(benchmark::kMillisecond);
