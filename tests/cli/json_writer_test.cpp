// The bulk JSON writer: valid JSON that reads back to what was written.
#include "cli/JsonWriter.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

TEST(JsonWriter, NumbersReadBackExactly) {
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
        std::string out;
        JsonWriter(out).Number("v", v).Point("p", {v, -v, 2 * v}).End();
        const auto j = nlohmann::json::parse(out);
        ASSERT_TRUE(j["v"].is_number_float()) << out;
        EXPECT_EQ(j["v"].get<double>(), v) << out;
        EXPECT_EQ(j["p"][1].get<double>(), -v) << out;
    }
    std::string out;
    JsonWriter(out)
        .Number("nan", std::nan(""))
        .Number("inf", std::numeric_limits<double>::infinity())
        .Number("minf", -std::numeric_limits<double>::infinity())
        .End();
    EXPECT_EQ(out, R"({"nan":"nan","inf":"inf","minf":"-inf"})");
}

TEST(JsonWriter, StringsAndNesting) {
    const std::string tricky = "a\"b\\c\nd\re\tf\x01g/\xC3\xA9h\xE2\x82\xAC";
    std::string out;
    JsonWriter(out)
        .Bool("ok", true)
        .Null("none")
        .Int("id", -1)
        .BeginObject("fields")
        .String("s", tricky)
        .String("empty", "")
        .EndObject()
        .Strings("list", {"x", tricky})
        .Strings("nothing", {})
        .End();
    const auto j = nlohmann::ordered_json::parse(out);
    EXPECT_EQ(j["ok"], true);
    EXPECT_TRUE(j["none"].is_null());
    EXPECT_EQ(j["id"], -1);
    EXPECT_EQ(j["fields"]["s"], tricky);
    EXPECT_EQ(j["fields"]["empty"], "");
    EXPECT_EQ(j["list"][1], tricky);
    EXPECT_TRUE(j["nothing"].empty());
    EXPECT_EQ(j.begin().key(), "ok");

    // Bytes that are not UTF-8 still give valid JSON; valid ones survive.
    for (const std::string bad : {"\xFF", "\xC3", "x\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x9F\x98\x80 ok"}) {
        std::string text;
        JsonWriter(text).String("s", bad).End();
        EXPECT_TRUE(nlohmann::json::accept(text)) << text;
    }
    std::string emoji;
    JsonWriter(emoji).String("s", "\xF0\x9F\x98\x80").End();
    EXPECT_EQ(nlohmann::json::parse(emoji)["s"], "\xF0\x9F\x98\x80");
}
