// Registration inputs that used to run for hours or give a fit of nothing:
// scenes where every vertex looks like every other, absurd tolerances,
// references that fix no frame and pairs given twice.
#include "base/Messages.h"
#include "registration/Correspondence.h"
#include "registration/LeastSquaresRegistration.h"
#include "registration/VertexRegistration.h"
#include "tests/registration/RigidScenes.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace {

std::vector<CPoint3D> Moved(const std::vector<CPoint3D>& points, const CPoint3D& by) {
    std::vector<CPoint3D> out;
    for (const CPoint3D& p : points) {
        out.push_back(p + by);
    }
    return out;
}

} // namespace

TEST(HostileRegistration, ScenesOfLookalikeVerticesEndWithinTheSearchsBounds) {
    // A regular grid of 2,000 vertices: every spacing repeats everywhere.
    std::vector<CPoint3D> grid;
    for (int x = 0; x < 20; ++x) {
        for (int y = 0; y < 10; ++y) {
            for (int z = 0; z < 10; ++z) {
                grid.emplace_back(x * 0.5, y * 0.5, z * 0.5);
            }
        }
    }
    const CorrespondenceResult onGrid = FindCorrespondences(grid, Moved(grid, {0.1, 0.2, 0.0}));
    // Whatever it finds, it ends; a grid is as symmetric as a scene gets.
    EXPECT_NE(onGrid.status, CorrespondenceResult::Status::kFound);

    // 300 vertices in a 10 cm ball, all within the tolerance of each other.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-0.05, 0.05);
    std::vector<CPoint3D> cluster;
    for (int i = 0; i < 300; ++i) {
        cluster.emplace_back(5.0 + u(rng), u(rng), u(rng));
    }
    const CorrespondenceResult inCluster = FindCorrespondences(cluster, cluster);
    EXPECT_FALSE(inCluster.message.empty() && !inCluster.Found());
}

TEST(HostileRegistration, AbsurdTolerancesAreRefusedWithTheRangeThatIsAccepted) {
    const std::vector<CPoint3D> a = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 2, 0}};
    for (const double tolerance : {1e6, 1e300, 1e-300, 101.0}) {
        CorrespondenceOptions options;
        options.toleranceM = tolerance;
        const CorrespondenceResult r = FindCorrespondences(a, a, options);
        EXPECT_EQ(r.status, CorrespondenceResult::Status::kBadTolerance) << tolerance;
        EXPECT_NE(r.message.find("give one from 0.0001 m to 100 m"), std::string::npos)
            << r.message;
    }
    CorrespondenceOptions fine;
    fine.toleranceM = 0.05;
    EXPECT_TRUE(FindCorrespondences(a, Moved(a, {1, 2, 3}), fine).Found());
}

TEST(HostileRegistration, AReferenceThatFixesNoFrameAndRepeatedPairsAreRefusedWithTheReason) {
    const std::vector<CPoint3D> spread = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const std::vector<CPoint3D> line = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    const LeastSquaresResult collinear = RegisterLeastSquares(spread, line);
    EXPECT_EQ(collinear.status, LeastSquaresResult::Status::kCollinear);
    EXPECT_NE(collinear.message.find("reference vertices of the pairs lie on one line"),
              std::string::npos);
    const std::vector<CPoint3D> onePoint(4, CPoint3D(2, 3, 4));
    EXPECT_EQ(RegisterLeastSquares(spread, onePoint).status,
              LeastSquaresResult::Status::kCollinear);

    TempDir dir;
    const std::string src = dir.Write("s.txt", VertexText(spread));
    const std::string out = (dir.Path() / "s_trnsfrmd.txt").string();
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    RegisterFilesOptions options;
    // Every pair on one reference vertex.
    options.pairs = {{0, 0}, {1, 0}, {2, 0}, {3, 0}};
    RegisterFilesResult r = RegisterVertexFiles(src, src, options);
    EXPECT_EQ(r.status, RegisterFilesResult::Status::kRefused);
    EXPECT_NE(r.message.find("reference vertices"), std::string::npos) << r.message;
    EXPECT_FALSE(std::filesystem::exists(out));
    // The same pair three times would outweigh the others.
    options.pairs = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {1, 1}, {1, 1}};
    r = RegisterVertexFiles(src, src, options);
    EXPECT_EQ(r.status, RegisterFilesResult::Status::kRefused);
    EXPECT_EQ(r.message, "Unable to register: pair 5 (1:1) repeats pair 2");
    EXPECT_FALSE(std::filesystem::exists(out));
    options.pairs = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    EXPECT_EQ(RegisterVertexFiles(src, src, options).status, RegisterFilesResult::Status::kWritten);
}
