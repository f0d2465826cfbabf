#include "geometry/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Fail(std::string* error, const std::string& what, int err) {
    if (error != nullptr) {
        *error = what + ": " + std::strerror(err);
    }
    return false;
}

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
    std::string tmp = path + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) {
        return Fail(error, "cannot create " + path, errno);
    }
    // mkstemp makes the file 0600; give it the usual permissions for a file
    // the user creates.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            close(fd);
            unlink(tmp.c_str());
            return Fail(error, "cannot write " + path, err);
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0) {
        const int err = errno;
        close(fd);
        unlink(tmp.c_str());
        return Fail(error, "cannot write " + path, err);
    }
    if (close(fd) != 0) {
        const int err = errno;
        unlink(tmp.c_str());
        return Fail(error, "cannot write " + path, err);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(tmp.c_str());
        return Fail(error, "cannot replace " + path, err);
    }
    return true;
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
