// ranvista-cli under unlucky and hostile input: damaged and unreadable
// stores, files that cannot be read, endless inputs, outputs that fail, and
// numbers that are not numbers.
#include "tests/support/CliRunner.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

const std::string kL = "/imgs/1N128287142EFF0300P1800L0M1.IMG";
const std::string kR = "/imgs/1N128287142EFF0300P1800R0M1.IMG";
const char* const kQuery = "a::1::2::::::::::::::1::0::0::0\n"
                           "b::3::4::::::::::::::1::0::0::0\n"
                           "c::5::6::::::::::::::1::0::0::0\n";

class CliSafety : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(dir / "q.txt", kQuery);
        ASSERT_EQ(RunCli("db import " + Q(dir / "q.txt") + Db()).status, 0);
    }
    std::string Db() const { return " --db " + Q(store); }
    std::vector<std::string> Backups() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir.Path())) {
            if (e.path().filename().string().rfind("ImgBinDat.damaged-", 0) == 0) {
                out.push_back(e.path().string());
            }
        }
        return out;
    }

    TempDir dir;
    std::string store = dir / "ImgBinDat";
};

} // namespace

TEST_F(CliSafety, ADamagedStoreMakesEverySavingCommandExit1UnlessForced) {
    std::string damaged = ReadBytes(store);
    damaged[5 + 79] = 9; // the key tag of the second record
    WriteBytes(dir / "update.bin",
               store::Count(1) + store::Record(MakeRecord("u", 1)) + store::Tag(0));
    const std::vector<std::string> commands = {"import " + Q(dir / "q.txt"),
                                               "init " + Q(dir / "q.txt"),
                                               "merge " + Q(dir / "update.bin"), "reload"};
    for (const std::string& command : commands) {
        WriteBytes(store, damaged);
        auto r = RunCliWithErr("db " + command + Db());
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find(store + " is damaged: 1 of 3 records read (an unknown item tag 9 at "
                                     "byte 84)"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(ReadBytes(store), damaged) << command;
        EXPECT_TRUE(Backups().empty()) << command;

        r = RunCliWithErr("db " + command + Db() + " --force");
        EXPECT_EQ(r.status, 0) << command << r.err;
        const auto backups = Backups();
        ASSERT_EQ(backups.size(), 1u) << command;
        EXPECT_EQ(ReadBytes(backups[0]), damaged);
        EXPECT_NE(r.err.find("It was kept as " + backups[0]), std::string::npos) << r.err;
        fs::remove(backups[0]);
    }
    // Reading commands go on with the records read, and say so.
    WriteBytes(store, damaged);
    const auto r = RunCliWithErr("db info --json" + Db());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.Json()["entries"], 1);
    EXPECT_NE(r.err.find("is damaged"), std::string::npos);
}

TEST_F(CliSafety, FilesThatCannotBeReadChangeNothingAndExit1) {
    const std::string before = ReadBytes(store);
    for (const char* sub : {"init", "import"}) {
        const auto r = RunCliWithErr(std::string("db ") + sub + " " + Q(dir / "typo.txt") + Db());
        EXPECT_EQ(r.status, 1) << sub;
        EXPECT_NE(r.err.find("Unable to open " + (dir / "typo.txt")), std::string::npos);
        EXPECT_EQ(ReadBytes(store), before) << sub;
    }
    // A merge of anything but whole store data merges nothing.
    WriteBytes(dir / "text.txt", kQuery);
    WriteBytes(dir / "empty.bin", "");
    WriteBytes(dir / "cut.bin", before.substr(0, before.size() - 30));
    for (const char* file : {"text.txt", "empty.bin", "cut.bin", "missing.bin"}) {
        const auto r = RunCliWithErr("db merge " + Q(dir / file) + Db());
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_FALSE(r.err.empty()) << file;
        EXPECT_EQ(ReadBytes(store), before) << file;
    }
}

TEST_F(CliSafety, AStoreThatCannotBeReadStopsEveryCommandWithStatus1) {
    const std::string folder = " --db " + Q(dir.Path().string());
    for (const char* command : {"db info", "db find a", "db dump", "db reload"}) {
        EXPECT_EQ(RunCli(command + folder).status, 1) << command;
    }
    const std::string measure =
        "measure --left " + kL + " --right " + kR + " --pixels 512,700,480,700" + folder;
    EXPECT_EQ(RunCli(measure).status, 1);
    // A missing store is an empty one, not an error.
    EXPECT_EQ(RunCli("db info --db " + Q(dir / "none")).status, 0);
}

TEST_F(CliSafety, OutputThatCannotBeWrittenIsAWriteError) {
    for (const char* command : {"db dump", "db info --json", "db find a"}) {
        const auto r = RunCliWithErr(std::string(command) + Db() + " >/dev/full");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("write error"), std::string::npos) << command;
    }
}

TEST_F(CliSafety, EndlessInputsAreRefusedNamingFileAndLine) {
    // Each of these used to read /dev/zero until memory ran out.
    const std::string tooLong = "/dev/zero, line 1: the line is longer than 65536 bytes";
    auto r = RunCliWithErr("measure --batch /dev/zero --db " + Q(dir / "none"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(tooLong), std::string::npos) << r.err;
    r = RunCliWithErr("measure --records /dev/zero --left a --right b --pixels 1,2,3,4 --db " +
                      Q(dir / "none"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("/dev/zero, line 1: the line is longer than 65536 bytes"),
              std::string::npos)
        << r.err;
    WriteBytes(dir / "v.txt", "1 2 3\n4 5 6\n7 8 10\n");
    r = RunCliWithErr("transform " + Q(dir / "v.txt") + " /dev/zero 0 1 2 0 1 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(tooLong), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "v_trnsfrmd.txt"));
    const std::string before = ReadBytes(store);
    r = RunCliWithErr("db import /dev/zero" + Db());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(ReadBytes(store), before);
}

TEST_F(CliSafety, NumbersMustBeFiniteAndDecimal) {
    const auto measure = [&](const std::string& pixels, const std::string& more = "") {
        return RunCli("measure --left " + kL + " --right " + kR + " --pixels " + pixels + more +
                      " --db " + Q(dir / "none") + " --json")
            .status;
    };
    for (const char* bad : {"nan,700,480,700", "512,inf,480,700", "512,700,-infinity,700",
                            "0x10,700,480,700", "512,700,480,1e999"}) {
        EXPECT_EQ(measure(bad), 2) << bad;
    }
    EXPECT_EQ(measure("512,700,480,700", " --last-position nan,0,0"), 2);
    EXPECT_EQ(measure("512,700,480,700", " --az-corr inf,0"), 2);
    // The smallest number a double holds is a number (its rays then do not
    // meet: a failed calculation, not a bad argument).
    EXPECT_EQ(measure("4.9e-324,700,480,700"), 1);
    EXPECT_EQ(measure("512,700,480,700", " --az-corr 4.9e-324,0"), 0);
}

TEST_F(CliSafety, AByteOrderMarkDoesNotSpoilTheFirstLine) {
    WriteBytes(dir / "bom.txt", "\xEF\xBB\xBFwith-bom::7::8::::::::::::::1::0::0::0\n");
    ASSERT_EQ(RunCli("db import " + Q(dir / "bom.txt") + Db()).status, 0);
    EXPECT_EQ(RunCli("db find with-bom --json" + Db()).Json()["azimuth"], 7.0);
    WriteBytes(dir / "batch.txt", "\xEF\xBB\xBF" + kL + "," + kR + ",512,700,480,700\n");
    const auto r =
        RunCliWithErr("measure --batch " + Q(dir / "batch.txt") + " --db " + Q(dir / "none"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("skipped"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
}

TEST_F(CliSafety, ResultsWrittenToStandardOutputArriveThereInsteadOfFailing) {
    WriteBytes(dir / "batch.txt", kL + "," + kR + ",512,700,480,700\n");
    // Standard output is a pipe here: /dev/stdout names it.
    const auto r = RunCliWithErr("measure --batch " + Q(dir / "batch.txt") + " --db " +
                                 Q(dir / "none") + " --log /dev/stdout");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\r\n"), std::string::npos) << r.out; // the log's CR LF lines
}
