// One full paint of the stereo view: a 1920 x 1080 client with two 2048 x 2048
// images, at zoom 1 and after 30 zoom-in steps; and the sample pair with
// 10,000 measurements, two of them highlighted, with and without their error
// ellipses.
#include "analysis/PointUncertainty.h"
#include "imagedb/CalcInput.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"
#include "viewer/ChildView.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

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
    std::unique_ptr<CChildView> view;

    explicit Scene(int zoomStep) {
        EnsureApplication();
        view = std::make_unique<CChildView>(ui, db);
        view->resize(1920, 1080);
        view->SetImage(ViewSide::Left, std::make_unique<CImage>(Texture(2048, 0)));
        view->SetImage(ViewSide::Right, std::make_unique<CImage>(Texture(2048, 7)));
        for (int i = 0; i < 20; ++i) {
            view->AppendMeasurement({100.0 * i, 100.0 * i}, {100.0 * i, 90.0 * i}, {}, "");
        }
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
    std::unique_ptr<CChildView> view;

    Workspace() {
        EnsureApplication();
        const std::string samples = RANVISTA_SOURCE_DIR "/samples/";
        LoadStoreFile(db, samples + "ImgBinDat");
        view = std::make_unique<CChildView>(ui, db);
        view->resize(1920, 1080);
        view->OpenPairFiles(samples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png",
                            samples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png");
        const MeasurementSession& s = view->Session();
        std::vector<MeasurementRecord> grid;
        for (int i = 0; i < 100; ++i) {
            const double dx = 6.0 * (i % 10);
            const double dy = 6.0 * (i / 10);
            const ImagePoint l{386 + dx, 700 + dy};
            const ImagePoint r{289 + dx, 697 + dy};
            const RangeCalcInput in =
                MakeRangeCalcInput({}, s.LeftFile(), s.RightFile(), l, r, {}, db);
            const RangeCalcResult res = CalculateRange(in);
            if (res.bOk) {
                grid.push_back(RecordOfCalculation(in, res, PixelSource::Clicked,
                                                   PixelSource::Clicked, {}, "t"));
            }
        }
        for (int i = 0; i < 10000 && !grid.empty(); ++i) {
            view->AppendMeasurementRecord(grid[static_cast<std::size_t>(i) % grid.size()]);
        }
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
