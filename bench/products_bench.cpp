// Reading products: a real MER Navcam EDR label (attached) with 1024 x 1024
// 16-bit pixels, label and pixels together and the label alone; and the raw
// JSON record of a Mars 2020 image.
#include "products/ProductReader.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
    std::ifstream in(std::string(RANVISTA_SOURCE_DIR) + "/tests/products/data/" + name,
                     std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The EDR: 13 label records, 7 header records, then the image at record 21.
const std::string& EdrPath() {
    static const std::string path = [] {
        const fs::path p = fs::temp_directory_path() / "rv_bench_2N292280938EFFB100P0703L0M1.IMG";
        std::string bytes = Fixture("2n292280938effb100p0703l0m1.lbl");
        bytes.resize(20 * 2048, ' ');
        bytes.reserve(bytes.size() + 2u * 1024 * 1024);
        for (int i = 0; i < 1024 * 1024; ++i) {
            const int v = (i * 7) & 0xfff;
            bytes += static_cast<char>(v >> 8);
            bytes += static_cast<char>(v & 0xff);
        }
        std::ofstream(p, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }();
    return path;
}

void BM_ReadEdrLabelAndPixels(benchmark::State& state) {
    const std::string& path = EdrPath();
    for (auto _ : state) {
        ProductReadResult r = ReadProduct(path);
        if (!r.ok) {
            state.SkipWithError(r.message.c_str());
            break;
        }
        benchmark::DoNotOptimize(r.product.pixels->samples.data());
    }
    state.SetBytesProcessed(state.iterations() * 2 * 1024 * 1024);
}
BENCHMARK(BM_ReadEdrLabelAndPixels)->Unit(benchmark::kMillisecond);

void BM_ReadEdrLabelOnly(benchmark::State& state) {
    const std::string& path = EdrPath();
    ProductReadOptions options;
    options.pixels = false;
    for (auto _ : state) {
        ProductReadResult r = ReadProduct(path, options);
        benchmark::DoNotOptimize(r.ok);
    }
}
BENCHMARK(BM_ReadEdrLabelOnly)->Unit(benchmark::kMicrosecond);

void BM_ReadRawJsonRecord(benchmark::State& state) {
    const std::string text =
        Fixture("NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01-metadata.json");
    for (auto _ : state) {
        ProductReadResult r = ReadRawJsonText(text, "record.json", "NLF_0670");
        benchmark::DoNotOptimize(r.ok);
    }
}
BENCHMARK(BM_ReadRawJsonRecord)->Unit(benchmark::kMicrosecond);

} // namespace
