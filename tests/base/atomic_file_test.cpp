// Whole-file writes that never leave a half-written file behind.
#include "base/AtomicFile.h"

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

TEST(AtomicFile, WritesThroughALinkAndLeavesUnwritableTargetsAlone) {
    const fs::path dir = fs::temp_directory_path() / ("rv_atomic_ln_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path real = dir / "real.bin";
    const fs::path link = dir / "link.bin";
    ASSERT_TRUE(WriteFileAtomically(real.string(), "old"));
    fs::create_symlink(real, link);
    ASSERT_TRUE(WriteFileAtomically(link.string(), "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(real), "new");
    // A replaced file keeps its permissions.
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteFileAtomically(real.string(), "newer"));
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A read-only file is not replaced (the superuser may write it anyway).
    fs::permissions(real, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (geteuid() != 0) {
        AtomicFileWriter writer(real.string());
        EXPECT_FALSE(writer.Created());
        EXPECT_FALSE(writer.Commit());
        EXPECT_EQ(Slurp(real), "newer");
    }
    fs::remove_all(dir);
}

TEST(AtomicFile, TextModeLineEnds) {
    EXPECT_EQ(ToCrLf("\na\nb\n"), "\r\na\r\nb\r\n");
    EXPECT_EQ(ToCrLf("no breaks"), "no breaks");
}
