// The epipolar curve and auto-match of a pair whose images carry their own
// camera models: the first sample pair as raw images with JSON records that
// hold its cameras posed as its database records pose them. The file names
// name no catalogue camera, so only the products' models can find the
// partners, and any frame or pose of theirs taken wrongly misses them.
#include "samplegen/SamplePairs.h"
#include "samplegen/TruthMap.h"
#include "tests/cli/RawProductRecord.h"
#include "tests/products/ProductFixtures.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <tuple>

using namespace product_test;

namespace {

double DistanceToPolyline(const nlohmann::json& points, const ImagePoint& p) {
    double best = 1e300;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        const double ax = points[i][0];
        const double ay = points[i][1];
        const double dx = points[i + 1][0].get<double>() - ax;
        const double dy = points[i + 1][1].get<double>() - ay;
        const double len2 = dx * dx + dy * dy;
        const double t =
            len2 > 0.0 ? std::clamp(((p.x - ax) * dx + (p.y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(p.x - ax - t * dx, p.y - ay - t * dy));
    }
    return best;
}

} // namespace

TEST(ProductMatch, TheCurveOfAProductPairPassesThroughTheTruePartnerAndMatchLandsOnIt) {
    const SamplePairDefinition def = SamplePairDefinitions().front();
    const SamplePair pair = BuildSamplePair(def);
    const TruthMap truth =
        ComputeTruthMap(pair.scene, pair.left, kSampleImageSize, kSampleImageSize);
    TempDir dir;
    const std::string samples = std::string(RANVISTA_SOURCE_DIR) + "/samples/" + def.folder + "/";
    for (const auto& [name, camera, title] : {std::tuple{"left", &pair.left, def.leftTitle},
                                              std::tuple{"right", &pair.right, def.rightTitle}}) {
        std::filesystem::copy_file(samples + title + ".png", dir / (std::string(name) + ".png"));
        WriteFile(dir / (std::string(name) + ".json"),
                  Record(camera->Model().m_nCameraId, PoseOf(camera->Record()), name));
    }
    const std::string files = "--db /nonexistent/ImgBinDat --left '" + (dir / "left.png") +
                              "' --right '" + (dir / "right.png") + "'";

    // Pixels of the open ground in the near half, with ground all round them
    // as far as any window reaches.
    int tried = 0;
    for (int y = 560; y < 960 && tried < 5; y += 97) {
        for (int x = 120; x < 900 && tried < 5; x += 131) {
            bool ground = true;
            for (int v = -20; v <= 20 && ground; v += 4) {
                for (int u = -20; u <= 20 && ground; u += 4) {
                    const auto p = truth.At(x + u, y + v);
                    ground = p && std::abs(p->m_dZ - def.groundZ) < 1e-6;
                }
            }
            ImagePoint partner;
            if (!ground || !pair.right.Project(*truth.At(x, y), partner)) {
                continue;
            }
            ++tried;
            char pixel[64];
            std::snprintf(pixel, sizeof pixel, " --pixel %d,%d --json", x, y);
            const CliResult e = RunCli("epipolar " + files + pixel);
            ASSERT_EQ(e.status, 0) << e.out;
            const auto ej = e.Json();
            ASSERT_EQ(ej["ok"], true) << e.out;
            EXPECT_LT(DistanceToPolyline(ej["points"], partner), 0.1) << x << "," << y;

            const CliResult m = RunCli("match " + files + pixel);
            ASSERT_EQ(m.status, 0) << m.out;
            const auto mj = m.Json();
            ASSERT_EQ(mj["ok"], true) << x << "," << y << ": " << m.out;
            EXPECT_LT(std::hypot(mj["pixel"][0].get<double>() - partner.x,
                                 mj["pixel"][1].get<double>() - partner.y),
                      0.3)
                << x << "," << y;
            EXPECT_NE(
                mj["measurement"]["model_source"]["right"].get<std::string>().find("raw-json"),
                std::string::npos);
        }
    }
    EXPECT_EQ(tried, 5);
}
