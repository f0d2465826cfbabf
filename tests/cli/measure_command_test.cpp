// ranvista-cli measure and transform, run as a user would.
#include "base/Paths.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"
#include "registration/VertexFile.h"
#include "session/ResultFiles.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string kL = "/imgs/1N128287142EFF0300P1800L0M1.IMG";
const std::string kR = "/imgs/1N128287142EFF0300P1800R0M1.IMG";

struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& tag) {
        path = fs::temp_directory_path() / ("ranvista-" + tag + "-" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

std::string ReadBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

// A query-export line for a product with a head pointing.
std::string QueryLine(const std::string& title, double az, double el) {
    ImageRecord r;
    r.m_sProductId = MakeProductKey(title);
    r.m_dAzimuth = az;
    r.m_dElevation = el;
    return FormatQueryLine(r) + "\n";
}

std::string Measure(const std::string& left, const std::string& right, const std::string& px,
                    const std::string& extra = "") {
    return "measure --json --db /nonexistent/ImgBinDat --left " + Q(left) + " --right " + Q(right) +
           " --pixels " + px + " " + extra;
}

CPoint3D Point(const nlohmann::json& a) {
    return {a[0].get<double>(), a[1].get<double>(), a[2].get<double>()};
}

} // namespace

TEST(CliMeasure, SingleMeasurementKeysAndText) {
    auto r = RunCli(Measure(kL, kR, "512,700,480,700"));
    ASSERT_EQ(r.status, 0);
    const auto j = r.Json();
    std::vector<std::string> keys;
    const auto ordered = nlohmann::ordered_json::parse(r.out);
    for (const auto& [k, v] : ordered.items()) {
        keys.push_back(k);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"ok", "range", "position", "distance_to_last",
                                              "pixel_size", "azimuth", "elevation", "fields",
                                              "log_entry", "half_spread", "left_camera_id",
                                              "right_camera_id", "left_record", "right_record",
                                              "new_last_position", "messages"}));
    EXPECT_EQ(j["ok"], true);
    EXPECT_NEAR(j["range"].get<double>(), 8.4674, 5e-5);
    EXPECT_EQ(j["fields"]["pos"], "8.4670,0.0633,-0.0411");
    EXPECT_EQ(j["fields"]["dist_to_last"], "8.4674");
    EXPECT_EQ(j["left_camera_id"], 0);
    EXPECT_EQ(j["right_camera_id"], 1);
    EXPECT_EQ(j["left_record"], false);
    EXPECT_EQ(j["new_last_position"], j["position"]);

    // Text: the log entry as the dialog appends it.
    r = RunCli("measure --db /nonexistent/ImgBinDat --left " + kL + " --right " + kR +
               " --pixels=512,700,480,700");
    EXPECT_EQ(r.out, j["log_entry"].get<std::string>());

    // A failed intersection still prints its result (nulls, blank fields)
    // but is a failure: exit 1 with the reason on stderr.
    const CliResultWithErr failed =
        RunCliWithErr(Measure(kL, kR, "480,700,560,700", "--last-position 1,2,3"));
    ASSERT_EQ(failed.status, 1);
    const auto f = failed.Json();
    EXPECT_NE(failed.err.find("do not meet in front of both cameras"), std::string::npos)
        << failed.err;
    EXPECT_EQ(f["ok"], false);
    for (const char* k : {"range", "position", "distance_to_last", "pixel_size", "azimuth",
                          "elevation", "half_spread"}) {
        EXPECT_TRUE(f[k].is_null()) << k;
    }
    EXPECT_EQ(f["fields"]["range"], "Error");
    EXPECT_EQ(f["fields"]["az"], "");
    EXPECT_EQ(f["log_entry"], "");
    EXPECT_EQ(Point(f["new_last_position"]), CPoint3D(1, 2, 3));
    const CliResultWithErr text =
        RunCliWithErr("measure --db /nonexistent/ImgBinDat --left a --right b --pixels "
                      "480,700,560,700 --left-camera 0 --right-camera 1");
    EXPECT_EQ(text.out, "Error\n");
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.err.find("do not meet"), std::string::npos) << text.err;
}

TEST(CliMeasure, CamerasFromNamesOrChosenByHand) {
    // A title too short for its mission's rule: no camera, no abort.
    auto j = RunCli(Measure("/imgs/1N12.IMG", kR, "512,700,480,700")).Json();
    EXPECT_EQ(j["left_camera_id"], -1);
    EXPECT_EQ(j["right_camera_id"], 1);
    EXPECT_EQ(j["ok"], false);
    EXPECT_FALSE(j["messages"].empty()) << "the default model's rays cannot be solved";

    j = RunCli(Measure("/imgs/left.png", "/imgs/right.png", "512,700,480,700",
                       "--left-camera OppyNavL --right-camera=1"))
            .Json();
    EXPECT_EQ(j["left_camera_id"], 0);
    EXPECT_EQ(j["ok"], true);
    j = RunCli(Measure(kL, kR, "512,700,480,700", "--left-camera none")).Json();
    EXPECT_EQ(j["left_camera_id"], -1);

    EXPECT_EQ(RunCli(Measure(kL, kR, "512,700,480,700", "--left-camera OppyNav")).status, 2);
    EXPECT_EQ(RunCli(Measure(kL, kR, "512,700,480")).status, 2);
    EXPECT_EQ(RunCli("measure --left a --pixels 1,2,3,4").status, 2);
    EXPECT_EQ(RunCli(Measure(kL, kR, "512,700,480,700", "--last-position 1,2")).status, 2);
    EXPECT_EQ(RunCli(Measure(kL, kR, "512,700,480,700", "--log x.txt")).status, 2);
}

TEST(CliMeasure, LastPositionAndCorrections) {
    auto j = RunCli(Measure(kL, kR, "512,700,480,700", "--last-position=-1,0.5,2")).Json();
    EXPECT_NEAR(j["distance_to_last"].get<double>(),
                (Point(j["position"]) - CPoint3D(-1, 0.5, 2)).Length(), 1e-12);
    const auto plain = RunCli(Measure(kL, kR, "512,700,480,700")).Json();
    j = RunCli(Measure(kL, kR, "512,700,480,700", "--az-corr 10,10")).Json();
    EXPECT_NEAR(j["azimuth"].get<double>(), plain["azimuth"].get<double>() + 10, 1e-9);
    EXPECT_NEAR(j["range"].get<double>(), plain["range"].get<double>(), 1e-9);
    j = RunCli(Measure(kL, kR, "512,700,480,700", "--2d")).Json();
    EXPECT_NE(j["position"], plain["position"]);
}

TEST(CliMeasure, DatabaseRecordsAndRLVector) {
    TempDir dir("measure-db");
    // The store holds the left image's record; a query file adds the right.
    ImageDatabase db;
    ImageRecord rec;
    rec.m_sProductId = MakeProductKey(kL);
    rec.m_dAzimuth = 5;
    db.InsertRecord(rec);
    db.SetStorePath(dir / "ImgBinDat");
    ASSERT_TRUE(db.SaveStore());
    const std::string query = dir.Write("q.txt", QueryLine(PathTitle(kR), 5, 0));

    const std::string base = "measure --json --left " + kL + " --right " + kR +
                             " --pixels 512,700,480,700 --db " + Q(dir / "ImgBinDat");
    auto j = RunCli(base).Json();
    EXPECT_EQ(j["left_record"], true);
    EXPECT_EQ(j["right_record"], false);
    // The R-L vector needs both records: without the right one it changes nothing.
    EXPECT_EQ(RunCli(base + " --rl-vector 0.0,0.5,0.0").Json()["position"], j["position"]);

    const auto both = RunCli(base + " --records " + Q(query)).Json();
    EXPECT_EQ(both["right_record"], true);
    const auto rl = RunCli(base + " --records " + Q(query) + " --rl-vector 0.0,0.5,0.0").Json();
    EXPECT_NE(rl["position"], both["position"]);
    // Six characters or fewer, or an empty text, leave the vector at zero.
    EXPECT_EQ(RunCli(base + " --records " + Q(query) + " --rl-vector 0,1,0").Json()["position"],
              both["position"]);
    EXPECT_EQ(RunCli(base + " --records " + Q(query) + " --rl-vector=").Json()["position"],
              both["position"]);
    // The import stays in memory: the store is not written.
    ImageDatabase again;
    again.SetStorePath(dir / "ImgBinDat");
    ASSERT_TRUE(again.LoadStore());
    EXPECT_EQ(again.Count(), 1u);

    // A missing store is just an empty table, without complaint.
    const auto none = RunCliWithErr("measure --json --left " + kL + " --right " + kR +
                                    " --pixels 512,700,480,700 --db " + Q(dir / "nothing"));
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.err, "");
    EXPECT_EQ(none.Json()["left_record"], false);

    // A malformed query file: exit 2 naming the file and the line.
    const std::string bad = dir.Write("bad.txt", QueryLine("A", 1, 2) + "no colon here\n");
    const auto b = RunCliWithErr(base + " --records " + Q(bad));
    EXPECT_EQ(b.status, 2);
    EXPECT_NE(b.err.find(bad), std::string::npos);
    EXPECT_NE(b.err.find("line 2"), std::string::npos);
}

TEST(CliMeasure, BatchWritesWhatConsecutiveCalculationsWould) {
    TempDir dir("measure-batch");
    const std::string batch =
        dir.Write("batch.txt", "# left,right,xl,yl,xr,yr\n"
                               "\n" +
                                   kL + "," + kR + ",512,700,480,700\r\n" + // CR LF line
                                   kL + "," + kR + ",480,700,560,700\n" +   // fails
                                   "not,enough,fields\n" +                  // malformed
                                   kL + "," + kR + ",600,650,560,655\n" + kL + "," + kR +
                                   ",512,700,505,700\n" + // error >= 10
                                   kL + "," + kR + ", 300 ,420,250,425\n");
    const auto r = RunCliWithErr("measure --batch " + Q(batch) + " --db /nonexistent/x --log " +
                                 Q(dir / "log.txt") + " --vertices " + Q(dir / "v.txt"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(batch + ":5:"), std::string::npos) << r.err;

    // The same measurements one at a time, each from the last good position.
    const std::vector<std::string> pixels = {"512,700,480,700", "480,700,560,700",
                                             "600,650,560,655", "512,700,505,700",
                                             "300,420,250,425"};
    std::istringstream lines(r.out);
    std::string line;
    std::string log;
    std::vector<VertexRecord> vertices;
    std::string last = "0,0,0";
    for (const auto& px : pixels) {
        ASSERT_TRUE(std::getline(lines, line)) << px;
        const auto single = RunCli(Measure(kL, kR, px, "--last-position=" + last)).Json();
        EXPECT_EQ(nlohmann::json::parse(line), single) << px;
        if (single["ok"] == true) {
            log += single["log_entry"].get<std::string>();
            vertices.push_back({Point(single["position"]), Point(single["half_spread"])});
            const CPoint3D p = Point(single["new_last_position"]);
            char buf[128];
            std::snprintf(buf, sizeof buf, "%.17g,%.17g,%.17g", p.m_dX, p.m_dY, p.m_dZ);
            last = buf;
        }
    }
    EXPECT_FALSE(std::getline(lines, line));
    ASSERT_EQ(vertices.size(), 4u);
    EXPECT_EQ(ReadBytes(dir / "log.txt"), ResultsLogFileBytes(log));
    const std::string v = ReadBytes(dir / "v.txt");
    EXPECT_EQ(v, VertexFileBytes(vertices));
    EXPECT_EQ(std::count(v.begin(), v.end(), '\n'), 3) << "the far vertex is filtered out";
}

TEST(CliMeasure, BatchWithNothingToSave) {
    TempDir dir("measure-empty");
    const std::string batch = dir.Write("b.txt", kL + "," + kR + ",480,700,560,700\n");
    const auto r = RunCliWithErr("measure --batch " + Q(batch) + " --db /nonexistent/x --log " +
                                 Q(dir / "log.txt"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Nothing to save"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "log.txt"));
    EXPECT_EQ(nlohmann::json::parse(r.out)["ok"], false);
    EXPECT_EQ(RunCli("measure --batch " + Q(dir / "missing.txt")).status, 1);
    // An output that cannot be written.
    const std::string good = dir.Write("g.txt", kL + "," + kR + ",512,700,480,700\n");
    EXPECT_EQ(RunCli("measure --batch " + Q(good) + " --db /nonexistent/x --vertices " +
                     Q(dir / "no/such/dir.txt"))
                  .status,
              1);
}

TEST(CliTransform, RelativePathsJsonAndRefusals) {
    TempDir dir("transform-cli");
    std::string src;
    std::string ref;
    const std::vector<CPoint3D> pts = {{1, 2, 0.5}, {4, -1, 0.2}, {-2, 3, 1.7}, {0, 0, 0}};
    for (const auto& p : pts) {
        AppendVertexLine(src, p);
        AppendVertexLine(ref, {-p.m_dY + 10, p.m_dX, p.m_dZ}); // a quarter turn, shifted
    }
    dir.Write("a.txt", src);
    dir.Write("b.txt", ref);
    dir.Write("line.txt", "0 0 0\n1 1 1\n2 2 2\n");
    const std::string cd = "cd " + Q(dir.path.string()) + " && ";

    auto r = RunShell(cd + "'" + RANVISTA_CLI + "' transform a.txt b.txt 0 1 2 0 1 2 --json");
    ASSERT_EQ(r.status, 0);
    auto j = r.Json();
    EXPECT_EQ(j["output"], dir / "a_trnsfrmd.txt");
    EXPECT_EQ(j["vertices"], 4);
    EXPECT_LT(j["residual"].get<double>(), 1e-9);
    const auto out = ParseVertexText(ReadBytes(dir / "a_trnsfrmd.txt"));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_NEAR((out[3] - CPoint3D(10, 0, 0)).Length(), 0, 1e-6);

    // Out of range: refused with exit 1; the earlier good output stays.
    const std::string good = ReadBytes(dir / "a_trnsfrmd.txt");
    auto e = RunCliWithErr("transform " + Q(dir / "a.txt") + " " + Q(dir / "b.txt") +
                           " 0 1 4 0 1 2 --json");
    EXPECT_EQ(e.status, 1);
    EXPECT_NE(e.err.find("source vertices 0, 1, 4 are not all in the source file"),
              std::string::npos)
        << e.err;
    EXPECT_EQ(ReadBytes(dir / "a_trnsfrmd.txt"), good);

    // A degenerate triple: exit 1, a message, no output file.
    e = RunCliWithErr("transform " + Q(dir / "line.txt") + " " + Q(dir / "b.txt") +
                      " 0 1 2 0 1 2 --json");
    EXPECT_EQ(e.status, 1);
    EXPECT_NE(e.err.find("collinear"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "line_trnsfrmd.txt"));

    e = RunCliWithErr("transform " + Q(dir / "none.txt") + " " + Q(dir / "b.txt") + " 0 1 2 0 1 2");
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.err, "Unable to open " + (dir / "none.txt") + "\n");
    EXPECT_EQ(RunCli("transform a b 0 1 2 0 1").status, 2);
    EXPECT_EQ(RunCli("transform a b 0 1 2 0 1 -1").status, 2);
    EXPECT_EQ(RunCli("transform a b 0 1 2 0 1 4294967296").status, 2);
}
