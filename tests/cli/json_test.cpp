// The command line's JSON: valid JSON that reads back to what was written.
#include "cli/Json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

TEST(Json, NumbersReadBackExactlyAndNonFiniteOnesAreStrings) {
    std::mt19937_64 rng(9);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -8.0,
                                  0.1,
                                  1e-300,
                                  5e-324,
                                  1e21,
                                  1.5e300,
                                  123456789012345678.0,
                                  std::numeric_limits<double>::max()};
    for (int i = 0; i < 2000; ++i) {
        double v = 0;
        const std::uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) {
            values.push_back(v);
        }
    }
    for (const double v : values) {
        Json j;
        j["v"] = JsonNumber(v);
        j["p"] = JsonPoint({v, -v, 2 * v});
        const std::string out = JsonText(j);
        const auto back = nlohmann::json::parse(out);
        ASSERT_TRUE(back["v"].is_number_float()) << out;
        EXPECT_EQ(back["v"].get<double>(), v) << out;
        EXPECT_EQ(back["p"][1].get<double>(), -v) << out;
    }
    Json j;
    j["nan"] = JsonNumber(std::nan(""));
    j["inf"] = JsonNumber(std::numeric_limits<double>::infinity());
    j["minf"] = JsonNumber(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(JsonText(j), R"({"nan":"nan","inf":"inf","minf":"-inf"})");
}

TEST(Json, StringsSurviveAndBytesThatAreNotUtf8StillGiveValidJson) {
    const std::string tricky = "a\"b\\c\nd\re\tf\x01g/\xC3\xA9h\xE2\x82\xAC";
    Json j;
    j["ok"] = true;
    j["none"] = nullptr;
    j["s"] = tricky;
    j["list"] = JsonStrings({"x", tricky});
    j["nothing"] = JsonStrings({});
    const auto back = nlohmann::ordered_json::parse(JsonText(j));
    EXPECT_EQ(back["s"], tricky);
    EXPECT_EQ(back["list"][1], tricky);
    EXPECT_TRUE(back["nothing"].empty());
    EXPECT_TRUE(back["none"].is_null());
    EXPECT_EQ(back.begin().key(), "ok"); // keys keep their order

    for (const std::string bad : {"\xFF", "\xC3", "x\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x9F\x98\x80 ok"}) {
        Json k;
        k["s"] = bad;
        EXPECT_TRUE(nlohmann::json::accept(JsonText(k))) << bad;
    }
}
