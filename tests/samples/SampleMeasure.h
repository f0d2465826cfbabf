// Measuring every truth point of a sample pair in one ranvista-cli batch.
#pragma once

#include "samplegen/SamplePairs.h"
#include "tests/samples/SampleFiles.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace sample_files {

struct Measured {
    bool ok = false;
    double range = 0.0;
    CPoint3D position;
    double below = 0.0; // the ±1-pixel range spread as reported: Range[-below,+above]
    double above = 0.0;
    std::string rangeText;
    bool productModels = false; // model_source reported for both sides
    std::string leftSource;
    double missDistance = -1.0;
    bool records = false; // database records found for both images
    std::optional<CPoint3D> sitePosition;
};

inline CPoint3D PointOf(const nlohmann::json& p) {
    return {p[0].get<double>(), p[1].get<double>(), p[2].get<double>()};
}

// One batch run over all points, pixels exact or rounded to whole pixels.
// With a database (the sample store) or without one.
inline std::vector<Measured> Measure(const std::vector<Truth>& truth, bool rounded, bool database) {
    const std::string batch = testing::TempDir() + "sample_batch_" + std::to_string(getpid()) +
                              (rounded ? "_rounded" : "_exact") + (database ? "_db.txt" : ".txt");
    {
        std::ofstream out(batch);
        const auto px = [rounded](double v) { return ExactNumber(rounded ? std::round(v) : v); };
        for (const Truth& t : truth) {
            out << SamplesDir() << t.left << ',' << SamplesDir() << t.right << ',' << px(t.l.x)
                << ',' << px(t.l.y) << ',' << px(t.r.x) << ',' << px(t.r.y) << '\n';
        }
    }
    const std::string db =
        database ? SamplesDir() + "ImgBinDat" : testing::TempDir() + "no-such-store";
    const CliResult r = RunCli("measure --batch '" + batch + "' --db '" + db + "'");
    EXPECT_EQ(r.status, 0);
    std::vector<Measured> results;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto j = nlohmann::json::parse(line);
        Measured m;
        m.ok = j["ok"].get<bool>();
        m.records = j["left_record"].get<bool>() && j["right_record"].get<bool>();
        if (m.ok) {
            m.range = j["range"].get<double>();
            m.position = PointOf(j["position"]);
            m.rangeText = j["fields"]["range"].get<std::string>();
            const std::string summary = j["fields"]["error_summary"].get<std::string>();
            EXPECT_EQ(std::sscanf(summary.c_str(), "Range[-%lf,+%lf]", &m.below, &m.above), 2);
        }
        if (j.contains("model_source")) {
            m.productModels = true;
            m.leftSource = j["model_source"]["left"].get<std::string>();
            if (j["miss_distance"].is_number()) {
                m.missDistance = j["miss_distance"].get<double>();
            }
            if (j["site_position"].is_array()) {
                m.sitePosition = PointOf(j["site_position"]);
            }
        }
        results.push_back(m);
    }
    EXPECT_EQ(results.size(), truth.size());
    return results;
}

} // namespace sample_files
