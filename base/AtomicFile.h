// Writing a whole file so that a failure never leaves a half-written file:
// the bytes go to a temporary file in the same folder, which is flushed to
// disk and then renamed over the target. On failure the target is untouched
// and the temporary file is removed.
#pragma once

#include <string>
#include <string_view>

// Returns true on success; on failure returns false and, when error is given,
// describes what went wrong (the caller words the user's message).
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr);

// The same for a file produced piece by piece, so that a large file never
// has to be held in memory whole:
//     AtomicFileWriter w(path);
//     if (!w.Created()) ...          // the temporary file could not be made
//     w.Write(a); w.Write(b); ...    // false once anything failed
//     w.Commit(&error);              // flush, close, rename over path
// A writer destroyed without a successful Commit removes its temporary file.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Created() const { return m_nFd >= 0; }
    bool Write(std::string_view bytes);
    bool Commit(std::string* error = nullptr);
    // Why the last step failed ("" while all is well).
    const std::string& Error() const { return m_sError; }

private:
    void Fail(const std::string& what, int err);
    void Discard();

    std::string m_sPath;
    std::string m_sTemp;
    int m_nFd = -1;
    bool m_bFailed = false;
    std::string m_sError;
};

// Text as written by a text-mode stream on the desktop platform: every "\n"
// becomes "\r\n".
std::string ToCrLf(std::string_view text);
