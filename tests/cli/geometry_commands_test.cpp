// ranvista-cli decode, ray and intersect, run as a user would.
#include "cli/Args.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

TEST(CliArgs, OptionsAnywhereBothFormsAndNegativeValues) {
    OptionSet options;
    options.flags = {"2d"};
    options.values = {"az-corr"};
    std::string err;
    auto a = Args::Parse({"-5", "--az-corr", "-1,2", "x", "--2d", "--json", "-0.5"}, options, err);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Positionals(), (std::vector<std::string>{"-5", "x", "-0.5"}));
    EXPECT_EQ(a->Value("az-corr"), "-1,2");
    EXPECT_TRUE(a->Has("2d"));
    EXPECT_TRUE(a->Json());
    a = Args::Parse({"--az-corr=-3,4"}, options, err);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Value("az-corr"), "-3,4");
    EXPECT_FALSE(Args::Parse({"--nope"}, options, err));
    EXPECT_FALSE(Args::Parse({"--az-corr"}, options, err));
    EXPECT_FALSE(Args::Parse({"--2d=1"}, options, err));
    EXPECT_EQ(ParseNumberList("1.5,-2,3e2", 3), (std::vector<double>{1.5, -2, 300}));
    EXPECT_FALSE(ParseNumberList("1,2", 3));
    EXPECT_FALSE(ParseNumberList("1,,2", 3));
    EXPECT_FALSE(ParseNumber("1.5x"));
    EXPECT_FALSE(ParseNumber(""));
}

TEST(CliDecode, JsonKeysAndInvalidTitles) {
    auto r = RunCli("decode /data/imgs/1N128287142EFF0300P1800L0M1.IMG --json");
    ASSERT_EQ(r.status, 0);
    auto j = r.Json();
    EXPECT_EQ(j["folder"], "/data/imgs/");
    EXPECT_EQ(j["name"], "1N128287142EFF0300P1800L0M1.IMG");
    EXPECT_EQ(j["extension"], "IMG");
    EXPECT_EQ(j["title"], "1N128287142EFF0300P1800L0M1");
    EXPECT_EQ(j["key"], "1n128287142eff0300p1800l0m1");
    EXPECT_EQ(j["camera_id"], 0);
    EXPECT_EQ(j["camera"], "OppyNavL");
    EXPECT_EQ(j["has_sol"], true);
    EXPECT_EQ(j["sol"], 1);
    EXPECT_EQ(j["hour"], 16);
    EXPECT_EQ(j["sol_text"], "Sol 1 16:15:24");
    EXPECT_EQ(RunCli("decode --json plain.png").Json()["camera"], nullptr);
    EXPECT_EQ(RunCli("decode 1.png --json").status, 2);
    EXPECT_EQ(RunCli("decode").status, 2);
}

TEST(CliRay, DirectionAndRecord) {
    auto r = RunCli("ray OppyNavL 512 512 --json");
    ASSERT_EQ(r.status, 0);
    auto j = r.Json();
    EXPECT_EQ(j["camera_id"], 0);
    EXPECT_NEAR(j["direction"][0].get<double>(), -0.969351, 2e-6);
    EXPECT_TRUE(j["messages"].empty());
    // With an identity record the az/el agree with the record-less answer.
    auto k = RunCli("ray 0 512 512 --record=1,0,0,0,0,0 --json").Json();
    EXPECT_NEAR(k["azimuth"].get<double>(), j["azimuth"].get<double>(), 1e-9);
    // Negative pixels are numbers, not options.
    EXPECT_EQ(RunCli("ray OppyNavR -10 -20.5 --json").status, 0);
    EXPECT_EQ(RunCli("ray Nope 1 2").status, 2);
    EXPECT_EQ(RunCli("ray none 1 2").status, 2);
    EXPECT_EQ(RunCli("ray 0 1 2 --record 1,2").status, 2);
}

TEST(CliIntersect, ResultFailureAndOptions) {
    auto j = RunCli("intersect OppyNavL OppyNavR 512 700 480 700 --json").Json();
    EXPECT_EQ(j["ok"], true);
    EXPECT_NEAR(j["range"].get<double>(), 8.4674, 5e-4);
    EXPECT_NEAR(j["position"][0].get<double>(), 8.4670, 5e-4);
    auto f = RunCli("intersect 0 1 480 700 560 700 --json");
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.Json()["ok"], false);
    EXPECT_TRUE(f.Json()["range"].is_null());
    EXPECT_TRUE(f.Json()["position"].is_null());
    auto d = RunCli("intersect 0 1 512 700 480 700 --2d --json").Json();
    EXPECT_NEAR(d["position"][2].get<double>(), 1.2514, 1e-4);
    auto rl = RunCli("intersect 0 1 512 700 480 700 --left-record 1,0,0,0,0,0 "
                     "--right-record 1,0,0,0,0,0 --rl-vector=0,0,0 --json")
                  .Json();
    EXPECT_NEAR(rl["range"].get<double>(), j["range"].get<double>(), 1e-12);
    EXPECT_EQ(RunCli("intersect 0 1 512 700 480 700 --rl-vector 0,0,0").status, 2);
    EXPECT_EQ(RunCli("intersect 0 1 512 700 480 --json").status, 2);
    auto az = RunCli("intersect 0 1 512 700 480 700 --az-corr -5,-5 --json").Json();
    EXPECT_NEAR(az["range"].get<double>(), j["range"].get<double>(), 1e-9);
}
