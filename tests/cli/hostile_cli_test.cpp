// ranvista-cli against hostile products, sessions and outputs: every
// command, in a 256 MB address space, ends with a message and status 1 —
// never a signal — and nothing the user had is replaced.
#include "tests/support/CliRunner.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sys/stat.h>

namespace {

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

// A PDS3 product of a few KB on disk whose label declares 65536 x 65536
// 16-bit pixels over a sparse 8 GB file.
std::string SparseGiant(const TempDir& dir, const std::string& name) {
    const std::string label =
        "PDS_VERSION_ID = PDS3\nRECORD_BYTES = 1000\n^IMAGE = 2\n"
        "INSTRUMENT_ID = \"NAVCAM_LEFT\"\n"
        "GROUP = GEOMETRIC_CAMERA_MODEL\n  MODEL_TYPE = CAHV\n"
        "  MODEL_COMPONENT_1 = (1.0,0.0,-1.5)\n  MODEL_COMPONENT_2 = (1.0,0.0,0.0)\n"
        "  MODEL_COMPONENT_3 = (10.0,500.0,0.0)\n  MODEL_COMPONENT_4 = (8.0,0.0,500.0)\n"
        "  REFERENCE_COORD_SYSTEM_NAME = ROVER_FRAME\nEND_GROUP = GEOMETRIC_CAMERA_MODEL\n"
        "OBJECT = IMAGE\n  LINES = 65536\n  LINE_SAMPLES = 65536\n"
        "  SAMPLE_TYPE = MSB_UNSIGNED_INTEGER\n  SAMPLE_BITS = 16\nEND_OBJECT = IMAGE\nEND\n";
    const std::string path = dir / name;
    WriteBytes(path, label);
    fs::resize_file(path, 1000 + (std::uintmax_t{8} << 30));
    return path;
}

// The command with 256 MB of address space (ulimit -v counts KiB); out holds
// what it said on standard error.
// A PNG of a few dozen bytes whose header declares width x height grey
// pixels (its one IDAT holds nothing): only the header is ever read.
std::string PngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    const auto crc = [](const std::string& bytes) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (const char ch : bytes) {
            c ^= static_cast<unsigned char>(ch);
            for (int k = 0; k < 8; ++k) {
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            }
        }
        return c ^ 0xFFFFFFFFu;
    };
    const auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        return be32(static_cast<std::uint32_t>(data.size())) + type + data + be32(crc(type + data));
    };
    const std::string ihdr = be32(width) + be32(height) + std::string("\x08\x00\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) +
           chunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + chunk("IEND", "");
}

CliResult RunLimited(const std::string& args) {
    return RunShell("ulimit -v 262144; '" + std::string(RANVISTA_CLI) + "' " + args +
                    " 2>&1 >/dev/null");
}

} // namespace

TEST(HostileCli, EveryCommandInA256MegabyteAddressSpaceEndsWithAMessageAndStatus1) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
    TempDir dir;
    const std::string giant = SparseGiant(dir, "giant.IMG");
    const std::string giantRight = SparseGiant(dir, "giant_r.IMG");
    const std::string self = dir.Write("self.xml", "LBLSIZE=24          NL=1");
    const std::string deep =
        dir.Write("deep.json", "{\"imageid\":\"deep\",\"instrument\":" + std::string(100000, '[') +
                                   std::string(100000, ']') + "}");
    const std::string session = dir.Write("s.rvsession", "{\"format\": \"ranvista-session\"}");
    std::string grid;
    for (int i = 0; i < 2000; ++i) {
        grid += std::to_string(i % 20) + " " + std::to_string((i / 20) % 10) + " " +
                std::to_string(i / 200) + "\n";
    }
    const std::string vertices = dir.Write("grid.txt", grid);
    const std::string store = dir / "ImgBinDat";
    const std::string pair = " --left " + Q(giant) + " --right " + Q(giantRight);
    // Each with the status it must end with: 1 for input that cannot be
    // used, 2 where the command line (or a query file named on it) is wrong,
    // 0 where only the giant's model is read, which is sound.
    const std::vector<std::pair<std::string, int>> commands = {
        {"camera " + Q(giant), 0},
        {"camera " + Q(self), 1},
        {"camera " + Q(deep), 1},
        // Both giants carry one model: two cameras at one place, refused
        // with the reason once their models (and nothing else) are read.
        {"measure" + pair + " --pixels 1,1,1,1 --db " + Q(store), 1},
        {"measure --left " + Q(self) + " --right " + Q(deep) + " --pixels 1,1,1,1 --db " + Q(store),
         1},
        {"measure --batch " + Q(dir.Path().string()) + " --db " + Q(store), 1},
        {"measure --batch /proc/self/mem --db " + Q(store), 1},
        {"match" + pair + " --pixel 5,5 --db " + Q(store), 1},
        {"detect" + pair + " --db " + Q(store), 1},
        {"epipolar" + pair + " --pixel 5,5 --db " + Q(store), 1},
        {"export /dev/zero --format csv", 1},
        {"export " + Q(session) + " --format csv -o " + Q(session), 1},
        {"db import /proc/self/mem --db " + Q(store), 2},
        {"db merge /proc/self/mem --db " + Q(store), 1},
        {"register " + Q(vertices) + " " + Q(vertices) + " --auto --tolerance 1e300", 1},
        {"transform " + Q(vertices) + " /dev/zero 0 1 2 0 1 2", 1},
        {"ray OppyNavL 1e400 5", 2},
        {"intersect OppyNavL OppyNavR 1,2 3,4 --record 1,0,0,0,1e999,0", 2},
    };
    for (const auto& [command, status] : commands) {
        const CliResult r = RunLimited(command);
        EXPECT_EQ(r.status, status) << command.substr(0, 200) << "\n" << r.out;
        EXPECT_TRUE(status == 0 || !r.out.empty()) << command.substr(0, 200) << " said nothing";
    }
}

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";

// One measurement of the Opportunity sample pair, as a batch file.
std::string SampleBatch(const TempDir& dir) {
    const std::string l = kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png";
    const std::string r = kSamples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png";
    return dir.Write("batch.txt", l + "," + r + ",386,761,289,758\n");
}

} // namespace

TEST(HostileCli, OutputsNamingAnOpenStreamOrTheSessionItselfLoseNothing) {
    TempDir dir;
    const std::string batch = SampleBatch(dir);
    const std::string db = " --db " + Q(kSamples + "ImgBinDat");
    // --log /dev/stdout with standard output in a file: both arrive.
    const std::string out = dir / "out.txt";
    ASSERT_EQ(RunShell("'" + std::string(RANVISTA_CLI) + "' measure --batch " + Q(batch) + db +
                       " --log /dev/stdout > " + Q(out))
                  .status,
              0);
    const std::string both = ReadBytes(out);
    EXPECT_NE(both.find("\"range\""), std::string::npos) << both;  // the command's output
    EXPECT_NE(both.find("Range"), std::string::npos) << both;      // the log
    EXPECT_LT(both.find("\"range\""), both.find("Range")) << both; // in that order

    // export SESSION -o SESSION (or a link to it, or another session).
    const std::string session = dir / "s.rvsession";
    ASSERT_EQ(RunCli("measure --batch " + Q(batch) + db + " --session " + Q(session)).status, 0);
    const std::string saved = ReadBytes(session);
    fs::create_symlink(session, dir / "link.csv");
    fs::copy_file(session, dir / "other.rvsession");
    for (const std::string& target : {session, dir / "link.csv", dir / "other.rvsession"}) {
        const auto r = RunCliWithErr("export " + Q(session) + " --format csv -o " + Q(target));
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_NE(r.err.find("Nothing was written"), std::string::npos) << r.err;
        EXPECT_EQ(ReadBytes(session), saved);
    }
    EXPECT_EQ(ReadBytes(dir / "other.rvsession"), saved);
    EXPECT_EQ(RunCli("export " + Q(session) + " --format csv -o " + Q(dir / "s.csv")).status, 0);
    EXPECT_NE(ReadBytes(dir / "s.csv").find("\nindex,"), std::string::npos);
    // --binary means something only for PLY.
    EXPECT_EQ(RunCli("export " + Q(session) + " --format csv --binary").status, 2);
}

TEST(HostileCli, SmallerMessagesSayWhatIsTrue) {
    TempDir dir;
    // A bare name has no folder.
    const CliResult decoded = RunCli("decode 1N128287142EFF0300P1800L0M1.IMG --json");
    ASSERT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.Json()["folder"], "");
    EXPECT_EQ(RunCli("decode /imgs/1N128287142EFF0300P1800L0M1.IMG --json").Json()["folder"],
              "/imgs/");
    // A store name that loops is not a new, empty store.
    fs::create_symlink("b", dir / "a");
    fs::create_symlink("a", dir / "b");
    const auto loop = RunCliWithErr("db info --db " + Q(dir / "a"));
    EXPECT_EQ(loop.status, 1);
    EXPECT_NE(loop.err.find("symbolic links"), std::string::npos) << loop.err;
    // A 16384 x 16384 PNG of a few bytes is refused by the one image limit
    // before anything is decoded (it used to take gigabytes in detect).
    const std::string png = dir.Write("big.png", PngHeaderOnly(16384, 16384));
    const auto bigPng =
        RunCliWithErr("detect --left " + Q(png) + " --right " + Q(png) +
                      " --left-camera OppyNavL --right-camera OppyNavR --db " + Q(dir / "none"));
    EXPECT_EQ(bigPng.status, 1);
    EXPECT_NE(bigPng.err.find("too large: 16384"), std::string::npos) << bigPng.err;
    // A product whose pixels cannot be read says why, not "not a PNG".
    const std::string giant = SparseGiant(dir, "giant.IMG");
    const auto detect =
        RunCliWithErr("detect --left " + Q(giant) + " --right " + Q(giant) +
                      " --left-camera OppyNavL --right-camera OppyNavR --db " + Q(dir / "none"));
    EXPECT_EQ(detect.status, 1);
    EXPECT_NE(detect.err.find("too large: 65536"), std::string::npos) << detect.err;
    EXPECT_EQ(detect.err.find("not a readable PNG"), std::string::npos) << detect.err;
}
