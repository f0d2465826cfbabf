// ranvista-make-samples: renders the sample stereo pairs and writes them with
// their image database and ground truth.
//
//   ranvista-make-samples OUTDIR [--truth-only]
//
// OUTDIR receives <pair>/<product>.png (8-bit grey, 1024 x 1024), <pair>/truth.csv,
// the per-pixel truth of each left image <pair>/<left product>.truth.pfm (see
// TruthMap.h; about 12 MB each, not shipped), the query export
// query-export.txt and the store ImgBinDat made from it.
// Beside them: the Opportunity Navcam pair as PDS3 products with attached
// labels (<pair>-pds3/<product>.IMG, 12-bit samples), the MSL Navcam pair
// with detached labels (.LBL + .IMG), and the Mars 2020-like pairs as PNG
// images with their raw-image JSON records (<product>-metadata.json); each
// folder with its truth.csv.
// --truth-only skips the images and products (quick: the truth does not
// depend on them).
#include "base/AtomicFile.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"
#include "samplegen/ProductSamples.h"
#include "samplegen/SamplePairs.h"
#include "samplegen/TruthMap.h"

#include <QImage>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
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

bool WriteImage(const std::filesystem::path& path, const std::vector<uint8_t>& pixels,
                int width = kSampleImageSize, int height = kSampleImageSize) {
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int j = 0; j < height; ++j) {
        std::memcpy(image.scanLine(j), pixels.data() + static_cast<size_t>(j) * width,
                    static_cast<size_t>(width));
    }
    if (!image.save(QString::fromStdString(path.string()), "PNG", 0)) {
        std::fprintf(stderr, "Unable to create %s\n", path.c_str());
        return false;
    }
    return true;
}

bool MakeFolder(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "Unable to create %s: %s\n", dir.c_str(), ec.message().c_str());
    }
    return !ec;
}

// The PDS3 products of a rendered catalogue pair and their truth.
bool WritePds3Pair(const std::filesystem::path& out, const Pds3SampleDefinition& definition,
                   const SamplePair& pair,
                   const std::map<std::string, std::vector<uint8_t>>& rendered, bool images) {
    const std::filesystem::path dir = out / definition.folder;
    const SamplePairDefinition& options = pair.options;
    if (!MakeFolder(dir) ||
        !WriteText(
            dir / "truth.csv",
            TruthCsv(pair.truth,
                     definition.folder + "/" + Pds3MeasuredFile(definition, options.leftTitle),
                     definition.folder + "/" + Pds3MeasuredFile(definition, options.rightTitle)))) {
        return false;
    }
    if (!images) {
        return true;
    }
    for (const auto& [title, cam] :
         {std::pair{options.leftTitle, &pair.left}, std::pair{options.rightTitle, &pair.right}}) {
        const Pds3ProductFiles files =
            MakePds3Product(definition, options, title, *cam, rendered.at(title), kSampleImageSize,
                            kSampleImageSize);
        if (!WriteText(dir / files.labelName, files.labelBytes) ||
            (!files.dataName.empty() && !WriteText(dir / files.dataName, files.dataBytes))) {
            return false;
        }
    }
    return true;
}

// A Mars 2020-like pair: PNG images, their JSON records and the truth.
bool WriteMars2020Pair(const std::filesystem::path& out, const Mars2020SampleDefinition& options,
                       bool images) {
    const Mars2020SamplePair pair = BuildMars2020SamplePair(options);
    std::printf("%s: %zu rocks, %zu marked points, range %.2f to %.2f m\n", options.folder.c_str(),
                pair.scene.m_vRocks.size(), pair.truth.size(),
                pair.truth.empty() ? 0.0 : pair.truth.front().point.Length(),
                pair.truth.empty() ? 0.0 : pair.truth.back().point.Length());
    const std::filesystem::path dir = out / options.folder;
    if (!MakeFolder(dir) ||
        !WriteText(dir / "truth.csv",
                   TruthCsv(pair.truth, options.folder + "/" + options.leftTitle + ".png",
                            options.folder + "/" + options.rightTitle + ".png"))) {
        return false;
    }
    for (const bool right : {false, true}) {
        const std::string& title = right ? options.rightTitle : options.leftTitle;
        if (!WriteText(dir / (title + "-metadata.json"), RawJsonRecord(options, right))) {
            return false;
        }
        if (images && !WriteImage(dir / (title + ".png"),
                                  RenderProductImage(pair.scene, right ? pair.right : pair.left,
                                                     kProductSamplesPerPixel),
                                  options.width, options.height)) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    constexpr const char* kUsage = "usage: ranvista-make-samples OUTDIR [--truth-only]\n";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s"
                    "Renders the synthetic sample pairs, their truth tables and maps, the\n"
                    "image database and its query export into OUTDIR.\n"
                    "  --truth-only  write the truth files only, not the images\n",
                    kUsage);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ranvista-make-samples %s\n", RANVISTA_VERSION);
        return 0;
    }
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--truth-only") != 0)) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    if (argv[1][0] == '-') {
        // An option mistaken for the output folder would fill a folder named
        // like it.
        std::fprintf(stderr, "ranvista-make-samples: unknown option %s\n%s", argv[1], kUsage);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const bool images = argc == 2;
    std::string query;
    ImageDatabase db;
    const std::vector<Pds3SampleDefinition> pds3 = Pds3SampleDefinitions();
    for (const SamplePairDefinition& options : SamplePairDefinitions()) {
        std::map<std::string, std::vector<uint8_t>> rendered;
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
            if (images) {
                rendered[title] =
                    RenderImage(pair.scene, *cam, kSampleImageSize, kSampleImageSize, 3);
                if (!WriteImage(dir / (title + ".png"), rendered[title])) {
                    return 1;
                }
            }
        }
        for (const Pds3SampleDefinition& definition : pds3) {
            if (definition.sourceFolder == options.folder &&
                !WritePds3Pair(out, definition, pair, rendered, images)) {
                return 1;
            }
        }
    }
    for (const Mars2020SampleDefinition& options : Mars2020SampleDefinitions()) {
        if (!WriteMars2020Pair(out, options, images)) {
            return 1;
        }
    }
    if (!WriteText(out / "query-export.txt", query)) {
        return 1;
    }
    db.SetStorePath(StorePathIn(out.string()));
    return db.SaveStore() ? 0 : 1;
}
