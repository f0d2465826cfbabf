// ranvista-cli camera: the model, frame and pose a product carries, as a
// script reads them, and the exit codes of bad products and bad arguments.
#include "tests/products/ProductFixtures.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

using namespace product_test;

namespace {

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

} // namespace

TEST(CliCamera, ALinearisedMerProductReportsItsCentredModelPoseAndFrame) {
    TempDir dir;
    std::string header = ReadFixture("2n295212876fflb1dnp1950l0m1.vicar");
    header.resize(14336, '\0');
    WriteFile(dir / "ffl.img", header + Ramp16(1024, 1024));
    const CliResult r = RunCli("camera " + Quote(dir / "ffl.img") + " --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = r.Json();
    EXPECT_EQ(j["ok"], true);
    EXPECT_EQ(j["source"], "vicar");
    EXPECT_EQ(j["model_type"], "CAHV");
    EXPECT_FALSE(j.contains("O")) << "CAHV has no O and R";
    EXPECT_EQ(j["frame"], "ROVER_FRAME");
    EXPECT_EQ(j["frame_index"], nlohmann::json::parse("[137,231,0,132,78]"));
    EXPECT_EQ(j["image_size"], nlohmann::json::parse("[1024,1024]"));
    // A linearised 1024-pixel MER model is centred on the image, and its two
    // focal lengths nearly agree.
    EXPECT_NEAR(j["principal_point"][0].get<double>(), 511.5, 0.01);
    EXPECT_NEAR(j["principal_point"][1].get<double>(), 511.5, 0.01);
    const double hs = j["focal_length_px"][0].get<double>();
    EXPECT_NEAR(j["focal_length_px"][1].get<double>() / hs, 1.0, 0.02);
    EXPECT_GT(hs, 1100.0);
    EXPECT_LT(hs, 1350.0);
    EXPECT_EQ(j["rover_to_site"]["site"], 137);
    EXPECT_EQ(j["rover_to_site"]["offset"], nlohmann::json::parse("[-18.2,2.68595,-0.731151]"));
    EXPECT_EQ(j["rover_to_site"]["quaternion"],
              nlohmann::json::parse("[0.979111,-0.138804,0.016595,-0.147647]"));
}

TEST(CliCamera, CahvoreProductsReportEntranceTermsTypeAndLinearity) {
    TempDir dir;
    WriteFile(dir / "navcam_sample.xml", ReadFixture("m20_navcam_cahvore.xml"));
    std::string header = "LBLSIZE=100  FORMAT='HALF' NL=5 NS=6 NB=1 RECSIZE=12 INTFMT='LOW'";
    header.resize(100, ' ');
    WriteFile(dir / "navcam_sample.IMG", header + std::string(60, '\0'));
    const CliResult r = RunCli("camera " + Quote(dir / "navcam_sample.xml") + " --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = r.Json();
    EXPECT_EQ(j["source"], "pds4");
    EXPECT_EQ(j["model_type"], "CAHVORE");
    EXPECT_EQ(j["E"], nlohmann::json::parse("[-8e-09,1e-08,-2.9e-08]"));
    EXPECT_EQ(j["mtype"], 2);
    EXPECT_EQ(j["linearity"], 0.0) << "MTYPE 2 is a fisheye: linearity 0, whatever MPARM says";
    EXPECT_EQ(j["image_size"], nlohmann::json::parse("[6,5]"));
    EXPECT_EQ(j["rover_to_site"]["site"], 30);
}

TEST(CliCamera, APlainCatalogueNameGivesTheCatalogueCameraWithoutFrameOrPose) {
    const CliResult r = RunCli("camera 1N128287142EFF0300P1800L0M1 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = r.Json();
    EXPECT_EQ(j["source"], "catalogue");
    EXPECT_EQ(j["model_type"], "CAHVOR");
    EXPECT_TRUE(j["frame"].is_null());
    EXPECT_TRUE(j["rover_to_site"].is_null());
    EXPECT_EQ(j["C"].size(), 3u);
}

TEST(CliCamera, BadProductsExitOneWithTheMessageAndBadArgumentsExitTwo) {
    TempDir dir;
    WriteFile(dir / "broken.LBL", "PDS_VERSION_ID = PDS3\nGROUP = GEOMETRIC_CAMERA_MODEL\n"
                                  "MODEL_TYPE = PSPH\nEND_GROUP\nEND\n");
    const CliResultWithErr bad = RunCliWithErr("camera " + Quote(dir / "broken.LBL") + " --json");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("unknown camera model type 'PSPH'"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.Json()["ok"], false);
    const CliResultWithErr missing = RunCliWithErr("camera " + Quote(dir / "nothing_here.IMG"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such file"), std::string::npos) << missing.err;
    EXPECT_EQ(RunCli("camera").status, 2);
    EXPECT_EQ(RunCli("camera a b").status, 2);
    EXPECT_EQ(RunCli("camera x --bogus").status, 2);
}
