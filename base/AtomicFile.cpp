#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

AtomicFileWriter::AtomicFileWriter(std::string path) : m_sPath(std::move(path)) {
    // A link is written through, as an ordinary save would: the file it
    // names is replaced, the link stays.
    std::error_code ec;
    if (std::filesystem::is_symlink(m_sPath, ec)) {
        const auto real = std::filesystem::canonical(m_sPath, ec);
        if (!ec) {
            m_sPath = real.string();
        }
    }
    // A target that exists but cannot be opened for writing (a folder, a
    // read-only file) is not replaced behind the user's back.
    const int probe = open(m_sPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat existing {};
    bool replacing = false;
    if (probe >= 0) {
        replacing = fstat(probe, &existing) == 0;
        close(probe);
    } else if (errno != ENOENT) {
        Fail("cannot open " + m_sPath, errno);
        return;
    }
    m_sTemp = m_sPath + ".XXXXXX";
    m_nFd = mkstemp(m_sTemp.data());
    if (m_nFd < 0) {
        m_bFailed = true;
        Fail("cannot create " + m_sPath, errno);
        return;
    }
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
        unlink(m_sTemp.c_str());
    }
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
    if (!m_bFailed && fsync(m_nFd) != 0) {
        Fail("cannot write " + m_sPath, errno);
    }
    if (!m_bFailed) {
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
