// ranvista-make-samples: renders the sample stereo pairs and writes them with
// their image database and ground truth.
//
//   ranvista-make-samples OUTDIR [--truth-only]
//
// OUTDIR receives <pair>/<product>.png (8-bit grey, 1024 x 1024), <pair>/truth.csv,
// the per-pixel truth of each left image <pair>/<left product>.truth.pfm (see
// TruthMap.h; about 12 MB each, not shipped), the query export
// query-export.txt and the store ImgBinDat made from it.
// --truth-only skips the images (quick: the truth does not depend on them).
#include "base/AtomicFile.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"
#include "tools/SamplePairs.h"
#include "tools/TruthMap.h"

#include <QImage>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

bool WriteText(const std::filesystem::path& path, const std::string& text) {
    std::string error;
    if (!WriteFileAtomically(path.string(), text, &error)) {
        std::fprintf(stderr, "Unable to create %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool WriteImage(const std::filesystem::path& path, const std::vector<uint8_t>& pixels) {
    QImage image(kSampleImageSize, kSampleImageSize, QImage::Format_Grayscale8);
    for (int j = 0; j < kSampleImageSize; ++j) {
        std::memcpy(image.scanLine(j), pixels.data() + static_cast<size_t>(j) * kSampleImageSize,
                    kSampleImageSize);
    }
    if (!image.save(QString::fromStdString(path.string()), "PNG", 0)) {
        std::fprintf(stderr, "Unable to create %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--truth-only") != 0)) {
        std::fprintf(stderr, "usage: ranvista-make-samples OUTDIR [--truth-only]\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const bool images = argc == 2;
    std::string query;
    ImageDatabase db;
    for (const SamplePairDefinition& options : SamplePairDefinitions()) {
        const SamplePair pair = BuildSamplePair(options);
        std::printf("%s: %zu rocks, %zu marked points, range %.2f to %.2f m\n",
                    options.folder.c_str(), pair.scene.m_vRocks.size(), pair.truth.size(),
                    pair.truth.empty() ? 0.0 : pair.truth.front().point.Length(),
                    pair.truth.empty() ? 0.0 : pair.truth.back().point.Length());
        const std::filesystem::path dir = out / options.folder;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (!WriteText(dir / "truth.csv", TruthCsv(pair))) {
            return 1;
        }
        if (images && !WriteText(dir / (options.leftTitle + ".truth.pfm"),
                                 EncodeTruthPfm(ComputeTruthMap(
                                     pair.scene, pair.left, kSampleImageSize, kSampleImageSize)))) {
            return 1;
        }
        for (const auto& [title, cam] : {std::pair{options.leftTitle, &pair.left},
                                         std::pair{options.rightTitle, &pair.right}}) {
            ImageRecord product = cam->Record();
            product.m_sProductId = title; // the export names products as they are named
            query += FormatQueryLine(product) + "\n";
            db.InsertRecord(cam->Record());
            if (images &&
                !WriteImage(dir / (title + ".png"),
                            RenderImage(pair.scene, *cam, kSampleImageSize, kSampleImageSize, 3))) {
                return 1;
            }
        }
    }
    if (!WriteText(out / "query-export.txt", query)) {
        return 1;
    }
    db.SetStorePath(StorePathIn(out.string()));
    return db.SaveStore() ? 0 : 1;
}
