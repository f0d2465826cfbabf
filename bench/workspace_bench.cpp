// The measurement workspace with 10,000 measurements: sorting the table,
// the data of one screenful of rows, and the autosave of the session.
#include "app/AutosaveWriter.h"
#include "app/MeasurementTableModel.h"
#include "base/AtomicFile.h"
#include "session/SessionFile.h"

#include <QCoreApplication>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kRows = 10000;

MeasurementSession& BigSession() {
    static MeasurementSession* session = [] {
        auto* s = new MeasurementSession;
        std::mt19937 random(3);
        std::uniform_real_distribution<double> u(-20.0, 20.0);
        for (int i = 0; i < kRows; ++i) {
            MeasurementRecord r;
            r.leftPixel = {u(random) + 500, u(random) + 500};
            r.rightPixel = {u(random) + 400, u(random) + 500};
            r.position = {u(random), u(random), u(random) / 10};
            r.rangeM = r.position.Length();
            r.azimuthDeg = u(random);
            r.elevationDeg = u(random);
            r.uncertainty = PointUncertainty{{}, 0.01, 0.009, 0.001, 0.004};
            r.missDistanceM = 0.0001;
            r.timeUtc = "2026-12-09T12:00:00Z";
            r.note = "note " + std::to_string(i);
            r.logEntry = "\nImage Pair L R\nRange=" + std::to_string(r.rangeM) + "\n";
            r.vertex = {r.position, {0.01, 0.01, 0.01}};
            s->Append(std::move(r));
        }
        return s;
    }();
    return *session;
}

void EnsureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "bench_workspace";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

void BM_SortTableOf10000Rows(benchmark::State& state) {
    EnsureApplication();
    CMeasurementTableModel model(BigSession());
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setSortRole(CMeasurementTableModel::SortRole);
    bool up = true;
    for (auto _ : state) {
        // A new column each time, as a click on a header does.
        proxy.sort(CMeasurementTableModel::kRange, up ? Qt::AscendingOrder : Qt::DescendingOrder);
        up = !up;
        benchmark::DoNotOptimize(proxy.index(0, 0));
    }
}
BENCHMARK(BM_SortTableOf10000Rows)->Unit(benchmark::kMillisecond);

void BM_DataOfAScreenfulOfRows(benchmark::State& state) {
    EnsureApplication();
    CMeasurementTableModel model(BigSession());
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setSortRole(CMeasurementTableModel::SortRole);
    proxy.sort(CMeasurementTableModel::kZ);
    int first = 0;
    for (auto _ : state) {
        // 50 rows of every column, as the view paints them.
        for (int r = first; r < first + 50; ++r) {
            for (int c = 0; c < CMeasurementTableModel::kColumnCount; ++c) {
                benchmark::DoNotOptimize(proxy.data(proxy.index(r, c)));
            }
        }
        first = (first + 50) % (kRows - 50);
    }
}
BENCHMARK(BM_DataOfAScreenfulOfRows)->Unit(benchmark::kMicrosecond);

void BM_AutosaveOf10000Measurements(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("autosave.rvsession").toStdString();
    SessionDocument doc;
    doc.leftImage = "/data/L.png";
    doc.rightImage = "/data/R.png";
    doc.measurements = BigSession().Measurements();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = SessionText(doc, path);
        bytes = text.size();
        WriteFileAtomically(path, text);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_AutosaveOf10000Measurements)->Unit(benchmark::kMillisecond);

// What the window itself spends on an autosave: a copy of the session handed
// to the writer's thread.
void BM_AutosaveHandOffOf10000Measurements(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("autosave.rvsession").toStdString();
    CAutosaveWriter writer;
    for (auto _ : state) {
        SessionDocument doc;
        doc.measurements = BigSession().Measurements();
        writer.Submit(path, std::move(doc));
    }
    writer.Flush();
}
BENCHMARK(BM_AutosaveHandOffOf10000Measurements)->Unit(benchmark::kMillisecond);

} // namespace
