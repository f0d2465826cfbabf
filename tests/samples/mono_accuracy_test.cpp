// Range from one image on every sample pair: left-image pixels that see the
// level ground between rocks (by tracing the scene the images were rendered
// from, as the truth maps do), measured through the camera the image file
// gives (its product model, or its catalogue camera with the sample
// database's record), against the true point: within 1 % up to 10 m on the
// exact ground plane, within the stated sigma on the default one. The dense
// map of the same pair gives the same points as a surface.
#include "geometry/CatalogueProjection.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"
#include "matching/GreyImageFile.h"
#include "samplegen/ProductSamples.h"
#include "samplegen/SamplePairs.h"
#include "stereo/DenseRange.h"
#include "stereo/MonoRange.h"
#include "stereo/Rectification.h"
#include "tests/samples/SampleFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";

// One sample's left image as the test measures it.
struct MonoSample {
    std::string folder;
    std::string file; // what the user opens
    double groundZ = 0.0;
    int width = 0;
    int height = 0;
    const Scene* scene = nullptr;
    // The generator's own ray of a pixel, in the output frame.
    std::function<std::optional<Ray>(double, double)> truthRay;
};

struct Built {
    std::vector<SamplePair> catalogue;
    std::vector<Mars2020SamplePair> products;
    std::vector<MonoSample> samples;
};

const Built& Samples() {
    static const Built built = [] {
        Built b;
        for (const SamplePairDefinition& d : SamplePairDefinitions()) {
            b.catalogue.push_back(BuildSamplePair(d));
        }
        for (const Mars2020SampleDefinition& d : Mars2020SampleDefinitions()) {
            b.products.push_back(BuildMars2020SamplePair(d));
        }
        const auto posed = [](const SamplePair& p) {
            return [&p](double x, double y) -> std::optional<Ray> {
                return Ray{p.left.Centre(), p.left.Ray(x, y)};
            };
        };
        for (const SamplePair& p : b.catalogue) {
            const auto& d = p.options;
            b.samples.push_back({d.folder, kSamples + d.folder + "/" + d.leftTitle + ".png",
                                 d.groundZ, kSampleImageSize, kSampleImageSize, &p.scene,
                                 posed(p)});
        }
        for (const Pds3SampleDefinition& d : Pds3SampleDefinitions()) {
            for (const SamplePair& p : b.catalogue) {
                if (p.options.folder == d.sourceFolder) {
                    b.samples.push_back(
                        {d.folder,
                         kSamples + d.folder + "/" + Pds3MeasuredFile(d, p.options.leftTitle),
                         p.options.groundZ, kSampleImageSize, kSampleImageSize, &p.scene,
                         posed(p)});
                }
            }
        }
        for (const Mars2020SamplePair& p : b.products) {
            const auto& d = p.options;
            b.samples.push_back({d.folder, kSamples + d.folder + "/" + d.leftTitle + ".png",
                                 d.groundZ, d.width, d.height, &p.scene,
                                 [&p](double x, double y) { return p.left.RayAt(x, y); }});
        }
        return b;
    }();
    return built;
}

using sample_files::SampleDatabase;

// The true point a pixel sees when it and its neighbours 6 pixels away all
// see the ground (no rock edge near); nothing otherwise.
std::optional<CPoint3D> GroundBetweenRocks(const MonoSample& s, int x, int y) {
    std::optional<CPoint3D> centre;
    for (const auto& [dx, dy] : {std::pair{0, 0}, {6, 0}, {-6, 0}, {0, 6}, {0, -6}}) {
        const auto ray = s.truthRay(x + dx, y + dy);
        if (!ray) {
            return std::nullopt;
        }
        const SceneHit hit = s.scene->Trace(ray->origin, ray->direction);
        if (hit.rock != -1) {
            return std::nullopt;
        }
        if (dx == 0 && dy == 0) {
            centre = ray->origin + ray->direction * hit.t;
        }
    }
    return centre;
}

struct GroundPixel {
    ImagePoint pixel;
    CPoint3D truth;
};

std::vector<GroundPixel> GroundPixels(const MonoSample& s, double maxRange) {
    std::vector<GroundPixel> out;
    for (int y = 8; y < s.height - 8; y += 23) {
        for (int x = 8; x < s.width - 8; x += 29) {
            if (const auto p = GroundBetweenRocks(s, x, y); p && p->Length() <= maxRange) {
                out.push_back({{static_cast<double>(x), static_cast<double>(y)}, *p});
            }
        }
    }
    return out;
}

TEST(MonoAccuracy, GroundBetweenRocksIsWithinOnePercentOnTheExactPlaneAndTheSigmaOnTheDefault) {
    for (const MonoSample& s : Samples().samples) {
        SCOPED_TRACE(s.folder);
        const MonoCamera camera = MakeMonoCamera(s.file, {}, SampleDatabase());
        ASSERT_TRUE(camera.camera) << camera.problem;
        const std::vector<GroundPixel> pixels = GroundPixels(s, 10.0);
        EXPECT_GE(pixels.size(), 20u);
        const auto exact = PlaneSurface(0.0, 0.0, 1.0, -s.groundZ);
        ASSERT_TRUE(exact.surface);
        // The default plane is the vehicle's ground with a height sigma of
        // 0.1 m: the ranges must fall within the stated sigma.
        const SurfaceResult ground = VehicleGroundSurface(camera);
        ASSERT_TRUE(ground.surface) << ground.problem;
        int measured = 0;
        double worst = 0.0;
        double worstSigmas = 0.0; // on the default plane
        for (const GroundPixel& g : pixels) {
            const MonoRangeResult onExact =
                MeasureOnSurface(*camera.camera, g.pixel, *exact.surface);
            const double truth = g.truth.Length();
            if (!onExact.ok) {
                // Only rays too flat for any plane are refused.
                EXPECT_NE(onExact.problem.find("grazing"), std::string::npos) << onExact.problem;
                continue;
            }
            ++measured;
            worst = std::max(worst, std::abs(onExact.rangeM - truth) / truth);
            EXPECT_LE(std::abs(onExact.rangeM - truth), 0.01 * truth)
                << g.pixel.x << "," << g.pixel.y;
            const MonoRangeResult onDefault =
                MeasureOnSurface(*camera.camera, g.pixel, *ground.surface);
            ASSERT_TRUE(onDefault.ok) << onDefault.problem;
            ASSERT_TRUE(onDefault.uncertainty);
            worstSigmas = std::max(worstSigmas, std::abs(onDefault.rangeM - truth) /
                                                    onDefault.uncertainty->rangeSigmaM);
            EXPECT_LE(std::abs(onDefault.rangeM - truth), onDefault.uncertainty->rangeSigmaM)
                << g.pixel.x << "," << g.pixel.y << " truth " << truth;
        }
        EXPECT_GE(measured, 20);
        std::printf("%-22s %3d ground pixels, worst %.4f %% on the exact plane, %.2f sigma on the "
                    "default\n",
                    s.folder.c_str(), measured, 100.0 * worst, worstSigmas);
    }
}

TEST(MonoAccuracy, SkyPixelsAreRefused) {
    for (const MonoSample& s : Samples().samples) {
        SCOPED_TRACE(s.folder);
        const MonoCamera camera = MakeMonoCamera(s.file, {}, SampleDatabase());
        ASSERT_TRUE(camera.camera) << camera.problem;
        int sky = 0;
        for (int y = 0; y < s.height; y += 41) {
            for (int x = 0; x < s.width; x += 53) {
                const auto ray = s.truthRay(x, y);
                if (!ray || ray->direction.m_dZ < 0.02) {
                    continue; // ground, or too near the horizon to call
                }
                ++sky;
                const MonoRangeResult r =
                    MeasureOnSurface(*camera.camera, {1.0 * x, 1.0 * y}, GroundSurface());
                EXPECT_FALSE(r.ok) << x << "," << y;
                // Within 5 degrees of the horizon the ray is too flat anyway.
                if (ray->direction.m_dZ > 0.1) {
                    EXPECT_NE(r.problem.find("above the horizon"), std::string::npos) << r.problem;
                } else if (ray->direction.m_dZ < 0.08) {
                    EXPECT_NE(r.problem.find("grazing"), std::string::npos) << r.problem;
                }
            }
        }
        std::printf("%-22s %3d sky pixels refused\n", s.folder.c_str(), sky);
    }
}

// The dense map of the Opportunity Navcam pair as the surface: the left
// image's own ground pixels meet it where the truth is, to the map's accuracy.
TEST(MonoAccuracy, TheDenseMapOfThePairServesAsTheSurface) {
    const SamplePair& pair = Samples().catalogue.front();
    const MonoSample& s = Samples().samples.front();
    ASSERT_EQ(s.folder, pair.options.folder);
    const auto projection = [](const PosedCamera& c) {
        CataloguePose pose;
        pose.pose = PoseOf(c.Record());
        pose.applyPointing = true;
        return std::make_shared<const CatalogueProjection>(c.Model().m_nCameraId, pose);
    };
    const auto left = projection(pair.left);
    const auto rect = std::make_shared<const StereoRectification>(
        left, projection(pair.right), kSampleImageSize, kSampleImageSize, kSampleImageSize,
        kSampleImageSize);
    const auto l = ReadGreyImage(s.file);
    const auto r =
        ReadGreyImage(kSamples + pair.options.folder + "/" + pair.options.rightTitle + ".png");
    ASSERT_TRUE(l.ok && r.ok);
    DenseResult dense = ComputeDenseRange(rect, l.image, r.image);
    ASSERT_TRUE(dense.ok) << dense.problem;
    const MonoSurface surface =
        DenseSurface(std::make_shared<const DenseRangeMap>(std::move(dense.map)), left);
    const MonoCamera camera = MakeMonoCamera(s.file, {}, SampleDatabase());
    ASSERT_TRUE(camera.camera);
    int met = 0, close = 0;
    for (const GroundPixel& g : GroundPixels(s, 10.0)) {
        const MonoRangeResult m = MeasureOnSurface(*camera.camera, g.pixel, surface);
        if (!m.ok) {
            continue;
        }
        ++met;
        const double truth = g.truth.Length();
        close += std::abs(m.rangeM - truth) <= 0.03 * truth ? 1 : 0;
        ASSERT_TRUE(m.uncertainty);
    }
    EXPECT_GE(met, 15);
    EXPECT_GE(close, met * 9 / 10);
    // The sky has no surface in the map.
    const MonoRangeResult sky = MeasureOnSurface(*camera.camera, {512.0, 2.0}, surface);
    EXPECT_FALSE(sky.ok);
}

} // namespace
