// Registering vertex files over many pairs and writing the transform's
// output file.
#include "base/Messages.h"
#include "registration/Registration.h"
#include "registration/VertexFile.h"
#include "registration/VertexRegistration.h"
#include "tests/registration/RigidScenes.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {} // namespace

TEST(RegisterVertexFiles, ThreeExactPairsWriteWhatTheThreePointTransformWrites) {
    TempDir dir;
    std::mt19937 rng(8);
    SceneRecipe recipe;
    recipe.rocks = 12;
    recipe.noiseM = 0.0;
    const Scene scene = MakeScene(recipe, rng);
    const std::string src = dir.Write("site 1.v.txt", "X Y Z\r\n" + VertexText(scene.source));
    const std::string ref = dir.Write("ref.dat", VertexText(scene.reference));
    const auto& t = scene.truePairs;
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    const TransformResult three =
        TransformVertexFile(src, ref, {t[0].source, t[1].source, t[2].source},
                            {t[0].reference, t[1].reference, t[2].reference});
    ASSERT_EQ(three.status, TransformResult::Status::kWritten);
    const std::string threeBytes = ReadBytes(three.sOutputPath);

    RegisterFilesOptions options;
    options.pairs = {t[0], t[1], t[2]};
    const RegisterFilesResult r = RegisterVertexFiles(src, ref, options);
    ASSERT_EQ(r.status, RegisterFilesResult::Status::kWritten) << r.message;
    EXPECT_TRUE(sink.m_vMessages.empty());
    EXPECT_EQ(r.outputPath, (dir.Path() / "site 1.v_trnsfrmd.txt").string());
    EXPECT_EQ(r.outputPath, three.sOutputPath);
    EXPECT_EQ(r.nVertices, scene.source.size());
    const std::string bytes = ReadBytes(r.outputPath);
    // Same line format; the coordinates agree to the printed digits.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'),
              std::count(threeBytes.begin(), threeBytes.end(), '\n'));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), static_cast<long>(scene.source.size()));
    const auto got = ParseVertexText(bytes);
    const auto want = ParseVertexText(threeBytes);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_LE((got[i] - want[i]).Length(), 1.8e-6) << i;
    }
    EXPECT_EQ(VertexText(got), bytes);
}

TEST(RegisterVertexFiles, OutliersAreFlaggedAndOnlyDroppedOnRequest) {
    TempDir dir;
    std::mt19937 rng(21);
    SceneRecipe recipe;
    recipe.rocks = 40;
    recipe.noiseM = 0.02;
    recipe.grossOutliers = 0.1;
    const Scene scene = MakeScene(recipe, rng);
    ASSERT_FALSE(scene.outlierPairs.empty());
    const std::string src = dir.Write("a.txt", VertexText(scene.source));
    const std::string ref = dir.Write("b.txt", VertexText(scene.reference));
    RegisterFilesOptions options;
    options.pairs = scene.truePairs;
    options.pairs.insert(options.pairs.end(), scene.outlierPairs.begin(), scene.outlierPairs.end());

    RegisterFilesResult kept = RegisterVertexFiles(src, ref, options);
    ASSERT_EQ(kept.status, RegisterFilesResult::Status::kWritten);
    EXPECT_EQ(kept.outliers, scene.outlierPairs);
    EXPECT_FALSE(kept.outliersDropped);
    EXPECT_EQ(kept.pairs.size(), options.pairs.size());

    options.dropOutliers = true;
    const RegisterFilesResult dropped = RegisterVertexFiles(src, ref, options);
    ASSERT_EQ(dropped.status, RegisterFilesResult::Status::kWritten);
    EXPECT_TRUE(dropped.outliersDropped);
    EXPECT_EQ(dropped.pairs, scene.truePairs);
    EXPECT_LT(dropped.fit.rmsM, kept.fit.rmsM);
    EXPECT_LT(MotionErrorM(dropped.fit.motion, scene.motion, scene.source),
              MotionErrorM(kept.fit.motion, scene.motion, scene.source));

    // No pairs given: found automatically, the same output file.
    RegisterFilesOptions automatic;
    automatic.toleranceM = 0.15;
    const RegisterFilesResult found = RegisterVertexFiles(src, ref, automatic);
    ASSERT_EQ(found.status, RegisterFilesResult::Status::kWritten) << found.message;
    EXPECT_TRUE(found.automatic);
    EXPECT_EQ(found.toleranceM, 0.15);
    EXPECT_EQ(found.outputPath, dropped.outputPath);
    EXPECT_GE(found.pairs.size(), scene.truePairs.size() * 95 / 100);
}

TEST(RegisterVertexFiles, BadPairsOrUnreadableFilesWriteNothingAndSaySo) {
    TempDir dir;
    const std::vector<CPoint3D> pts = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}, {0, 1, 0}};
    const std::string src = dir.Write("s.txt", VertexText(pts));
    const std::string out = (dir.Path() / "s_trnsfrmd.txt").string();
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);

    // An index past the end is refused (not an empty file as the
    // three-point transform writes).
    RegisterFilesOptions options;
    options.pairs = {{0, 0}, {1, 1}, {2, 4}};
    RegisterFilesResult r = RegisterVertexFiles(src, src, options);
    EXPECT_EQ(r.status, RegisterFilesResult::Status::kRefused);
    EXPECT_EQ(r.message, "Unable to register: pair 3 (2:4) names reference vertex 4, but the "
                         "reference file has 4 vertices");
    EXPECT_EQ(sink.m_vMessages, std::vector<std::string>{r.message});
    EXPECT_FALSE(fs::exists(out));

    options.pairs = {{0, 0}, {1, 1}};
    EXPECT_EQ(RegisterVertexFiles(src, src, options).status, RegisterFilesResult::Status::kRefused);
    options.pairs = {{0, 0}, {0, 1}, {0, 2}};
    r = RegisterVertexFiles(src, src, options);
    EXPECT_EQ(r.status, RegisterFilesResult::Status::kRefused);
    EXPECT_NE(r.message.find("one line"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));

    sink.m_vMessages.clear();
    const std::string missing = (dir.Path() / "none.txt").string();
    r = RegisterVertexFiles(src, missing, {});
    EXPECT_EQ(r.status, RegisterFilesResult::Status::kFailed);
    EXPECT_EQ(sink.m_vMessages, std::vector<std::string>{"Unable to open " + missing});
    // A folder opens but does not read.
    r = RegisterVertexFiles(dir.Path().string(), src, {});
    EXPECT_EQ(r.status, RegisterFilesResult::Status::kFailed);

    // The output's place is taken by a folder: reported, nothing half done.
    fs::create_directories(out);
    options.pairs = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    sink.m_vMessages.clear();
    r = RegisterVertexFiles(src, src, options);
    EXPECT_EQ(r.status, RegisterFilesResult::Status::kFailed);
    ASSERT_EQ(sink.m_vMessages.size(), 1u); // with the reason
    EXPECT_EQ(sink.m_vMessages[0].rfind("Unable to create " + out + ": ", 0), 0u);
    EXPECT_NE(sink.m_vMessages[0].find("Is a directory"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(out));
}
