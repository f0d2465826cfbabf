// The sample products: what the readers find in the committed files, that
// the files are what the generator writes, and that the models, subframes
// and images agree with the ground truth.
#include "products/PairIdentification.h"
#include "products/ProductReader.h"
#include "samplegen/ProductSamples.h"
#include "stereo/ProductStereo.h"

#include <QImage>

#include "tests/samples/SampleFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

using sample_files::CsvRows;
using sample_files::ReadAll;
using sample_files::SamplesDir;

// The committed truth.csv against the generator's, numbers to 1e-9 (they
// may differ in the last bits on another C library).
void ExpectSameTruth(const std::string& folder, const std::string& made) {
    const auto want = CsvRows(made);
    const auto have = CsvRows(ReadAll(SamplesDir() + folder + "/truth.csv"));
    ASSERT_EQ(have.size(), want.size()) << folder;
    ASSERT_GT(want.size(), 40u) << folder;
    EXPECT_EQ(have[0], want[0]);
    for (size_t i = 1; i < want.size(); ++i) {
        ASSERT_EQ(have[i].size(), 9u) << folder;
        EXPECT_EQ(have[i][0], want[i][0]);
        EXPECT_EQ(have[i][1], want[i][1]);
        for (size_t k = 2; k < 9; ++k) {
            EXPECT_NEAR(std::stod(have[i][k]), std::stod(want[i][k]), 1e-9)
                << folder << " line " << i + 1;
        }
    }
}

const SamplePairDefinition& CatalogueDefinition(const std::string& folder) {
    static const std::vector<SamplePairDefinition> all = SamplePairDefinitions();
    return *std::find_if(all.begin(), all.end(),
                         [&](const SamplePairDefinition& d) { return d.folder == folder; });
}

double Difference(const ModelParameters& a, const ModelParameters& b) {
    double d = 0.0;
    for (const auto& [p, q] :
         {std::pair{a.c, b.c}, std::pair{a.a, b.a}, std::pair{a.h, b.h}, std::pair{a.v, b.v},
          std::pair{a.o, b.o}, std::pair{a.r, b.r}, std::pair{a.e, b.e}}) {
        d = std::max(d, (p - q).Length());
    }
    return d;
}

} // namespace

TEST(ProductSampleFiles, Pds3ProductsAreWhatTheGeneratorWritesFromTheCommittedImages) {
    for (const Pds3SampleDefinition& d : Pds3SampleDefinitions()) {
        const SamplePair pair = BuildSamplePair(CatalogueDefinition(d.sourceFolder));
        ExpectSameTruth(d.folder,
                        TruthCsv(pair.truth,
                                 d.folder + "/" + Pds3MeasuredFile(d, pair.options.leftTitle),
                                 d.folder + "/" + Pds3MeasuredFile(d, pair.options.rightTitle)));
        for (const auto& [title, cam] : {std::pair{pair.options.leftTitle, &pair.left},
                                         std::pair{pair.options.rightTitle, &pair.right}}) {
            // The 12-bit samples repeat the committed PNG of the same view.
            const QImage png(
                QString::fromStdString(SamplesDir() + d.sourceFolder + "/" + title + ".png"));
            ASSERT_EQ(png.format(), QImage::Format_Grayscale8) << title;
            std::vector<uint8_t> pixels;
            for (int y = 0; y < png.height(); ++y) {
                pixels.insert(pixels.end(), png.constScanLine(y),
                              png.constScanLine(y) + png.width());
            }
            const Pds3ProductFiles made =
                MakePds3Product(d, pair.options, title, *cam, pixels, png.width(), png.height());
            const std::string dir = SamplesDir() + d.folder + "/";
            EXPECT_TRUE(ReadAll(dir + made.labelName) == made.labelBytes)
                << made.labelName << " differs from what the generator writes";
            if (!made.dataName.empty()) {
                EXPECT_TRUE(ReadAll(dir + made.dataName) == made.dataBytes)
                    << made.dataName << " differs from what the generator writes";
            }
        }
    }
}

TEST(ProductSampleFiles, ReadersFindThePointedModelThePoseAndTwelveBitPixelsWithoutARecord) {
    for (const Pds3SampleDefinition& d : Pds3SampleDefinitions()) {
        const SamplePair pair = BuildSamplePair(CatalogueDefinition(d.sourceFolder));
        for (const auto& [title, cam] : {std::pair{pair.options.leftTitle, &pair.left},
                                         std::pair{pair.options.rightTitle, &pair.right}}) {
            const std::string path = SamplesDir() + d.folder + "/" + Pds3MeasuredFile(d, title);
            const ProductReadResult r = ReadProduct(path);
            ASSERT_TRUE(r.ok) << r.message;
            const ProductInfo& p = r.product;
            EXPECT_EQ(p.source, "pds3");
            EXPECT_EQ(p.model.type, ModelType::Cahvor);
            // The label prints every number so that it reads back exactly.
            EXPECT_EQ(Difference(p.model, PointedModel(*cam)), 0.0) << title;
            EXPECT_EQ(p.frame, d.mission == "MER" ? "ROVER_FRAME" : "ROVER_NAV_FRAME");
            EXPECT_EQ(p.frameIndex, d.motionCounter);
            ASSERT_TRUE(p.pose) << title;
            EXPECT_EQ(p.pose->roverToSite.rotation, pair.options.attitude);
            EXPECT_EQ(p.pose->roverToSite.offset, d.roverInSite);
            EXPECT_EQ(p.pose->site, d.motionCounter.front());
            EXPECT_EQ(p.eye, title == pair.options.leftTitle ? "left" : "right");
            ASSERT_TRUE(p.pixels) << title;
            EXPECT_EQ(p.pixels->width, kSampleImageSize);
            EXPECT_EQ(p.pixels->height, kSampleImageSize);
            EXPECT_EQ(p.pixels->significantBits, 12);
            // The whole 12-bit range is used, nothing beyond it.
            const auto [lo, hi] =
                std::minmax_element(p.pixels->samples.begin(), p.pixels->samples.end());
            EXPECT_LE(*hi, 4095);
            EXPECT_GT(*hi, 2048);
            EXPECT_LT(*lo, 1024);
            // Pixels read the right way round: a marked corner shows contrast.
            const auto rows = CsvRows(ReadAll(SamplesDir() + d.folder + "/truth.csv"));
            const int side = title == pair.options.leftTitle ? 0 : 1;
            for (size_t i = 1; i < rows.size(); ++i) {
                const int col = static_cast<int>(std::lround(std::stod(rows[i][5 + 2 * side])));
                const int row = static_cast<int>(std::lround(std::stod(rows[i][6 + 2 * side])));
                int low = 4096;
                int high = 0;
                for (int y = row - 3; y <= row + 3; ++y) {
                    for (int x = col - 3; x <= col + 3; ++x) {
                        low = std::min<int>(low, p.pixels->At(x, y));
                        high = std::max<int>(high, p.pixels->At(x, y));
                    }
                }
                EXPECT_GE(high - low, 320) << title << " line " << i + 1;
            }
        }
    }
}

TEST(ProductSampleFiles, Mars2020RecordsAndTruthAreWhatTheGeneratorWritesAndPairsAreRecognised) {
    for (const Mars2020SampleDefinition& d : Mars2020SampleDefinitions()) {
        const Mars2020SamplePair pair = BuildMars2020SamplePair(d);
        ExpectSameTruth(d.folder, TruthCsv(pair.truth, d.folder + "/" + d.leftTitle + ".png",
                                           d.folder + "/" + d.rightTitle + ".png"));
        for (const bool right : {false, true}) {
            const std::string& title = right ? d.rightTitle : d.leftTitle;
            const std::string base = SamplesDir() + d.folder + "/" + title;
            EXPECT_EQ(ReadAll(base + "-metadata.json"), RawJsonRecord(d, right)) << title;
            const ProductReadResult r = ReadProduct(base + ".png");
            ASSERT_TRUE(r.ok) << r.message;
            const ProductInfo& p = r.product;
            EXPECT_EQ(p.source, "raw-json");
            EXPECT_EQ(p.model.type, ModelType::Cahvore);
            EXPECT_EQ(Difference(p.model, DeliveredModel(d, right)), 0.0) << title;
            EXPECT_EQ(p.model.mtype, (right ? d.rightFullFrame : d.leftFullFrame).mtype);
            EXPECT_EQ(p.width, d.width);
            EXPECT_EQ(p.height, d.height);
            EXPECT_EQ(p.firstSample, static_cast<int>(d.subframe.firstSample));
            EXPECT_EQ(p.firstLine, static_cast<int>(d.subframe.firstLine));
            EXPECT_EQ(p.downsampling, d.subframe.downsampling);
            EXPECT_EQ(p.eye, right ? "right" : "left");
            ASSERT_TRUE(p.pose);
            EXPECT_TRUE(p.pose->offsetKnown);
            EXPECT_EQ(p.frameIndex, (std::vector<long long>{d.site, d.drive}));
        }
        // Opened the wrong way round, the names still say which eye is which.
        const PairIdentification id = IdentifyPair(d.rightTitle, d.leftTitle);
        EXPECT_TRUE(id.bRecognised) << d.folder;
        EXPECT_TRUE(id.bSwap) << d.folder;
        EXPECT_FALSE(IdentifyPair(d.leftTitle, d.rightTitle).bSwap) << d.folder;
    }
}

TEST(ProductSampleModels, TheSubframedModelSeesEveryPointWhereTheFullFrameModelDoesMoved) {
    // A delivered model shifted the wrong way, or scaled about pixel corners
    // instead of centres, puts the truth half a pixel or more off the
    // detector's view of it.
    bool subframed = false;
    for (const Mars2020SampleDefinition& d : Mars2020SampleDefinitions()) {
        subframed = subframed || d.subframe.downsampling != 1.0 || d.subframe.firstLine != 1.0;
        const Mars2020SamplePair pair = BuildMars2020SamplePair(d);
        for (const bool right : {false, true}) {
            const auto full =
                ProductSampleCamera::Make(right ? d.rightFullFrame : d.leftFullFrame, d.attitude,
                                          d.detectorWidth, d.detectorHeight);
            ASSERT_TRUE(full);
            for (const TruthPoint& t : pair.truth) {
                const auto onDetector = full->Project(t.point);
                ASSERT_TRUE(onDetector);
                const ImagePoint delivered = SubframePixelFromFullFrame(*onDetector, d.subframe);
                const ImagePoint& marked = right ? t.right : t.left;
                EXPECT_NEAR(delivered.x, marked.x, 1e-6) << d.folder;
                EXPECT_NEAR(delivered.y, marked.y, 1e-6) << d.folder;
            }
        }
    }
    EXPECT_TRUE(subframed) << "one pair must be subframed and downsampled";
}

TEST(ProductSampleModels, MarkedPixelsCastRaysThroughTheTruePointAndTheModelsAreNonCentral) {
    for (const Mars2020SampleDefinition& d : Mars2020SampleDefinitions()) {
        EXPECT_NE(d.leftFullFrame.e, CPoint3D()) << d.folder;
        const Mars2020SamplePair pair = BuildMars2020SamplePair(d);
        double shift = 0.0;
        for (const TruthPoint& t : pair.truth) {
            for (const bool right : {false, true}) {
                const ProductSampleCamera& cam = right ? pair.right : pair.left;
                const ImagePoint& px = right ? t.right : t.left;
                const auto ray = cam.RayAt(px.x, px.y);
                ASSERT_TRUE(ray);
                const CPoint3D v = t.point - ray->origin;
                const CPoint3D off = v - ray->direction * Dot(v, ray->direction);
                EXPECT_LT(off.Length(), 1e-7) << d.folder;
                shift = std::max(shift, (ray->origin - cam.Centre()).Length());
            }
        }
        // Rays start off C by more than the 0.1 mm a measurement must reach:
        // ignoring E would show.
        EXPECT_GT(shift, 2e-4) << d.folder;
    }
}

TEST(ProductSampleFiles, Mars2020ImagesAreWhatTheGeneratorRenders) {
    // Every image in full takes the generator a minute; a few hundred pixels
    // spread over each, corners of the marked rocks included, show a stale or
    // misplaced image just as well. One grey level allows for another C
    // library's last bits at a rounding edge.
    for (const Mars2020SampleDefinition& d : Mars2020SampleDefinitions()) {
        const Mars2020SamplePair pair = BuildMars2020SamplePair(d);
        for (const bool right : {false, true}) {
            const std::string& title = right ? d.rightTitle : d.leftTitle;
            const QImage image(
                QString::fromStdString(SamplesDir() + d.folder + "/" + title + ".png"));
            ASSERT_EQ(image.width(), d.width) << title;
            ASSERT_EQ(image.height(), d.height) << title;
            const ProductSampleCamera& cam = right ? pair.right : pair.left;
            std::vector<std::pair<int, int>> where;
            SampleRandom rng(7);
            for (int k = 0; k < 200; ++k) {
                where.emplace_back(static_cast<int>(rng.Next() % static_cast<uint32_t>(d.width)),
                                   static_cast<int>(rng.Next() % static_cast<uint32_t>(d.height)));
            }
            for (const TruthPoint& t : pair.truth) {
                const ImagePoint& px = right ? t.right : t.left;
                where.emplace_back(static_cast<int>(px.x), static_cast<int>(px.y));
            }
            int worst = 0;
            for (const auto& [x, y] : where) {
                const int want = RenderProductPixel(pair.scene, cam, x, y, kProductSamplesPerPixel);
                worst = std::max(worst, std::abs(qGray(image.pixel(x, y)) - want));
            }
            EXPECT_LE(worst, 1) << title << " is not what the generator renders now";
        }
    }
}

TEST(ProductSampleFiles, Mars2020ImagesShowARockCornerAtEveryMarkedPixel) {
    for (const Mars2020SampleDefinition& d : Mars2020SampleDefinitions()) {
        sample_files::ExpectCornersAtMarkedPixels(d.folder, d.width, d.height);
    }
}
