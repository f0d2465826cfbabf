// Three-point registration and the transform of vertex files.
#include "base/Messages.h"
#include "registration/Registration.h"
#include "registration/VertexFile.h"
#include "registration/VertexRegistration.h"

#include "tests/registration/RigidScenes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const double kPiHere = std::acos(-1.0);

// A rigid motion: rotation by angle (degrees) about axis, then a shift.
struct Motion {
    CPoint3D axis;
    double deg;
    CPoint3D shift;
    CPoint3D operator()(const CPoint3D& p) const {
        const CPoint3D a = axis.Normalized();
        const double t = deg * kPiHere / 180.0;
        // Rodrigues' formula, independent of the quaternion code.
        const CPoint3D r =
            p * std::cos(t) + Cross(a, p) * std::sin(t) + a * (Dot(a, p) * (1 - std::cos(t)));
        return r + shift;
    }
};

std::vector<CPoint3D> Cloud() {
    return {{1, 2, 0.5}, {4, -1, 0.2}, {-2, 3, 1.7}, {0, 0, 0},
            {7, 7, -3},  {-5, 2, 9},   {0.3, -8, 4}, {12.5, 0.25, -0.75}};
}

// Where the transform's rotation and translation take p.
CPoint3D Apply(const Registration& reg, const PointTriple& s, const CPoint3D& p) {
    const CPoint3D cS = TripleCentroid(s);
    const double n2 = reg.q.m_dS * reg.q.m_dS + Dot(reg.q.m_ptVec, reg.q.m_ptVec);
    const CPoint3D t = (cS - RotateVector(cS, reg.q) / n2) + reg.offset;
    return RotateVector(p, reg.q) + t;
}

void ExpectRecoversTriple(const Motion& m, const PointTriple& s,
                          const std::vector<CPoint3D>& cloud) {
    const PointTriple r = {m(s[0]), m(s[1]), m(s[2])};
    const Registration reg = RegisterThreePoints(s, r);
    EXPECT_NEAR(reg.dResidual, 0.0, 1e-9);
    for (const CPoint3D& p : cloud) {
        const CPoint3D got = Apply(reg, s, p);
        EXPECT_NEAR((got - m(p)).Length(), 0.0, 1e-9)
            << "axis " << m.axis.m_dX << "," << m.axis.m_dY << "," << m.axis.m_dZ << " deg "
            << m.deg << " point " << p.m_dX << "," << p.m_dY << "," << p.m_dZ;
    }
}

void ExpectRecovers(const Motion& m, const std::array<int, 3>& pick) {
    const auto cloud = Cloud();
    ExpectRecoversTriple(m, {cloud[pick[0]], cloud[pick[1]], cloud[pick[2]]}, cloud);
}

} // namespace

TEST(Registration, SameTripleIsTheIdentity) {
    const auto c = Cloud();
    const PointTriple s = {c[0], c[1], c[2]};
    const Registration reg = RegisterThreePoints(s, s);
    EXPECT_EQ(reg.q.m_dS, 1.0);
    EXPECT_EQ(reg.q.m_ptVec.Length(), 0.0);
    EXPECT_EQ(reg.offset, CPoint3D());
    EXPECT_EQ(reg.dResidual, 0.0);
}

TEST(Registration, RecoversKnownRigidMotions) {
    // The quarter turn about z with a shift of (10, 0, 0).
    ExpectRecovers({kZAxis, 90, {10, 0, 0}}, {0, 1, 2});
    // Half turns about the normal and about axes off the plane.
    ExpectRecovers({kZAxis, 180, {1, 2, 3}}, {0, 1, 3});
    ExpectRecovers({kXAxis, 180, {0, 0, 0}}, {0, 1, 3});
    ExpectRecovers({kYAxis, 180, {-4, 5, 6}}, {0, 1, 2});
    // Arbitrary motions, and triples in any order.
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < 200; ++i) {
        const Motion m{{u(rng), u(rng), u(rng)}, u(rng) * 180, {u(rng) * 50, u(rng) * 50, u(rng)}};
        std::array<int, 3> pick{};
        do {
            pick = {static_cast<int>(rng() % 8), static_cast<int>(rng() % 8),
                    static_cast<int>(rng() % 8)};
        } while (pick[0] == pick[1] || pick[1] == pick[2] || pick[0] == pick[2]);
        ExpectRecovers(m, pick);
    }
}

TEST(Registration, HalfTurnsThatTurnThePlaneOver) {
    // A half turn about an axis in the triple's plane makes the two normals
    // opposite; the plane must still be turned onto the reference plane.
    const auto cloud = Cloud();
    const PointTriple flat = {CPoint3D{1, 2, 0}, {4, -1, 0}, {-2, 3, 0}};
    // Exactly: (x, y, z) -> (x, -y, -z) + shift, and (x, y, z) -> (-x, y, -z).
    const PointTriple aboutX = {CPoint3D{1, -2, 5}, {4, 1, 5}, {-2, -3, 5}};
    const PointTriple aboutY = {CPoint3D{-1, 2, 0}, {-4, -1, 0}, {2, 3, 0}};
    for (const auto& ref : {aboutX, aboutY}) {
        const Registration reg = RegisterThreePoints(flat, ref);
        EXPECT_NEAR(reg.dResidual, 0.0, 1e-12);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR((Apply(reg, flat, flat[k]) - ref[k]).Length(), 0.0, 1e-12) << k;
        }
        // Off-plane points go to the other side.
        const CPoint3D up = Apply(reg, flat, {0, 0, 1});
        EXPECT_NEAR(up.m_dZ, ref[0].m_dZ - 1, 1e-12);
    }
    ExpectRecoversTriple({{1, 1, 0}, 180, {0, 0, 1}}, flat, cloud);
    // A tilted plane holding the axis.
    const CPoint3D axis{0.3, -0.2, 0.9};
    const CPoint3D p0{1, 5, -2};
    ExpectRecoversTriple({axis, 180, {2, 2, 2}}, {p0, p0 + axis * 3, p0 + CPoint3D(1, 1, 0)},
                         cloud);
}

TEST(Registration, DegenerateTriples) {
    EXPECT_TRUE(IsDegenerateTriple({CPoint3D{1, 2, 3}, {1, 2, 3}, {4, 5, 6}}));
    EXPECT_TRUE(IsDegenerateTriple({CPoint3D{1, 2, 3}, {4, 5, 6}, {4, 5, 6}}));
    EXPECT_TRUE(IsDegenerateTriple({CPoint3D{0, 0, 0}, {1, 1, 1}, {3, 3, 3}}));
    EXPECT_TRUE(IsDegenerateTriple({CPoint3D{0, 0, 0}, {1, 0, 0}, {-2, 0, 0}}));
    EXPECT_TRUE(IsDegenerateTriple({CPoint3D{0, 0, 0}, {1, 0, 0}, {1e6, 1e-5, 0}}));
    EXPECT_TRUE(IsDegenerateTriple({CPoint3D{std::nan(""), 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    EXPECT_FALSE(IsDegenerateTriple({CPoint3D{0, 0, 0}, {1, 0, 0}, {1e3, 1e-3, 0}}));
    EXPECT_FALSE(IsDegenerateTriple({CPoint3D{0, 0, 0}, {1e-3, 0, 0}, {0, 1e-3, 0}}));
}

TEST(TransformFile, MovesEveryVertexAndSkipsOtherLines) {
    TempDir dir;
    const Motion m{kZAxis, 90, {10, 0, 0}};
    const auto cloud = Cloud();
    std::vector<CPoint3D> moved;
    for (const auto& p : cloud) {
        moved.push_back(m(p));
    }
    // The source has a header and a blank line: indices count vertex lines.
    const std::string src = dir.Write("site a.txt", "X\tY\tZ\r\n\r\n" + VertexText(cloud));
    const std::string ref = dir.Write("ref.dat", VertexText({moved[5], moved[2], moved[7]}));
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    const TransformResult r = TransformVertexFile(src, ref, {2, 7, 5}, {1, 2, 0});
    ASSERT_EQ(r.status, TransformResult::Status::kWritten);
    EXPECT_TRUE(sink.m_vMessages.empty());
    EXPECT_EQ(r.sOutputPath, (dir.Path() / "site a_trnsfrmd.txt").string());
    EXPECT_EQ(r.nVertices, cloud.size());
    ASSERT_TRUE(r.residual);
    EXPECT_LT(*r.residual, 1e-9);
    const std::string out = ReadBytes(r.sOutputPath);
    const auto got = ParseVertexText(out);
    ASSERT_EQ(got.size(), cloud.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR((got[i] - moved[i]).Length(), 0.0, 2e-6) << i;
    }
    // Only vertex lines, each ending CR LF.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), static_cast<long>(cloud.size()));
    EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), static_cast<long>(cloud.size()));

    // The same file onto itself with the same indices: unchanged coordinates.
    const TransformResult same = TransformVertexFile(src, src, {0, 1, 2}, {0, 1, 2});
    ASSERT_EQ(same.status, TransformResult::Status::kWritten);
    EXPECT_EQ(ReadBytes(same.sOutputPath), VertexText(cloud));
}

TEST(TransformFile, ReferenceNamedLikeTheOutputIsReadBeforeItIsReplaced) {
    TempDir dir;
    const auto cloud = Cloud();
    const Motion m{kXAxis, 30, {1, 2, 3}};
    std::vector<CPoint3D> moved;
    for (const auto& p : cloud) {
        moved.push_back(m(p));
    }
    const std::string src = dir.Write("s.txt", VertexText(cloud));
    const std::string ref = dir.Write("s_trnsfrmd.txt", VertexText(moved));
    const TransformResult r = TransformVertexFile(src, ref, {0, 1, 2}, {0, 1, 2});
    ASSERT_EQ(r.status, TransformResult::Status::kWritten);
    EXPECT_EQ(r.sOutputPath, ref);
    const auto got = ParseVertexText(ReadBytes(ref));
    ASSERT_EQ(got.size(), cloud.size());
    EXPECT_NEAR((got[6] - moved[6]).Length(), 0.0, 1e-5); // from six-decimal input
}

TEST(TransformFile, EmptyInputsAndIndicesOutOfRangeAreRefusedWithoutTouchingTheOutput) {
    TempDir dir;
    const std::string src = dir.Write("src", VertexText(Cloud()));
    const std::string empty = dir.Write("empty.txt", "no vertices here\r\n");
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    // No extension: the name ends in "_trnsfrmd.". An earlier good output
    // stays as it was.
    const std::string out = (dir.Path() / "src_trnsfrmd.").string();
    std::ofstream(out) << "old";
    TransformResult r = TransformVertexFile(src, empty, {0, 1, 2}, {0, 0, 0});
    EXPECT_EQ(r.status, TransformResult::Status::kRefused);
    EXPECT_EQ(r.nVertices, 0u);
    // Index 8 of an 8-vertex file is out of range; so is the largest index.
    for (const std::uint32_t bad : {8u, 0xFFFFFFFFu}) {
        r = TransformVertexFile(src, src, {0, 1, bad}, {0, 1, 2});
        EXPECT_EQ(r.status, TransformResult::Status::kRefused);
    }
    EXPECT_EQ(ReadBytes(out), "old");
    ASSERT_EQ(sink.m_vMessages.size(), 3u);
    EXPECT_NE(sink.m_vMessages[0].find("reference vertices 0, 0, 0 are not all in the reference "
                                       "file, which has 0 vertices"),
              std::string::npos)
        << sink.m_vMessages[0];
    EXPECT_NE(sink.m_vMessages[1].find("source vertices 0, 1, 8"), std::string::npos);
    // Nothing else appeared in the folder (no temporary either).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 3);
}

TEST(TransformFile, AnInputWithoutLineEndsIsRefusedNamingFileAndLine) {
    TempDir dir;
    const std::string src = dir.Write("src.txt", VertexText(Cloud()));
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    // /dev/zero never ends and has no line end: it must be refused, not read
    // into memory.
    const TransformResult r = TransformVertexFile(src, "/dev/zero", {0, 1, 2}, {0, 1, 2});
    EXPECT_EQ(r.status, TransformResult::Status::kFailed);
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_EQ(sink.m_vMessages[0], "/dev/zero, line 1: the line is longer than 65536 bytes (not "
                                   "a text file?)");
    EXPECT_FALSE(fs::exists(dir.Path() / "src_trnsfrmd.txt"));
}

TEST(TransformFile, DegenerateTriplesAreRefusedWithoutOutput) {
    TempDir dir;
    const std::string src =
        dir.Write("line.txt", VertexText({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {0, 1, 0}}));
    const std::string ref = dir.Write("ref.txt", VertexText(Cloud()));
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    // Collinear source vertices; then a repeated reference index.
    TransformResult r = TransformVertexFile(src, ref, {0, 1, 2}, {0, 1, 2});
    EXPECT_EQ(r.status, TransformResult::Status::kRefused);
    r = TransformVertexFile(src, ref, {0, 1, 3}, {4, 4, 2});
    EXPECT_EQ(r.status, TransformResult::Status::kRefused);
    EXPECT_FALSE(fs::exists(dir.Path() / "line_trnsfrmd.txt"));
    ASSERT_EQ(sink.m_vMessages.size(), 2u);
    EXPECT_NE(sink.m_vMessages[0].find("source vertices 0, 1, 2"), std::string::npos);
    EXPECT_NE(sink.m_vMessages[1].find("reference vertices 4, 4, 2"), std::string::npos);
}

TEST(TransformFile, UnopenableInputsAndUncreatableOutput) {
    TempDir dir;
    const std::string good = dir.Write("good.txt", VertexText(Cloud()));
    const std::string missing = (dir.Path() / "missing.txt").string();
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    EXPECT_EQ(TransformVertexFile(missing, good, {0, 1, 2}, {0, 1, 2}).status,
              TransformResult::Status::kFailed);
    EXPECT_EQ(TransformVertexFile(good, missing, {0, 1, 2}, {0, 1, 2}).status,
              TransformResult::Status::kFailed);
    // A folder opens but cannot be read.
    EXPECT_EQ(TransformVertexFile(good, dir.Path().string(), {0, 1, 2}, {0, 1, 2}).status,
              TransformResult::Status::kFailed);
    // The output's name is taken by a folder: it cannot be created.
    fs::create_directories(dir.Path() / "good_trnsfrmd.txt");
    EXPECT_EQ(TransformVertexFile(good, good, {0, 1, 2}, {0, 1, 2}).status,
              TransformResult::Status::kFailed);
    ASSERT_EQ(sink.m_vMessages.size(), 4u);
    EXPECT_EQ(sink.m_vMessages[0], "Unable to open " + missing);
    EXPECT_EQ(sink.m_vMessages[1], "Unable to open " + missing);
    EXPECT_EQ(sink.m_vMessages[2], "Unable to open " + dir.Path().string());
    EXPECT_EQ(sink.m_vMessages[3].rfind(
                  "Unable to create " + (dir.Path() / "good_trnsfrmd.txt").string() + ": ", 0),
              0u);
    // Nothing half-written is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

// Transform and register read vertex files the one way: a vertex that is not
// a finite number, or a line longer than any vertex line, refuses the file
// in both, naming it, and nothing is written.
TEST(VertexFiles, TransformAndRegisterRefuseTheSameUnusableFiles) {
    TempDir dir;
    const std::string good = dir.Write("good.txt", VertexText(Cloud()));
    const std::string withNan =
        dir.Write("nan.txt", VertexText(Cloud()) + "1.0\tnan\t2.0\r\n0x10 1 2\r\n");
    const std::string longLine = dir.Write("long.txt", std::string(70000, ' ') + "1 2 3\r\n");
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    for (const std::string& bad : {withNan, longLine}) {
        sink.m_vMessages.clear();
        EXPECT_EQ(TransformVertexFile(bad, good, {0, 1, 2}, {0, 1, 2}).status,
                  TransformResult::Status::kFailed);
        RegisterFilesOptions pairs;
        pairs.pairs = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
        EXPECT_EQ(RegisterVertexFiles(bad, good, pairs).status,
                  RegisterFilesResult::Status::kFailed);
        ASSERT_EQ(sink.m_vMessages.size(), 2u);
        EXPECT_EQ(sink.m_vMessages[0], sink.m_vMessages[1]);
        EXPECT_NE(sink.m_vMessages[0].find(bad), std::string::npos) << sink.m_vMessages[0];
    }
    EXPECT_NE(sink.m_vMessages[0].find("line 1"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.Path() / "nan_trnsfrmd.txt"));
    EXPECT_FALSE(fs::exists(dir.Path() / "long_trnsfrmd.txt"));
    // The line is named; hexadecimal and out-of-range numbers are refused the
    // same way; lines that are not vertices are skipped as always.
    sink.m_vMessages.clear();
    const std::string textLines = "x y z\r\n1 2 3\r\n";
    EXPECT_FALSE(ReadVertexFile(dir.Write("hex.txt", textLines + "0x10 1 2\r\n")));
    EXPECT_FALSE(ReadVertexFile(dir.Write("big.txt", textLines + "1e999 1 2\r\n")));
    ASSERT_EQ(sink.m_vMessages.size(), 2u);
    EXPECT_NE(sink.m_vMessages[0].find("hex.txt, line 3"), std::string::npos)
        << sink.m_vMessages[0];
    const auto read = ReadVertexFile(dir.Write("plain.txt", textLines + " -1.5e2\t+.5  7.\r\n"));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, (std::vector<CPoint3D>{{1, 2, 3}, {-150, 0.5, 7}}));
}
