// Writing a whole file so that a failure never leaves a half-written file:
// the bytes go to a temporary file in the same folder, which is flushed to
// disk and then renamed over the target. On failure the target is untouched
// and the temporary file is removed.
//
// What the target is decides how it is written:
// - a regular file, a link to one, or nothing yet: the atomic way above;
//   the file a link names is replaced and the link stays; a link that names
//   nothing yet creates the file it names;
// - anything else that exists and can be written (a device such as
//   /dev/null, a pipe, a terminal, /dev/stdout): written directly, never
//   replaced; so is a regular file that is this process's standard
//   output or error (/dev/stdout with output redirected to a file): the
//   bytes are added through the stream, the file is not replaced;
// - a folder or a file that cannot be opened for writing: left alone, an
//   error.
// Temporary files are named "<name>.rvsave-<pid>-XXXXXX", or
// ".rvsave-<pid>-XXXXXX" when that would make the name too long. They are
// removed when a save fails, when the process is ended by SIGINT, SIGTERM,
// SIGHUP or SIGQUIT during a save, and, when left behind by a process that
// no longer runs, by the next save in the same folder.
#pragma once

#include <string>
#include <string_view>

// Removes from folder the temporaries of every file (not only of one name)
// that processes no longer running left behind: for a start-up that may
// never save the file whose temporary was left (an autosave of a run that
// was killed).
void RemoveStaleTemporaries(const std::string& folder);

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
    // Written straight to its target (a device, a pipe, this process's
    // output), not through a temporary file.
    bool Direct() const { return m_bDirect; }
    bool Write(std::string_view bytes);
    bool Commit(std::string* error = nullptr);
    // Why the last step failed ("" while all is well).
    const std::string& Error() const { return m_sError; }

private:
    void Fail(const std::string& what, int err);
    void Discard();
    bool OpenDirect();

    std::string m_sPath;
    std::string m_sTemp;
    int m_nFd = -1;
    int m_nTempSlot = -1; // the signal-time clean-up entry of m_sTemp
    bool m_bDirect = false;
    bool m_bFailed = false;
    std::string m_sError;
};

// The longest file name (not path) the writer's temporary name scheme
// assumes the file system allows.
inline constexpr size_t kMaxFileNameBytes = 255;

// Text as written by a text-mode stream on the desktop platform: every "\n"
// becomes "\r\n".
std::string ToCrLf(std::string_view text);
