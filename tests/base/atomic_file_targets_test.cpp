// What the atomic writer does with targets that are not plain files, with
// names near the limit, and with temporaries that a failure, a signal or a
// dead process left behind.
#include "base/AtomicFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "rv_atomic_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    size_t Entries() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(path), fs::directory_iterator()));
    }
    fs::path path;
};

std::string Slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string DrainNonBlocking(int fd) {
    std::string out;
    char buf[256];
    ssize_t n = 0;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// Runs body in a child process; true when it exited with status 0.
bool RunInChild(const std::function<bool()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

TEST(AtomicFileTargets, PipesDevicesAndLinksToThemAreWrittenNotReplaced) {
    Folder dir;
    // A FIFO, and a link to it, with a reader waiting.
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, dir / "to-fifo");
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    EXPECT_TRUE(WriteFileAtomically(fifo, "one ", &error)) << error;
    EXPECT_TRUE(WriteFileAtomically(dir / "to-fifo", "two", &error)) << error;
    EXPECT_EQ(DrainNonBlocking(reader), "one two");
    close(reader);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(dir / "to-fifo"));

    // A pipe by its /proc/self/fd name (what ">(gzip > x.gz)" passes).
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    EXPECT_TRUE(WriteFileAtomically("/proc/self/fd/" + std::to_string(fds[1]), "piped", &error))
        << error;
    close(fds[1]);
    EXPECT_EQ(DrainNonBlocking(fds[0]), "piped");
    close(fds[0]);
    EXPECT_EQ(dir.Entries(), 2u); // no temporary anywhere

    // The null device. As root the writer could replace it, so a copy of it
    // in the folder stands in; an ordinary user writes /dev/null itself.
    if (geteuid() == 0) {
        const std::string null = dir / "null";
        ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        EXPECT_TRUE(WriteFileAtomically(null, "gone", &error)) << error;
        EXPECT_TRUE(fs::is_character_file(null));
        EXPECT_EQ(dir.Entries(), 3u);
        // And as an ordinary user, in a child that gives up root.
        const passwd* nobody = getpwnam("nobody");
        if (nobody != nullptr) {
            EXPECT_TRUE(RunInChild([&] {
                return setgid(nobody->pw_gid) == 0 && setuid(nobody->pw_uid) == 0 &&
                       WriteFileAtomically("/dev/null", "gone");
            }));
        }
    } else {
        EXPECT_TRUE(WriteFileAtomically("/dev/null", "gone", &error)) << error;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(AtomicFileTargets, ADanglingLinkGetsItsFileCreatedAndStaysALink) {
    Folder dir;
    fs::create_directories(dir.path / "sub");
    fs::create_symlink("sub/made.txt", dir / "link");
    fs::create_symlink("link", dir / "link-to-link");
    ASSERT_TRUE(WriteFileAtomically(dir / "link-to-link", "made"));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-link"));
    EXPECT_EQ(Slurp(dir / "sub/made.txt"), "made");
    // A loop of links is an error, not a hang.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_FALSE(WriteFileAtomically(dir / "loop-a", "x"));
    EXPECT_TRUE(fs::is_symlink(dir / "loop-a"));
}

TEST(AtomicFileTargets, NamesNearTheLimitSaveAndTooLongOnesSayWhy) {
    Folder dir;
    // The temporary's suffix would push this name over the limit.
    const std::string longName(kMaxFileNameBytes - 3, 'n');
    std::string error;
    EXPECT_TRUE(WriteFileAtomically(dir / longName, "long", &error)) << error;
    EXPECT_EQ(Slurp(dir / longName), "long");
    EXPECT_EQ(dir.Entries(), 1u);
    EXPECT_FALSE(WriteFileAtomically(dir / std::string(kMaxFileNameBytes + 1, 'n'), "x", &error));
    EXPECT_NE(error.find("File name too long"), std::string::npos) << error;
    EXPECT_EQ(dir.Entries(), 1u);
}

TEST(AtomicFileTargets, ASignalDuringASaveLeavesNoTemporaryAndTheOldFile) {
    Folder dir;
    const std::string target = dir / "store";
    ASSERT_TRUE(WriteFileAtomically(target, "old"));
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        const pid_t pid = fork();
        if (pid == 0) {
            AtomicFileWriter writer(target);
            writer.Write("half of the new");
            raise(sig);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
        EXPECT_EQ(dir.Entries(), 1u) << "signal " << sig;
        EXPECT_EQ(Slurp(target), "old");
    }
}

TEST(AtomicFileTargets, TemporariesOfProcessesThatEndedAreRemovedAtTheNextSave) {
    Folder dir;
    const std::string target = dir / "out.txt";
    // A process killed outright (SIGKILL cannot be caught) leaves one.
    const pid_t pid = fork();
    if (pid == 0) {
        AtomicFileWriter writer(target);
        writer.Write("unfinished");
        raise(SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::vector<fs::path> left;
    for (const auto& e : fs::directory_iterator(dir.path)) {
        left.push_back(e.path());
    }
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left[0].filename().string().find("out.txt.rvsave-" + std::to_string(pid) + "-"),
              std::string::npos);
    // Someone else's file with a similar name, and one of a running process,
    // are left alone.
    std::ofstream(dir / "out.txt.notes") << "mine";
    const std::string running = dir / ("out.txt.rvsave-" + std::to_string(getppid()) + "-abcdef");
    std::ofstream(running) << "busy";
    for (const auto& p : {left[0], fs::path(running)}) {
        fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    ASSERT_TRUE(WriteFileAtomically(target, "done"));
    EXPECT_FALSE(fs::exists(left[0]));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(dir / "out.txt.notes"));
    EXPECT_EQ(Slurp(target), "done");
}

TEST(AtomicFileTargets, TemporariesOfAnyFileLeftByEndedProcessesGoAtStartUp) {
    Folder dir;
    // A killed autosave of another (ended) run: no later save of that name
    // will ever come to clear it.
    const pid_t pid = fork();
    if (pid == 0) {
        AtomicFileWriter writer(dir / "autosave-1.rvsession");
        writer.Write("half a session");
        raise(SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const std::string running = dir / ("other.rvsave-" + std::to_string(getppid()) + "-abcdef");
    std::ofstream(running) << "busy";
    std::ofstream(dir / "autosave-1.rvsession.notes") << "mine";
    for (const auto& e : fs::directory_iterator(dir.path)) {
        fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    ASSERT_EQ(dir.Entries(), 3u);
    RemoveStaleTemporaries(dir.path.string());
    EXPECT_EQ(dir.Entries(), 2u);
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(dir / "autosave-1.rvsession.notes"));
}

TEST(AtomicFileTargets, AStandardStreamThatIsAFileIsAddedToNotReplaced) {
    Folder dir;
    const std::string file = dir / "out.txt";
    // As "command --log /dev/stdout > out.txt": the command's own output
    // first, then the log through the same stream.
    std::fflush(stdout); // nothing of this process's own output in the child
    EXPECT_TRUE(RunInChild([&] {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0) {
            return false;
        }
        std::printf("result line\n"); // still buffered when the log is written
        return WriteFileAtomically("/dev/stdout", "log line\n") && std::fflush(stdout) == 0;
    }));
    EXPECT_EQ(Slurp(file), "result line\nlog line\n");
    EXPECT_EQ(dir.Entries(), 1u);
}
