// measure --batch --session and export, run as a user would: the session's
// JSON Lines are what measure printed, files go where -o says, and bad
// arguments are usage errors.
#include "session/SessionFile.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";

struct Work {
    fs::path path =
        fs::temp_directory_path() / ("ranvista-export-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    Work() { fs::create_directories(path); }
    ~Work() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

std::string Read(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Four lines of one sample pair and one of another.
std::string WriteBatch(const Work& w) {
    const std::string l = kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png";
    const std::string r = kSamples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png";
    const std::string ml = kSamples + "msl-navcam-a/NLA_433001764EDR_F04102L0NCAM00271M1.png";
    const std::string mr = kSamples + "msl-navcam-a/NRA_433001764EDR_F04102R0NCAM00271M1.png";
    std::ofstream(w / "batch.txt") << l << ',' << r << ",386,761,289,758\n"
                                   << l << ',' << r << ",370,718,276,716\n"
                                   << ml << ',' << mr << ",164,683,22,679\n"
                                   << l << ',' << r << ",727,697,634,695\n"
                                   << l << ',' << r << ",321,647,239,645\n";
    return w / "batch.txt";
}

} // namespace

std::vector<std::string> Lines(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(ExportCommand, SessionJsonLinesGiveWhatMeasurePrintedOfItAndAllOfItRecalculated) {
    Work w;
    const CliResultWithErr measured =
        RunCliWithErr("measure --batch '" + WriteBatch(w) + "' --db '" + kSamples +
                      "ImgBinDat' --session '" + (w / "s.rvsession") + "' --json");
    ASSERT_EQ(measured.status, 0);
    EXPECT_NE(measured.err.find("1 measurement(s) of other pairs"), std::string::npos)
        << measured.err;
    // The lines of the session's pair, in order (the third is another pair);
    // distances to the last point chain over the session's own points.
    const std::vector<std::string> printed = Lines(measured.out);
    ASSERT_EQ(printed.size(), 5u);
    const std::vector<std::string> ofPair = {printed[0], printed[1], printed[3], printed[4]};

    // As saved: measure's fields that the session holds, with its values,
    // and none that it does not hold.
    const CliResultWithErr saved =
        RunCliWithErr("export '" + (w / "s.rvsession") + "' --format jsonl");
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_TRUE(saved.err.empty()) << saved.err;
    const std::vector<std::string> rows = Lines(saved.out);
    ASSERT_EQ(rows.size(), 4u);
    const std::vector<std::string> held = {
        "ok",        "range",     "position",    "distance_to_last", "azimuth",
        "elevation", "log_entry", "half_spread", "miss_distance"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto row = nlohmann::ordered_json::parse(rows[i]);
        const auto was = nlohmann::json::parse(ofPair[i]);
        std::vector<std::string> keys;
        for (const auto& [key, value] : row.items()) {
            keys.push_back(key);
            if (key == "miss_distance") {
                continue; // the session keeps it for catalogue cameras too
            }
            if (key == "distance_to_last" && i == 2) {
                continue; // the other pair's point came between
            }
            EXPECT_EQ(value, was[key]) << key << " of row " << i;
        }
        EXPECT_EQ(keys, held) << rows[i];
    }
    // Recalculated: exactly what measure printed.
    const CliResultWithErr again =
        RunCliWithErr("export '" + (w / "s.rvsession") + "' --format jsonl --recalculate");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(again.err.empty()) << "nothing changed: " << again.err;
    const std::vector<std::string> recalculated = Lines(again.out);
    ASSERT_EQ(recalculated.size(), 4u);
    EXPECT_EQ(recalculated[0], ofPair[0]);
    EXPECT_EQ(recalculated[1], ofPair[1]);
    EXPECT_EQ(recalculated[3], ofPair[3]);
    EXPECT_EQ(nlohmann::json::parse(recalculated[2])["position"],
              nlohmann::json::parse(ofPair[2])["position"]);
}

TEST(ExportCommand, NothingIsMeasuredAgainUnlessAsked) {
    // The pair and its database gone: the saved rows still export as they
    // were; only --recalculate uses them, and says what moved.
    Work w;
    const std::string left = w / "1N137057367EFF4000P1916L0M1.png";
    const std::string right = w / "1N137057367EFF4000P1916R0M1.png";
    fs::copy_file(kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png", left);
    fs::copy_file(kSamples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png", right);
    fs::copy_file(kSamples + "ImgBinDat", w / "ImgBinDat");
    std::ofstream(w / "batch.txt") << left << ',' << right << ",386,761,289,758\n"
                                   << left << ',' << right << ",370,718,276,716\n";
    const std::string session = w / "s.rvsession";
    ASSERT_EQ(RunCli("measure --batch '" + (w / "batch.txt") + "' --db '" + (w / "ImgBinDat") +
                     "' --session '" + session + "'")
                  .status,
              0);
    const std::string csvBefore = RunCli("export '" + session + "' --format csv").out;
    ASSERT_EQ(Lines(csvBefore).size(), 4u) << csvBefore;
    const std::string jsonBefore = RunCli("export '" + session + "' --format jsonl").out;
    fs::remove(left);
    fs::remove(right);
    fs::remove(w / "ImgBinDat");
    for (const auto& [format, before] :
         {std::pair{std::string("csv"), csvBefore}, std::pair{std::string("jsonl"), jsonBefore}}) {
        const CliResultWithErr after = RunCliWithErr("export '" + session + "' --format " + format);
        EXPECT_EQ(after.status, 0) << after.err;
        EXPECT_EQ(after.out, before) << format;
        EXPECT_TRUE(after.err.empty()) << after.err;
    }
    // Without the database's records the cameras are posed otherwise.
    const CliResultWithErr asked =
        RunCliWithErr("export '" + session + "' --format csv --recalculate");
    EXPECT_EQ(asked.status, 0);
    EXPECT_NE(asked.err.find("Measurement 1: range"), std::string::npos) << asked.err;
    EXPECT_NE(asked.out, csvBefore);

    // The database options belong to a recalculation.
    const CliResultWithErr db =
        RunCliWithErr("export '" + session + "' --format jsonl --db '" + kSamples + "ImgBinDat'");
    EXPECT_EQ(db.status, 2);
    EXPECT_NE(db.err.find("--db needs --recalculate"), std::string::npos) << db.err;
}

TEST(ExportCommand, MinusOWritesTheFileAndStdoutStaysEmpty) {
    Work w;
    ASSERT_EQ(RunCli("measure --batch '" + WriteBatch(w) + "' --db '" + kSamples +
                     "ImgBinDat' --session '" + (w / "s.rvsession") + "'")
                  .status,
              0);
    const CliResult csv =
        RunCli("export '" + (w / "s.rvsession") + "' --format csv -o '" + (w / "p.csv") + "'");
    EXPECT_EQ(csv.status, 0);
    EXPECT_TRUE(csv.out.empty());
    const std::string text = Read(w / "p.csv");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
    const CliResult ply = RunCli("export --binary -o '" + (w / "p.ply") + "' '" +
                                 (w / "s.rvsession") + "' --format ply");
    EXPECT_EQ(ply.status, 0);
    const std::string bytes = Read(w / "p.ply");
    ASSERT_NE(bytes.find("format binary_little_endian 1.0\n"), std::string::npos);
    // Four points of three doubles, three colour bytes and an int each.
    EXPECT_EQ(bytes.size() - (bytes.find("end_header\n") + 11), 4u * (24 + 3 + 4));
}

TEST(ExportCommand, BadArgumentsAreUsageErrorsAndBadSessionsFail) {
    Work w;
    std::ofstream(w / "bad.rvsession") << "{\"format\": \"ranvista-session\", \"version\": 7}";
    EXPECT_EQ(RunCli("export '" + (w / "bad.rvsession") + "' --format csv").status, 1);
    EXPECT_EQ(RunCli("export '" + (w / "bad.rvsession") + "' --format xls").status, 2);
    EXPECT_EQ(RunCli("export --format csv").status, 2);
    EXPECT_EQ(RunCli("export '" + (w / "bad.rvsession") + "' --format csv -o").status, 2);
    EXPECT_EQ(RunCli("measure --left a --right b --pixels 1,2,3,4 --session x").status, 2);
}

TEST(ExportCommand, APixelSigmaScalesTheSessionsUncertaintyAndIsKeptInIt) {
    Work w;
    const std::string base =
        "measure --batch '" + WriteBatch(w) + "' --db '" + kSamples + "ImgBinDat' --session '";
    ASSERT_EQ(RunCli(base + (w / "half.rvsession") + "'").status, 0);
    ASSERT_EQ(RunCli(base + (w / "one.rvsession") + "' --click-sigma 1").status, 0);
    const SessionReadResult half = ReadSessionFile(w / "half.rvsession");
    const SessionReadResult one = ReadSessionFile(w / "one.rvsession");
    ASSERT_TRUE(half.ok && one.ok);
    EXPECT_EQ(one.session.pixelSigmas.leftPx, 1.0);
    EXPECT_EQ(one.session.pixelSigmas.rightPx, 1.0);
    ASSERT_EQ(one.session.measurements.size(), half.session.measurements.size());
    for (std::size_t i = 0; i < one.session.measurements.size(); ++i) {
        const auto& a = *half.session.measurements[i].uncertainty;
        const auto& b = *one.session.measurements[i].uncertainty;
        EXPECT_NEAR(b.rangeSigmaM, 2.0 * a.rangeSigmaM, 1e-9 * a.rangeSigmaM) << i;
        EXPECT_NEAR(b.crossRangeSigmaM, 2.0 * a.crossRangeSigmaM, 1e-9 * a.rangeSigmaM) << i;
    }
    // Exported again, the session's own sigma is used: nothing changed.
    const CliResultWithErr again =
        RunCliWithErr("export '" + (w / "one.rvsession") + "' --format csv");
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.err.empty()) << again.err;
    for (const char* bad : {"0", "-1", "x", "nan"}) {
        EXPECT_EQ(RunCli(base + (w / "bad.rvsession") + "' --click-sigma " + bad).status, 2) << bad;
    }
    EXPECT_EQ(RunCli("measure --batch '" + (w / "batch.txt") + "' --click-sigma 1").status, 2)
        << "without a session there is nothing to use it";
    EXPECT_FALSE(fs::exists(w / "bad.rvsession"));
}
