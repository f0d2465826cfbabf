// ranvista-cli db, run as a user would, against stores and query files in a
// temporary folder and a real HTTP server.
#include "tests/support/CliRunner.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

class CliDb : public ::testing::Test {
protected:
    std::string Db() const { return " --db " + Q(store); }
    std::string File(const std::string& name, const std::string& text) {
        WriteBytes(dir / name, text);
        return Q(dir / name);
    }

    TempDir dir;
    std::string store = dir / "ImgBinDat";
};

const char* const kQuery =
    "/data/2N130012345EFF0300P1800L0M1.IMG::10.5::-3.25::a::b::c::d::e::f::0.5::0.5::0.5::0.5\n"
    "\\x\\Two.Dots.IMG::1e-300::-0::::::::::::::1::0::0::0\n"
    "NLB_397586934EDR_F0010008AUT_04096M1.IMG::0.1::0.2::::::::::::::0.7::-0.1::0.3::1e300\n"
    "\xC9t\xE9::1::2::::::::::::::1::0::0::0\n";

} // namespace

TEST_F(CliDb, MissingStoreIsEmptyAndImportFindDumpInitRoundTrip) {
    auto r = RunCli("db info --json" + Db());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.Json()["entries"], 0);
    EXPECT_NE(RunCliWithErr("db info" + Db()).err.find("Unable to open " + store),
              std::string::npos);
    EXPECT_EQ(RunCli("db info" + Db()).out, "Image Database Size= 0 Entries\n");

    const std::string query = File("q.txt", kQuery);
    r = RunCli("db import " + query + " " + Q(dir / "missing.txt") + Db() + " --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.Json()["entries"], 4);

    r = RunCli("db find --json /imgs/2n130012345eff0300p1800l0m1.jpg" + Db());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.Json(), nlohmann::json::parse(R"({"key":"2n130012345eff0300p1800l0m1",
        "attitude":[0.5,0.5,0.5,0.5],"azimuth":10.5,"elevation":-3.25})"));
    // The long Navcam name is found after the store kept 27 bytes of it.
    r = RunCli("db find NLB_397586934EDR_F0010008AUT_04096M1.IMG --json" + Db());
    EXPECT_EQ(r.Json()["key"], "nlb_397586934edr_f0010008au");
    EXPECT_EQ(RunCli("db find two.dots.img --json" + Db()).Json()["azimuth"], 1e-300);
    r = RunCli("db find nothing --json" + Db());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.Json().is_null());

    r = RunCli("db dump --json" + Db());
    ASSERT_EQ(r.status, 0);
    const auto records = r.Json()["records"];
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3]["key"], "\xC3\x89t\xC3\xA9"); // Latin-1 bytes C9 74 E9
    EXPECT_EQ(records[3]["key_hex"], "c974e9");
    EXPECT_EQ(records[0]["key"], "2n130012345eff0300p1800l0m1");

    // A dump read back by init rebuilds the very same store.
    r = RunCli("db dump" + Db());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
    const std::string dump = File("dump.txt", r.out);
    const std::string rebuilt = dir / "Rebuilt";
    r = RunCli("db init " + dump + " --db " + Q(rebuilt));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadBytes(rebuilt), ReadBytes(store));
}

TEST_F(CliDb, AMalformedQueryFileChangesNoStore) {
    RunCli("db import " + File("good.txt", kQuery) + Db());
    const std::string before = ReadBytes(store);
    const std::string bad = File("bad.txt", "x::1::2::::::::::::::1::0::0::0\nnot a record\n");
    for (const char* sub : {"import", "init"}) {
        const auto r = RunCli(std::string("db ") + sub + " " + bad + Db());
        EXPECT_EQ(r.status, 2) << sub;
        EXPECT_EQ(ReadBytes(store), before) << sub;
    }
    EXPECT_NE(RunCliWithErr("db init " + bad + Db()).err.find("bad.txt, line 2"),
              std::string::npos);
    EXPECT_EQ(RunCli("db import" + Db()).status, 2); // no files
}

TEST_F(CliDb, MergeAndReloadRewriteTheStore) {
    // Out of order and with a repeated key, as a hand-made file might be.
    WriteBytes(store, store::Count(9) + store::Record(MakeRecord("z", 1, 1)) +
                          store::Record(MakeRecord("m", 2, 2)) +
                          store::Record(MakeRecord("z", 3, 3)) + store::Tag(0));
    auto r = RunCli("db reload --json" + Db());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.Json()["entries"], 2);
    EXPECT_EQ(ReadBytes(store), store::Count(2) + store::Record(MakeRecord("m", 2, 2)) +
                                    store::Record(MakeRecord("z", 3, 3)) + store::Tag(0));

    WriteBytes(dir / "update.bin", store::Count(1) + store::Record(MakeRecord("a", 4, 4)) +
                                       store::Record(MakeRecord("m", 5, 5)));
    r = RunCli("db merge " + Q(dir / "update.bin") + Db() + " --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.Json()["entries"], 3);
    EXPECT_EQ(RunCli("db find M --json" + Db()).Json()["azimuth"], 5.0);
    EXPECT_EQ(RunCli("db merge " + Q(dir / "nope.bin") + Db()).status, 1);

    // A store that exists but cannot be read is never saved over.
    fs::create_directory(dir / "folder");
    EXPECT_EQ(RunCli("db reload --db " + Q(dir / "folder")).status, 1);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

namespace {
// python3 -m http.server serving a folder on 127.0.0.1; stopped at the end.
class PythonHttpServer {
public:
    explicit PythonHttpServer(const std::string& folder) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 2); // no request log in the test output
            execlp("python3", "python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                   "--directory", folder.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // "Serving HTTP on 127.0.0.1 port 41234 (http://127.0.0.1:41234/) ..."
        std::string line;
        char ch = 0;
        while (read(fds[0], &ch, 1) == 1 && ch != '\n') {
            line.push_back(ch);
        }
        close(fds[0]);
        const auto at = line.find("(http://");
        if (at != std::string::npos) {
            m_sBase = line.substr(at + 1, line.find(')', at) - at - 1);
        }
    }
    ~PythonHttpServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Base() const { return m_sBase; } // "http://127.0.0.1:PORT/"

private:
    pid_t m_pid = -1;
    std::string m_sBase;
};
} // namespace

TEST_F(CliDb, UpdateFromAnHttpServer) {
    fs::create_directory(dir / "www");
    WriteBytes(dir / "www/ImageDatabasePostBuild.bin",
               store::Count(1) + store::Record(MakeRecord("web", 7, 8)) + store::Tag(0));
    PythonHttpServer server((dir / "www"));
    setenv("no_proxy", "127.0.0.1,localhost", 1); // a local server, never through a proxy
    ASSERT_FALSE(server.Base().empty());
    RunCli("db import " + File("q.txt", kQuery) + Db());

    auto r = RunCli("db update " + server.Base() + "ImageDatabasePostBuild.bin --json" + Db());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.Json()["entries"], 5);
    const std::string after = ReadBytes(store);

    const std::string missing = server.Base() + "nothing.bin";
    EXPECT_EQ(RunCli("db update " + missing + Db()).status, 1);
    EXPECT_EQ(RunCliWithErr("db update " + missing + Db()).err, "Unable to open " + missing + "\n");
    EXPECT_EQ(ReadBytes(store), after);
}
