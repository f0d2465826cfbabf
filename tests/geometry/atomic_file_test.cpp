// Whole-file writes that never leave a half-written file behind.
#include "geometry/AtomicFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {
std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
} // namespace

TEST(AtomicFile, ReplacesWholeAndFailsWithoutTouchingTheTarget) {
    const fs::path dir = fs::temp_directory_path() / ("rv_atomic_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path target = dir / "out.txt";
    ASSERT_TRUE(WriteFileAtomically(target.string(), std::string("first\0x", 7)));
    EXPECT_EQ(Slurp(target), std::string("first\0x", 7));
    ASSERT_TRUE(WriteFileAtomically(target.string(), "second"));
    EXPECT_EQ(Slurp(target), "second");
    // A folder that does not exist: failure, a reason, nothing created.
    std::string error;
    EXPECT_FALSE(WriteFileAtomically((dir / "nope" / "x.txt").string(), "x", &error));
    EXPECT_FALSE(error.empty());
    // The target is a directory: the rename fails, no temporary is left.
    fs::create_directories(dir / "adir");
    EXPECT_FALSE(WriteFileAtomically((dir / "adir").string(), "x", &error));
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 2u); // out.txt and adir
    fs::remove_all(dir);
}

TEST(AtomicFile, TextModeLineEnds) {
    EXPECT_EQ(ToCrLf("\na\nb\n"), "\r\na\r\nb\r\n");
    EXPECT_EQ(ToCrLf("no breaks"), "no breaks");
}
