// ranvista-cli register, run as a user would.
#include "registration/VertexFile.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder() {
        path = fs::temp_directory_path() / ("ranvista-cli-register-" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::string Write(const std::string& name, const std::vector<CPoint3D>& pts) const {
        std::string text;
        for (const CPoint3D& p : pts) {
            AppendVertexLine(text, p);
        }
        std::ofstream(path / name, std::ios::binary) << text;
        std::string quoted = "'";
        quoted.append((path / name).string()).append("'");
        return quoted;
    }
};

std::string ReadBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A quarter turn about Z and a shift: (x, y, z) -> (-y + 5, x - 2, z + 1).
CPoint3D Moved(const CPoint3D& p) {
    return {-p.m_dY + 5.0, p.m_dX - 2.0, p.m_dZ + 1.0};
}

const std::vector<CPoint3D> kRocks = {{10, 0, 0},    {13, 1, 0.5}, {11, 5, 1},   {12, 2, 4},
                                      {17, -3, 0.2}, {8, 6, -1},   {20, 9, 2.5}, {15, -8, 0}};

} // namespace

TEST(CliRegister, GivenPairsReportTheMotionResidualsAndTheOutputFile) {
    Folder dir;
    std::vector<CPoint3D> moved;
    for (const CPoint3D& p : kRocks) {
        moved.push_back(Moved(p));
    }
    const std::string src = dir.Write("site 2.txt", kRocks);
    const std::string ref = dir.Write("site1.txt", moved);
    const auto r = RunCli("register " + src + " --json " + ref + " --pairs 0:0,1:1,2:2,5:5");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = r.Json();
    EXPECT_EQ(j["ok"], true);
    EXPECT_EQ(j["pairs"], nlohmann::json::parse("[[0,0],[1,1],[2,2],[5,5]]"));
    ASSERT_EQ(j["residuals"].size(), 4u);
    for (const auto& d : j["residuals"]) {
        EXPECT_LT(d.get<double>(), 1e-9);
    }
    EXPECT_LT(j["rms"].get<double>(), 1e-9);
    // A quarter turn about Z: (cos 45, 0, 0, sin 45).
    const double h = std::sqrt(0.5);
    const std::vector<double> q = j["rotation"];
    EXPECT_NEAR(q[0], h, 1e-12);
    EXPECT_NEAR(q[3], h, 1e-12);
    EXPECT_NEAR(std::hypot(q[1], q[2]), 0.0, 1e-12);
    const std::vector<double> t = j["translation"];
    EXPECT_NEAR(t[0], 5.0, 1e-9);
    EXPECT_NEAR(t[1], -2.0, 1e-9);
    EXPECT_NEAR(t[2], 1.0, 1e-9);
    const fs::path out = dir.path / "site 2_trnsfrmd.txt";
    EXPECT_EQ(j["output"], out.string());
    const auto written = ParseVertexText(ReadBytes(out));
    ASSERT_EQ(written.size(), kRocks.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_LT((written[i] - moved[i]).Length(), 2e-6);
    }

    // Three of the pairs: the three-point transform's file, to the printed
    // digits (a coordinate of zero may come out as -0.000000 in one).
    const auto three = RunCli("register " + src + " " + ref + " --pairs=0:0,1:1,2:2");
    ASSERT_EQ(three.status, 0);
    const auto mine = ParseVertexText(ReadBytes(out));
    ASSERT_EQ(RunCli("transform " + src + " " + ref + " 0 1 2 0 1 2").status, 0);
    const auto theirs = ParseVertexText(ReadBytes(out));
    ASSERT_EQ(mine.size(), theirs.size());
    for (size_t i = 0; i < mine.size(); ++i) {
        EXPECT_LT((mine[i] - theirs[i]).Length(), 1e-9);
    }
}

TEST(CliRegister, AutomaticPairsAreFoundAndSymmetricScenesRefused) {
    Folder dir;
    std::vector<CPoint3D> moved;
    // The reference lists the rocks backwards and lacks the first one.
    for (size_t i = kRocks.size(); i-- > 1;) {
        moved.push_back(Moved(kRocks[i]));
    }
    const std::string src = dir.Write("a.txt", kRocks);
    const std::string ref = dir.Write("b.txt", moved);
    const auto j = RunCli("register " + src + " " + ref + " --auto --tolerance 0.05 --json").Json();
    EXPECT_EQ(j["ok"], true);
    EXPECT_EQ(j["automatic"], true);
    EXPECT_EQ(j["tolerance"], 0.05);
    ASSERT_EQ(j["pairs"].size(), kRocks.size() - 1);
    EXPECT_EQ(j["inliers"], kRocks.size() - 1);
    for (const auto& p : j["pairs"]) {
        EXPECT_EQ(p[0].get<int>() + p[1].get<int>(), static_cast<int>(kRocks.size()) - 1);
    }

    std::vector<CPoint3D> cube, cubeMoved;
    for (int k = 0; k < 8; ++k) {
        cube.push_back({10.0 + 3.0 * (k & 1), 3.0 * ((k >> 1) & 1), 3.0 * ((k >> 2) & 1)});
        cubeMoved.push_back(Moved(cube.back()));
    }
    const std::string c1 = dir.Write("c.txt", cube);
    const std::string c2 = dir.Write("d.txt", cubeMoved);
    const auto refused = RunCliWithErr("register " + c1 + " " + c2 + " --json");
    EXPECT_EQ(refused.status, 1);
    const auto k = refused.Json();
    EXPECT_EQ(k["ok"], false);
    EXPECT_TRUE(k["rotation"].is_null());
    EXPECT_NE(k["message"].get<std::string>().find("symmetric"), std::string::npos);
    EXPECT_NE(refused.err.find("symmetric"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path / "c_trnsfrmd.txt"));
}

TEST(CliRegister, BadArgumentsExitTwoAndRefusalsExitOne) {
    Folder dir;
    const std::string src = dir.Write("a.txt", kRocks);
    for (const char* bad : {"--pairs 0:0,1:1,2:x", "--pairs 0:0,,1:1", "--pairs 0-0", "--pairs ''",
                            "--pairs 0:0,1:1,2:2 --auto", "--tolerance -1", "--tolerance abc",
                            "--pairs 0:0,1:1,2:2 --tolerance 0.1", "--nope"}) {
        EXPECT_EQ(RunCli("register " + src + " " + src + " " + bad).status, 2) << bad;
    }
    EXPECT_EQ(RunCli("register " + src).status, 2);
    // Valid arguments the registration refuses.
    EXPECT_EQ(RunCli("register " + src + " " + src + " --pairs 0:0,1:1").status, 1);
    EXPECT_EQ(RunCli("register " + src + " " + src + " --pairs 0:0,1:1,99:2").status, 1);
    EXPECT_EQ(RunCli("register " + src + " /no/such/file --auto").status, 1);
}
