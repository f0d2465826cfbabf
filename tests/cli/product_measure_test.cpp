// Measuring raw images with the camera models their JSON records carry:
// ray and measure pick the product's model by themselves, report where it
// came from, the miss distance and the site position, and agree with the
// catalogue camera and record of the same pose.
#include "geometry/CahvorProjection.h"
#include "geometry/Frames.h"
#include "imagedb/QueryFile.h"
#include "tests/cli/RawProductRecord.h"
#include "tests/products/CatalogueProducts.h"
#include "tests/products/ProductFixtures.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace product_test;

TEST(CliProducts, RawImagesMeasureWithTheirOwnModelsAsTheCatalogueAndRecordWould) {
    TempDir dir;
    const CameraPose pose{12.0, -22.0, FromAxisAngleDeg(kZAxis, 40.0)};
    for (const auto& [name, id] : {std::pair{"left", 0}, std::pair{"right", 1}}) {
        WriteFile(dir / (std::string(name) + ".png"), PngHeader(1024, 1024));
        WriteFile(dir / (std::string(name) + ".json"), Record(id, pose, name));
    }
    const std::string left = dir / "left.png";
    const std::string right = dir / "right.png";

    const CliResult ray = RunCli("ray '" + left + "' 512 700 --json");
    ASSERT_EQ(ray.status, 0) << ray.out;
    const auto rj = ray.Json();
    EXPECT_EQ(rj["ok"], true);
    EXPECT_TRUE(rj["site_azimuth"].is_number());
    EXPECT_GE(rj["rover_azimuth"].get<double>(), 0.0);
    EXPECT_LT(rj["rover_azimuth"].get<double>(), 360.0);
    // The pose turns the rover 40 degrees clockwise seen from above.
    const double turned = rj["site_azimuth"].get<double>() - rj["rover_azimuth"].get<double>();
    EXPECT_NEAR(std::fmod(turned + 360.0, 360.0), 40.0, 1e-6);
    EXPECT_NEAR(rj["site_elevation"].get<double>(), rj["rover_elevation"].get<double>(), 1e-9);

    const CliResult m = RunCli("measure --db /nonexistent/ImgBinDat --left '" + left +
                               "' --right '" + right + "' --pixels 512,700,480,700 --json");
    ASSERT_EQ(m.status, 0) << m.out;
    const auto mj = m.Json();
    ASSERT_EQ(mj["ok"], true) << m.out;
    EXPECT_NE(mj["model_source"]["left"].get<std::string>().find("raw-json: CAHVOR"),
              std::string::npos);
    EXPECT_TRUE(mj["miss_distance"].is_number());
    ASSERT_TRUE(mj["site_position"].is_array());

    // The same cameras and pose from the catalogue and a database record.
    ImageRecord record;
    record.m_dAzimuth = pose.headAzimuthDeg;
    record.m_dElevation = pose.headElevationDeg;
    record.m_qAttitude = pose.vehicleAttitude;
    std::string query;
    for (const char* title : {"1N137057367EFF4000P1916L0M1", "1N137057367EFF4000P1916R0M1"}) {
        record.m_sProductId = MakeProductKey(title);
        query += FormatQueryLine(record) + "\n";
    }
    WriteFile(dir / "q.txt", query);
    const CliResult c =
        RunCli("measure --db /nonexistent/ImgBinDat --records '" + (dir / "q.txt") +
               "' --left /x/1N137057367EFF4000P1916L0M1.png --right "
               "/x/1N137057367EFF4000P1916R0M1.png --pixels 512,700,480,700 --json");
    ASSERT_EQ(c.status, 0) << c.out;
    const auto cj = c.Json();
    EXPECT_FALSE(cj.contains("model_source")) << "catalogue measurements print what they did";
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(mj["position"][i].get<double>(), cj["position"][i].get<double>(), 2e-4);
    }
    EXPECT_EQ(mj["fields"]["range"], cj["fields"]["range"]);
    // The output frame is already turned by the attitude: the site position
    // is the point taken back to PDS axes and moved to the rover's position.
    const CPoint3D out(mj["position"][0].get<double>(), mj["position"][1].get<double>(),
                       mj["position"][2].get<double>());
    const CPoint3D site = out.FlipYZ();
    EXPECT_NEAR(mj["site_position"][0].get<double>(), site.m_dX + 1.5, 1e-6);
    EXPECT_NEAR(mj["site_position"][1].get<double>(), site.m_dY - 2.0, 1e-6);
    EXPECT_NEAR(mj["site_position"][2].get<double>(), site.m_dZ + 0.25, 1e-6);
}

TEST(CliProducts, AProductPairedWithAPlainImageOrABrokenRecordExitsOneSayingWhy) {
    TempDir dir;
    WriteFile(dir / "left.png", PngHeader(1024, 1024));
    WriteFile(dir / "left.json", Record(0, CameraPose{}, "left"));
    WriteFile(dir / "plain.png", PngHeader(1024, 1024));
    CliResultWithErr r = RunCliWithErr("measure --left '" + (dir / "left.png") + "' --right '" +
                                       (dir / "plain.png") + "' --pixels 1,2,3,4 --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("carries its own camera model"), std::string::npos) << r.err;
    WriteFile(dir / "plain.json", "{\"imageid\": \"plain\", \"camera_model_type\": \"CAHV\"}");
    r = RunCliWithErr("measure --left '" + (dir / "left.png") + "' --right '" +
                      (dir / "plain.png") + "' --pixels 1,2,3,4");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("plain"), std::string::npos) << r.err;
    r = RunCliWithErr("ray '" + (dir / "plain.png") + "' 1 2 --json");
    EXPECT_EQ(r.status, 1);
}

TEST(CliProducts, AResizedRawImageIsMeasuredWithTheScaledModelAndAnotherAspectIsRefused) {
    TempDir dir;
    const std::string left = dir / "1N137057367EFF4000P1916L0M1.png";
    const std::string right = dir / "1N137057367EFF4000P1916R0M1.png";
    WriteFile(left, PngHeader(1024, 1024));
    WriteFile(right, PngHeader(512, 512)); // the feed's half-size rendition
    WriteFile(dir / "1N137057367EFF4000P1916L0M1.json",
              Record(0, {}, "1N137057367EFF4000P1916L0M1"));
    WriteFile(dir / "1N137057367EFF4000P1916R0M1.json",
              Record(1, {}, "1N137057367EFF4000P1916R0M1"));
    const std::string pair = "--db /nonexistent/ImgBinDat --left '" + left + "' --right '" + right +
                             "' --pixels 512,700,240,350";

    const CliResultWithErr json = RunCliWithErr("measure " + pair + " --json");
    EXPECT_EQ(json.status, 0) << json.err;
    const auto j = json.Json();
    EXPECT_EQ(j["ok"], true);
    EXPECT_TRUE(j.contains("model_source")) << "the products' models measure";
    EXPECT_FALSE(j.contains("model_warning"));
    ASSERT_TRUE(j.contains("model_note"));
    const std::string note = j["model_note"];
    EXPECT_NE(note.find("R0M1.png is 512 x 512 pixels, a rendition of the 1024 x 1024 image"),
              std::string::npos)
        << note;
    EXPECT_NE(json.err.find(note), std::string::npos) << json.err;

    // A single ray takes the scaled model too.
    const CliResultWithErr ray = RunCliWithErr("ray '" + right + "' 10 10 --json");
    EXPECT_EQ(ray.status, 0) << ray.err;
    EXPECT_EQ(ray.Json()["model_note"], note);

    // Another aspect cannot be fitted: refused, naming both sizes.
    WriteFile(right, PngHeader(1024, 1000));
    for (const std::string& command : {"measure " + pair + " --json", "ray '" + right + "' 1 1"}) {
        const CliResultWithErr refused = RunCliWithErr(command);
        EXPECT_EQ(refused.status, 1) << command;
        EXPECT_NE(refused.err.find("R0M1.png is 1024 x 1000 pixels but its camera model is for "
                                   "1024 x 1024"),
                  std::string::npos)
            << refused.err;
    }
}
