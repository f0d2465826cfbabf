#include "base/AtomicFile.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kTempMarker = ".rvsave-";
// A temporary of a process that no longer runs is removed only once it has
// not changed for this long (a process in another PID namespace may share
// the folder).
constexpr time_t kStaleSeconds = 10;

// The temporaries being written, for removal when a signal ends the process.
// Fixed storage: the signal handler may only read it.
struct TempSlot {
    std::atomic<bool> used{false};
    std::array<char, 4096> path{};
};
std::array<TempSlot, 16> g_tempSlots;

extern "C" void RemoveTempsAndDie(int sig) {
    for (TempSlot& slot : g_tempSlots) {
        if (slot.used.load(std::memory_order_acquire)) {
            unlink(slot.path.data());
        }
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

// Installs the clean-up for the signals that end a process by default, where
// nobody else handles them.
void InstallSignalCleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            struct sigaction old {};
            if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
                (old.sa_flags & SA_SIGINFO) != 0) {
                continue;
            }
            struct sigaction act {};
            act.sa_handler = RemoveTempsAndDie;
            sigemptyset(&act.sa_mask);
            sigaction(sig, &act, nullptr);
        }
    });
}

int RegisterTemp(const std::string& path) {
    if (path.size() >= TempSlot{}.path.size()) {
        return -1;
    }
    InstallSignalCleanup();
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    for (size_t i = 0; i < g_tempSlots.size(); ++i) {
        TempSlot& slot = g_tempSlots[i];
        if (!slot.used.load(std::memory_order_relaxed)) {
            std::memcpy(slot.path.data(), path.c_str(), path.size() + 1);
            slot.used.store(true, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void UnregisterTemp(int slot) {
    if (slot >= 0) {
        g_tempSlots[static_cast<size_t>(slot)].used.store(false, std::memory_order_release);
    }
}

// The process id in a temporary's name ("<prefix>.rvsave-<pid>-XXXXXX"),
// when the name is one of ours for a file called name (or a short one).
// An empty name accepts a temporary of any file.
std::optional<pid_t> TempOwner(std::string_view entry, std::string_view name) {
    const size_t at = entry.rfind(kTempMarker);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view prefix = entry.substr(0, at);
    if (!name.empty() && !prefix.empty() && prefix != name) {
        return std::nullopt;
    }
    std::string_view rest = entry.substr(at + std::strlen(kTempMarker));
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || rest.size() - dash - 1 != 6) {
        return std::nullopt;
    }
    pid_t pid = 0;
    for (const char ch : rest.substr(0, dash)) {
        if (ch < '0' || ch > '9' || pid > 1000000000) {
            return std::nullopt;
        }
        pid = pid * 10 + (ch - '0');
    }
    return pid;
}

// Removes the temporaries for name in folder left by processes that no
// longer run.
void RemoveStaleTemps(const std::string& folder, const std::string& name) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const time_t now = std::time(nullptr);
    while (const dirent* e = readdir(dir)) {
        const auto pid = TempOwner(e->d_name, name);
        if (!pid || *pid == getpid() || (kill(*pid, 0) == 0 || errno != ESRCH)) {
            continue;
        }
        struct stat st {};
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            now - st.st_mtime >= kStaleSeconds) {
            unlinkat(dirfd(dir), e->d_name, 0);
        }
    }
    closedir(dir);
}

// The standard stream (1 or 2) that is the regular file st, if any: writing
// "/dev/stdout" when standard output goes to a file must add to that file,
// not replace it.
int StandardStreamOf(const struct stat& st) {
    for (const int fd : {1, 2}) {
        struct stat stream {};
        if (fstat(fd, &stream) == 0 && S_ISREG(stream.st_mode) && stream.st_dev == st.st_dev &&
            stream.st_ino == st.st_ino) {
            return fd;
        }
    }
    return -1;
}

// Follows a chain of links to the path it ends at, which may not exist yet
// (a link naming a file still to be made). Nothing when the chain loops.
std::optional<std::string> FollowLinks(std::string path) {
    std::error_code ec;
    for (int hops = 0; hops < 40; ++hops) {
        if (!fs::is_symlink(fs::symlink_status(path, ec))) {
            return path;
        }
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) {
            return std::nullopt;
        }
        path = target.is_absolute() ? target.string()
                                    : (fs::path(path).parent_path() / target).string();
    }
    return std::nullopt;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(std::string path) : m_sPath(std::move(path)) {
    struct stat existing {};
    const bool exists = stat(m_sPath.c_str(), &existing) == 0;
    // Devices, pipes and the like are written to, never replaced.
    if (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode)) {
        m_bDirect = true;
        OpenDirect();
        return;
    }
    if (exists && S_ISREG(existing.st_mode)) {
        if (const int stream = StandardStreamOf(existing); stream >= 0) {
            // Through the stream itself, after what it holds already.
            std::fflush(stream == 1 ? stdout : stderr);
            m_bDirect = true;
            m_nFd = fcntl(stream, F_DUPFD_CLOEXEC, 3);
            if (m_nFd < 0) {
                Fail("cannot write " + m_sPath, errno);
            }
            return;
        }
    }
    // A link is written through, as an ordinary save would: the file it
    // names is replaced (or created), the link stays.
    if (const auto real = FollowLinks(m_sPath)) {
        m_sPath = *real;
    } else {
        Fail("cannot open " + m_sPath, ELOOP);
        return;
    }
    // A target that exists but cannot be opened for writing (a folder, a
    // read-only file) is not replaced behind the user's back.
    bool replacing = false;
    if (exists) {
        const int probe = open(m_sPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) {
            Fail("cannot open " + m_sPath, errno);
            return;
        }
        replacing = fstat(probe, &existing) == 0;
        close(probe);
    }
    const fs::path target(m_sPath);
    const std::string name = target.filename().string();
    const std::string folder = target.parent_path().string();
    RemoveStaleTemps(folder, name);
    const std::string suffix = kTempMarker + std::to_string(getpid()) + "-XXXXXX";
    // A name near the limit gets a short temporary name, so that only the
    // target's own name can be too long.
    const std::string tempName =
        name.size() + suffix.size() <= kMaxFileNameBytes ? name + suffix : suffix;
    m_sTemp = (folder.empty() ? fs::path(tempName) : target.parent_path() / tempName).string();
    m_nFd = mkstemp(m_sTemp.data());
    if (m_nFd < 0) {
        Fail("cannot create " + m_sPath, errno);
        return;
    }
    m_nTempSlot = RegisterTemp(m_sTemp);
    // mkstemp makes the file 0600; a replaced file keeps its permissions,
    // a new one gets the usual permissions for a file the user creates.
    if (replacing) {
        fchmod(m_nFd, existing.st_mode & 07777);
        return;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(m_nFd, 0666 & ~mask);
}

bool AtomicFileWriter::OpenDirect() {
    do {
        m_nFd = open(m_sPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    } while (m_nFd < 0 && errno == EINTR);
    if (m_nFd < 0) {
        Fail("cannot open " + m_sPath, errno);
        return false;
    }
    return true;
}

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

void AtomicFileWriter::Fail(const std::string& what, int err) {
    m_bFailed = true;
    m_sError = what + ": " + std::strerror(err);
}

void AtomicFileWriter::Discard() {
    if (m_nFd >= 0) {
        close(m_nFd);
        m_nFd = -1;
        if (!m_bDirect) {
            unlink(m_sTemp.c_str());
        }
    }
    UnregisterTemp(m_nTempSlot);
    m_nTempSlot = -1;
}

bool AtomicFileWriter::Write(std::string_view bytes) {
    if (m_bFailed) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_nFd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("cannot write " + m_sPath, errno);
            Discard();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::Commit(std::string* error) {
    if (m_nFd < 0 && !m_bFailed) {
        return true; // committed already
    }
    if (m_bDirect && !m_bFailed) {
        // Nothing to rename; a pipe or device cannot be synced.
        const int fd = m_nFd;
        m_nFd = -1;
        if (close(fd) != 0) {
            Fail("cannot write " + m_sPath, errno);
        }
    }
    if (!m_bFailed && m_nFd >= 0 && fsync(m_nFd) != 0) {
        Fail("cannot write " + m_sPath, errno);
    }
    if (!m_bFailed && m_nFd >= 0) {
        const int fd = m_nFd;
        m_nFd = -1;
        if (close(fd) != 0) {
            Fail("cannot write " + m_sPath, errno);
            unlink(m_sTemp.c_str());
        } else if (std::rename(m_sTemp.c_str(), m_sPath.c_str()) != 0) {
            Fail("cannot replace " + m_sPath, errno);
            unlink(m_sTemp.c_str());
        }
    }
    Discard();
    if (m_bFailed && error != nullptr) {
        *error = m_sError;
    }
    return !m_bFailed;
}

void RemoveStaleTemporaries(const std::string& folder) {
    RemoveStaleTemps(folder, "");
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
    AtomicFileWriter writer(path);
    writer.Write(bytes);
    return writer.Commit(error);
}

std::string ToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char ch : text) {
        if (ch == '\n') {
            out.push_back('\r');
        }
        out.push_back(ch);
    }
    return out;
}
