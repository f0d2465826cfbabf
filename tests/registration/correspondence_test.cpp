// Automatic vertex pairs between two files of the same scene.
#include "registration/Correspondence.h"
#include "tests/registration/RigidScenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Checks the found pairs against the truth: how many true pairs were
// recovered, and that no pair joins vertices farther apart than the
// tolerance under the true motion.
void ExpectPairsAgreeWithTheTruth(const Scene& scene, const CorrespondenceResult& found,
                                  double minRecovered, const std::string& what) {
    ASSERT_TRUE(found.Found()) << what << ": " << found.message;
    size_t recovered = 0;
    for (const IndexPair& p : found.pairs) {
        if (std::find(scene.truePairs.begin(), scene.truePairs.end(), p) != scene.truePairs.end()) {
            ++recovered;
        }
        const double apart =
            (scene.motion(scene.source[p.source]) - scene.reference[p.reference]).Length();
        EXPECT_LE(apart, found.toleranceM * 1.1)
            << what << " pair " << p.source << ":" << p.reference;
    }
    EXPECT_GE(static_cast<double>(recovered),
              minRecovered * static_cast<double>(scene.truePairs.size()))
        << what << ": " << recovered << " of " << scene.truePairs.size();
    // One to one.
    for (size_t a = 0; a < found.pairs.size(); ++a) {
        for (size_t b = a + 1; b < found.pairs.size(); ++b) {
            EXPECT_NE(found.pairs[a].source, found.pairs[b].source);
            EXPECT_NE(found.pairs[a].reference, found.pairs[b].reference);
        }
    }
    ASSERT_TRUE(found.fit.Ok());
    EXPECT_EQ(found.fit.residualsM.size(), found.pairs.size());
    for (const double res : found.fit.residualsM) {
        EXPECT_LE(res, found.toleranceM);
    }
}

} // namespace

TEST(Correspondences, NoisyScenesWithMissingAndMismeasuredRocksYieldTheTruePairs) {
    std::mt19937 rng(2026);
    for (int trial = 0; trial < 16; ++trial) {
        SceneRecipe recipe;
        recipe.rocks = 10 + static_cast<size_t>(trial) * 12;
        recipe.noiseM = 0.01 + 0.04 * (trial % 5) / 4.0;
        recipe.onlyInOne = 0.30 * (trial % 4) / 3.0;
        recipe.grossOutliers = 0.10;
        const Scene scene = MakeScene(recipe, rng);
        CorrespondenceOptions options;
        options.toleranceM = 6.0 * recipe.noiseM;
        const CorrespondenceResult found =
            FindCorrespondences(scene.source, scene.reference, options);
        const std::string what =
            "trial " + std::to_string(trial) + " (" + std::to_string(recipe.rocks) + " rocks)";
        ExpectPairsAgreeWithTheTruth(scene, found, 0.95, what);
        const double bound = 3.0 * recipe.noiseM * std::sqrt(12.0 / double(found.pairs.size()));
        EXPECT_LT(MotionErrorM(found.fit.motion, scene.motion, scene.source), 3.0 * bound) << what;
    }
}

TEST(Correspondences, TheDefaultToleranceFollowsTheRangesAndStillFindsThePairs) {
    std::mt19937 rng(7);
    SceneRecipe recipe;
    recipe.rocks = 60;
    recipe.noiseM = 0.03;
    recipe.onlyInOne = 0.2;
    const Scene scene = MakeScene(recipe, rng);
    const CorrespondenceResult found = FindCorrespondences(scene.source, scene.reference);
    EXPECT_DOUBLE_EQ(found.toleranceM,
                     DefaultCorrespondenceToleranceM(scene.source, scene.reference));
    ExpectPairsAgreeWithTheTruth(scene, found, 0.95, "default tolerance");

    // Near and far scenes; never below 5 cm nor above 2 m.
    const std::vector<CPoint3D> near = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const std::vector<CPoint3D> far = {{50, 0, 0}, {0, 50, 0}, {0, 0, 50}};
    const std::vector<CPoint3D> remote = {{1000, 0, 0}, {0, 1000, 0}, {0, 0, 1000}};
    EXPECT_DOUBLE_EQ(DefaultCorrespondenceToleranceM(near, near), 0.05);
    EXPECT_DOUBLE_EQ(DefaultCorrespondenceToleranceM(far, far), 1.5);
    EXPECT_DOUBLE_EQ(DefaultCorrespondenceToleranceM(remote, near), 2.0);
}

TEST(Correspondences, SymmetricScenesAreRefusedNotGuessed) {
    // A square grid of rocks looks the same after a quarter turn, and a
    // cube's corners after any of 24 turns.
    std::vector<CPoint3D> grid;
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            grid.push_back({10.0 + 2.0 * i, 2.0 * j - 4.0, 0.0});
        }
    }
    std::vector<CPoint3D> cube;
    for (int k = 0; k < 8; ++k) {
        cube.push_back({10.0 + 3.0 * (k & 1), 3.0 * ((k >> 1) & 1), 3.0 * ((k >> 2) & 1)});
    }
    const TrueMotion m{{0.3, -0.2, 1.0}, 0.8, {2.0, -1.0, 0.5}};
    for (const auto* scene : {&grid, &cube}) {
        std::vector<CPoint3D> moved;
        for (const CPoint3D& p : *scene) {
            moved.push_back(m(p));
        }
        CorrespondenceOptions options;
        options.toleranceM = 0.1;
        const CorrespondenceResult found = FindCorrespondences(*scene, moved, options);
        EXPECT_EQ(found.status, CorrespondenceResult::Status::kAmbiguous) << found.message;
        EXPECT_TRUE(found.pairs.empty());
        EXPECT_NE(found.message.find("symmetric"), std::string::npos);
    }

    // One extra rock is not enough to tell the turns apart, a few are.
    grid.push_back({11.3, -6.1, 0.7});
    for (const auto* scene : {&grid}) {
        std::vector<CPoint3D> moved;
        for (const CPoint3D& p : *scene) {
            moved.push_back(m(p));
        }
        CorrespondenceOptions options;
        options.toleranceM = 0.1;
        EXPECT_EQ(FindCorrespondences(*scene, moved, options).status,
                  CorrespondenceResult::Status::kAmbiguous);
    }
    for (const CPoint3D& extra :
         {CPoint3D{7.2, 1.1, 0.4}, CPoint3D{19.0, 3.3, -0.6}, CPoint3D{15.1, 7.7, 1.2},
          CPoint3D{8.8, -7.9, 0.0}, CPoint3D{21.5, -2.2, 2.0}}) {
        grid.push_back(extra);
    }
    std::vector<CPoint3D> moved;
    for (const CPoint3D& p : grid) {
        moved.push_back(m(p));
    }
    CorrespondenceOptions options;
    options.toleranceM = 0.1;
    const CorrespondenceResult found = FindCorrespondences(grid, moved, options);
    ASSERT_TRUE(found.Found()) << found.message;
    EXPECT_EQ(found.pairs.size(), grid.size());
    for (const IndexPair& p : found.pairs) {
        EXPECT_EQ(p.source, p.reference);
    }
}

TEST(Correspondences, UnrelatedOrTooSmallFilesAreRefused) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> c(0.0, 30.0);
    std::vector<CPoint3D> a, b;
    for (int k = 0; k < 30; ++k) {
        a.push_back({c(rng), c(rng), c(rng)});
        b.push_back({c(rng), c(rng), c(rng)});
    }
    CorrespondenceOptions options;
    options.toleranceM = 0.005;
    CorrespondenceResult found = FindCorrespondences(a, b, options);
    EXPECT_EQ(found.status, CorrespondenceResult::Status::kTooFewPairs);
    EXPECT_TRUE(found.pairs.empty());

    found = FindCorrespondences({a[0], a[1]}, b);
    EXPECT_EQ(found.status, CorrespondenceResult::Status::kTooFewVertices);
    // Vertices that are not numbers do not count.
    std::vector<CPoint3D> nan = {a[0], a[1], {std::nan(""), 0, 0}};
    EXPECT_EQ(FindCorrespondences(nan, b).status, CorrespondenceResult::Status::kTooFewVertices);
    std::vector<CPoint3D> huge(kMaxCorrespondenceVertices + 1, CPoint3D{1, 2, 3});
    EXPECT_EQ(FindCorrespondences(huge, b).status, CorrespondenceResult::Status::kTooManyVertices);
}

TEST(Correspondences, ThreeOrFourVertexFilesAreMatched) {
    // A scalene triangle and a tetrahedron, each moved: small files take
    // the three-vertex search.
    const TrueMotion m{{1, 1, 0}, 1.1, {3, 0, -2}};
    for (const std::vector<CPoint3D>& s :
         {std::vector<CPoint3D>{{10, 0, 0}, {13, 1, 0}, {11, 5, 1}},
          std::vector<CPoint3D>{{10, 0, 0}, {13, 1, 0}, {11, 5, 1}, {12, 2, 4}}}) {
        std::vector<CPoint3D> r;
        for (auto it = s.rbegin(); it != s.rend(); ++it) {
            r.push_back(m(*it));
        }
        const CorrespondenceResult found = FindCorrespondences(s, r);
        ASSERT_TRUE(found.Found()) << found.message;
        ASSERT_EQ(found.pairs.size(), s.size());
        for (const IndexPair& p : found.pairs) {
            EXPECT_EQ(p.reference, s.size() - 1 - p.source);
        }
    }
}
