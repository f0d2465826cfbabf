// The results log and vertex files: bytes written, the save filter and the
// vertex reading rule.
#include "base/Messages.h"
#include "registration/VertexFile.h"
#include "session/ResultFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <unistd.h>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

VertexRecord Vertex(CPoint3D p, CPoint3D e = {}) {
    return {p, e};
}

std::string ReadBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// What the C library makes of a line: the reference for the reading rule.
bool ScanfReads(const std::string& line, CPoint3D& p) {
    return std::sscanf(line.c_str(), "%lf %lf %lf", &p.m_dX, &p.m_dY, &p.m_dZ) == 3;
}

bool SameBits(const CPoint3D& a, const CPoint3D& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path = std::filesystem::temp_directory_path() /
               ("ranvista-results-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

} // namespace

TEST(ResultFiles, ResultsLogIsTheLogWithCrLfAndNothingAdded) {
    const std::string log = "\nImage Pair a b\nRange=1.0000\n\nImage Pair c d\nRange=2.0000\n";
    EXPECT_EQ(ResultsLogFileBytes(log),
              "\r\nImage Pair a b\r\nRange=1.0000\r\n\r\nImage Pair c d\r\nRange=2.0000\r\n");
    EXPECT_EQ(ResultsLogFileBytes(""), "");
}

TEST(ResultFiles, SaveFilterBoundsAreStrictAndNaNFails) {
    EXPECT_FALSE(IsVertexSaved(Vertex({100, 100, 50}))); // exactly 22500
    EXPECT_TRUE(IsVertexSaved(Vertex({100, 100, 49.99})));
    EXPECT_FALSE(IsVertexSaved(Vertex({-150, 0, 0})));
    EXPECT_TRUE(IsVertexSaved(Vertex({1, 2, 3}, {9.999999, 0, 9})));
    EXPECT_FALSE(IsVertexSaved(Vertex({1, 2, 3}, {0, 10, 0}))); // exactly 10
    EXPECT_FALSE(IsVertexSaved(Vertex({1, 2, 3}, {0, 0, 10})));
    EXPECT_FALSE(IsVertexSaved(Vertex({kNaN, 0, 0})));
    EXPECT_FALSE(IsVertexSaved(Vertex({1, 2, 3}, {0, kNaN, 0})));
    EXPECT_FALSE(IsVertexSaved(Vertex({kInf, 0, 0})));
    // A negative error component is below 10.
    EXPECT_TRUE(IsVertexSaved(Vertex({1, 2, 3}, {-20, 0, 0})));

    const std::vector<VertexRecord> v = {Vertex({1.5, -2, 0.25}), Vertex({100, 100, 50}),
                                         Vertex({0, 0, 0}, {10, 0, 0}), Vertex({-0.0, 3, 1e-7})};
    EXPECT_EQ(VertexFileBytes(v), "1.500000\t-2.000000\t0.250000\r\n"
                                  "-0.000000\t3.000000\t0.000000\r\n");
}

TEST(ResultFiles, VertexLinesPrintExactlyLikePercentLf) {
    // Ties in the seventh decimal, signed zero, huge and tiny values and the
    // non-finite ones must come out as printf's "%lf" writes them.
    std::mt19937_64 rng(7);
    std::vector<double> values = {
        0.0078125, -0.0234375, 2.5e-7, -0.0, 1e300, -1.7976931348623157e308, 5e-324, 0.1,
        1.0 / 3,   kNaN,       -kNaN,  kInf, -kInf, 123456789.1234565};
    for (int i = 0; i < 2000; ++i) {
        const double mag = std::pow(10.0, static_cast<double>(rng() % 24) - 12.0);
        values.push_back((static_cast<double>(rng() % 2000001) - 1000000.0) / 1000000.0 * mag);
    }
    for (size_t i = 0; i + 2 < values.size(); ++i) {
        const CPoint3D p(values[i], values[i + 1], values[i + 2]);
        std::string line;
        AppendVertexLine(line, p);
        char want[2048];
        std::snprintf(want, sizeof want, "%lf\t%lf\t%lf\r\n", p.m_dX, p.m_dY, p.m_dZ);
        ASSERT_EQ(line, want) << i;
    }
}

TEST(ResultFiles, ReadingRuleIsThatOfSscanf) {
    const std::vector<std::string> vertexLines = {
        "1.500000\t-2.000000\t0.250000",
        "  1 2 3",
        "1 2 3 trailing text",
        "1.5 2 3 4",
        "+1.5 -.5 5.",
        "1e3 2E-2 -3e+1",
        "1-2-3",
        "0x1p4 2 3",
        "inf -inf nan",
        "1 2 3e",
        "1e 2 3",
        "\t\t7\t8\t9\r",
        "1 2 3abc",
        "-0 0 -0",
        "1e999 1e-999 2",
        "00001.50000 2 3",
        "1 2 3\0 4",
    };
    const std::vector<std::string> otherLines = {"",      "X Y Z",   "# header 1 2 3", "1 2",
                                                 "1 2 x", "1, 2, 3", "1,5 2 3",        "1e5x 2 3",
                                                 "\r",    "- 1 2 3", ". 1 2",          "1 2 .e5"};
    for (const auto& line : vertexLines) {
        CPoint3D want;
        ASSERT_TRUE(ScanfReads(line, want)) << line;
        CPoint3D got;
        EXPECT_TRUE(ParseVertexLine(line, got)) << line;
        EXPECT_TRUE(SameBits(got, want)) << line;
    }
    for (const auto& line : otherLines) {
        CPoint3D p;
        EXPECT_EQ(ParseVertexLine(line, p), ScanfReads(line, p)) << line;
        EXPECT_FALSE(ParseVertexLine(line, p)) << line;
    }
    // Written vertices read back as the C library reads them.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> d(-1e6, 1e6);
    for (int i = 0; i < 2000; ++i) {
        std::string line;
        AppendVertexLine(line, {d(rng), d(rng) * 1e-6, d(rng) * 1e3});
        CPoint3D want;
        CPoint3D got;
        ASSERT_TRUE(ScanfReads(line, want));
        ASSERT_TRUE(ParseVertexLine(line, got));
        ASSERT_TRUE(SameBits(got, want)) << line;
    }
}

TEST(ResultFiles, VertexTextKeepsOnlyVertexLinesInOrder) {
    const auto v = ParseVertexText("X\tY\tZ\r\n1 2 3\r\n\r\n# note\n4\t5\t6\n7 8");
    ASSERT_EQ(v.size(), 1u + 1u);
    EXPECT_EQ(v[0], CPoint3D(1, 2, 3));
    EXPECT_EQ(v[1], CPoint3D(4, 5, 6));
    const auto last = ParseVertexText("1 2 3\n4 5 6"); // no line end after the last line
    EXPECT_EQ(last.size(), 2u);
}

TEST(ResultFiles, SavingWritesWholeFilesOrReportsAndLeavesNothing) {
    TempDir dir;
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);

    const auto log = dir.path / "results.txt";
    EXPECT_TRUE(SaveResultsLog(log.string(), "\nA\nB\n"));
    EXPECT_EQ(ReadBytes(log), "\r\nA\r\nB\r\n");

    // Every vertex filtered out: the file is still created, empty.
    const auto verts = dir.path / "vertices.txt";
    std::ofstream(verts) << "old content";
    EXPECT_TRUE(SaveVertexFile(verts.string(), {Vertex({200, 0, 0})}));
    EXPECT_TRUE(std::filesystem::exists(verts));
    EXPECT_EQ(ReadBytes(verts), "");
    EXPECT_TRUE(sink.m_vMessages.empty());

    const auto missing = dir.path / "no-such-folder" / "v.txt";
    EXPECT_FALSE(SaveVertexFile(missing.string(), {Vertex({1, 2, 3})}));
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_EQ(sink.m_vMessages[0], "Unable to save " + missing.string() + ": cannot create " +
                                       missing.string() + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
    // Nothing but the two files is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                            std::filesystem::directory_iterator()),
              2);
}
