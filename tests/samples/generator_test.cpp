// The scene, the marked points and the committed sample files.
#include "imagedb/QueryFile.h"
#include "products/ProductName.h"
#include "samplegen/SamplePairs.h"

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

// Whether point p satisfies the half-space within a relative tolerance.
double Excess(const HalfSpace& h, const CPoint3D& p) {
    return Dot(h.n, p) - h.d;
}

} // namespace

TEST(SampleScene, RockCornersSitOnTheTopFaceAndTwoSidesAndRaysFindThem) {
    SampleRandom rng(5);
    RockShape shape;
    shape.x = 6.0;
    shape.y = -1.0;
    shape.radius = 0.4;
    shape.height = 0.3;
    int built = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
        shape.sides = 5 + attempt % 3;
        const auto rock = MakeRock(shape, -0.3, rng);
        if (!rock) {
            continue;
        }
        ++built;
        ASSERT_EQ(rock->topCorners.size(), static_cast<size_t>(shape.sides));
        for (const CPoint3D& c : rock->topCorners) {
            int onFaces = 0;
            for (const HalfSpace& h : rock->faces) {
                EXPECT_LT(Excess(h, c), 1e-9);
                onFaces += std::fabs(Excess(h, c)) < 1e-9 ? 1 : 0;
            }
            EXPECT_EQ(onFaces, 3);
            EXPECT_NEAR(Excess(rock->faces[rock->topFace], c), 0.0, 1e-12);
            EXPECT_LE((c - rock->boundCentre).Length(), rock->boundRadius);
        }
        Scene scene;
        scene.m_dGroundZ = -0.3;
        scene.m_vRocks.push_back(*rock);
        // Straight down onto the middle of the top face, and onto the ground
        // well beside the rock.
        CPoint3D middle;
        for (const CPoint3D& c : rock->topCorners) {
            middle = middle + c;
        }
        middle = middle / static_cast<double>(rock->topCorners.size());
        const CPoint3D above = middle + kZAxis * 5.0;
        SceneHit hit = scene.Trace(above, -kZAxis);
        EXPECT_EQ(hit.rock, 0);
        EXPECT_EQ(hit.face, rock->topFace);
        EXPECT_NEAR(hit.t, 5.0, 1e-9);
        hit = scene.Trace(CPoint3D(6.0, 3.0, 2.0), -kZAxis);
        EXPECT_EQ(hit.rock, -1);
        EXPECT_NEAR(hit.t, 2.3, 1e-12);
        EXPECT_EQ(scene.Trace(above, kZAxis).rock, -2);
        // Ground beside the rock lies in its shadow when the sun stands
        // behind the rock, and in the light when it stands overhead.
        const CPoint3D ground(7.5, -1.0, -0.3);
        const CPoint3D towardRock = (middle - kZAxis * 0.05 - ground).Normalized();
        EXPECT_TRUE(scene.Blocked(ground, towardRock, 100.0));
        EXPECT_FALSE(scene.Blocked(ground, towardRock, 0.5));
        EXPECT_FALSE(scene.Blocked(ground, kZAxis, 100.0));
    }
    EXPECT_GT(built, 10);
}

TEST(SamplePairs, EnoughMarkedPointsOverNearAndFarRangeAndNamesThatDecode) {
    for (const SamplePairDefinition& options : SamplePairDefinitions()) {
        for (const auto& [title, id] : {std::pair{options.leftTitle, options.leftId},
                                        std::pair{options.rightTitle, options.rightId}}) {
            const ProductNameInfo info = DecodeProductName(title);
            EXPECT_EQ(info.nCameraId, id) << title;
            EXPECT_TRUE(info.bHasSol) << title;
        }
        const SamplePair pair = BuildSamplePair(options);
        EXPECT_GE(pair.truth.size(), 40u) << options.folder;
        int perBand[3] = {0, 0, 0};
        for (const TruthPoint& t : pair.truth) {
            const double r = t.point.Length();
            ++perBand[r < options.bands[0] ? 0 : r < options.bands[1] ? 1 : 2];
        }
        for (int band : perBand) {
            EXPECT_GE(band, 8) << options.folder;
        }
        // Same input, same samples.
        EXPECT_EQ(TruthCsv(BuildSamplePair(options)), TruthCsv(pair)) << options.folder;
    }
}

TEST(SampleFiles, CommittedTruthIsWhatTheGeneratorMakes) {
    for (const SamplePairDefinition& options : SamplePairDefinitions()) {
        const auto made = CsvRows(TruthCsv(BuildSamplePair(options)));
        const auto committed = CsvRows(ReadAll(SamplesDir() + options.folder + "/truth.csv"));
        ASSERT_EQ(committed.size(), made.size()) << options.folder;
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(committed[0], made[0]);
        for (size_t i = 1; i < made.size(); ++i) {
            ASSERT_EQ(committed[i].size(), 9u);
            EXPECT_EQ(committed[i][0], made[i][0]);
            EXPECT_EQ(committed[i][1], made[i][1]);
            // The numbers may differ in the last bits on another C library.
            for (size_t k = 2; k < 9; ++k) {
                EXPECT_NEAR(std::stod(committed[i][k]), std::stod(made[i][k]), 1e-9)
                    << options.folder << " line " << i + 1;
            }
        }
    }
}

TEST(SampleFiles, ImagesShowARockCornerAtEveryMarkedPixel) {
    for (const SamplePairDefinition& options : SamplePairDefinitions()) {
        sample_files::ExpectCornersAtMarkedPixels(options.folder, kSampleImageSize,
                                                  kSampleImageSize);
    }
}

TEST(SampleFiles, DatabaseAndQueryExportHoldExactlyThePosesTheImagesWereRenderedWith) {
    ImageDatabase store;
    store.SetStorePath(SamplesDir() + "ImgBinDat");
    ASSERT_TRUE(store.LoadStore());
    const QueryFileResult query = ReadQueryFile(SamplesDir() + "query-export.txt");
    ASSERT_FALSE(query.error);
    EXPECT_EQ(store.Count(), 6u);
    ASSERT_EQ(query.records.size(), 6u);
    size_t line = 0;
    for (const SamplePairDefinition& options : SamplePairDefinitions()) {
        for (const std::string& title : {options.leftTitle, options.rightTitle}) {
            const ImageRecord want = SampleRecord(options, title);
            EXPECT_EQ(query.records[line++], want) << title;
            // The store keeps 27 bytes of a key; the lookup still finds the
            // long MSL names by them.
            const ImageRecord* found = store.FindRecord(title);
            ASSERT_NE(found, nullptr) << title;
            EXPECT_EQ(found->m_qAttitude, want.m_qAttitude) << title;
            EXPECT_EQ(found->m_dAzimuth, want.m_dAzimuth) << title;
            EXPECT_EQ(found->m_dElevation, want.m_dElevation) << title;
        }
    }
}
