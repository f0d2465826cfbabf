// Writes the session's autosave on a thread of its own, so that the window
// never waits for a large session to be formatted and flushed to disk. Only
// the newest state is written: a state handed over while an older one is
// being written replaces any other still waiting.
#pragma once

#include "session/SessionFile.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CAutosaveWriter {
public:
    CAutosaveWriter();
    ~CAutosaveWriter(); // writes what is waiting, then stops

    // The session to write to path (an empty session removes the file).
    void Submit(std::string path, SessionDocument session);
    // Returns once everything handed over is written.
    void Flush();
    // Waits for what is in hand, then removes the file.
    void Remove(const std::string& path);

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<std::pair<std::string, SessionDocument>> m_pending;
    bool m_bBusy = false;
    bool m_bStop = false;
    std::thread m_thread; // last: starts once the rest exists
};
