#include "app/AutosaveWriter.h"

#include "base/AtomicFile.h"

#include <filesystem>

CAutosaveWriter::CAutosaveWriter() : m_thread([this] { Run(); }) {}

CAutosaveWriter::~CAutosaveWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CAutosaveWriter::Submit(std::string path, SessionDocument session) {
    {
        std::lock_guard lock(m_mutex);
        m_pending.emplace(std::move(path), std::move(session));
    }
    m_wake.notify_all();
}

void CAutosaveWriter::Flush() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_bBusy; });
}

void CAutosaveWriter::Remove(const std::string& path) {
    {
        std::lock_guard lock(m_mutex);
        m_pending.reset();
    }
    Flush();
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

void CAutosaveWriter::Run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_pending || m_bStop; });
        if (!m_pending) {
            return; // stopping with nothing left to write
        }
        auto [path, session] = std::move(*m_pending);
        m_pending.reset();
        m_bBusy = true;
        lock.unlock();
        std::error_code ec;
        if (session.measurements.empty()) {
            std::filesystem::remove(path, ec);
        } else {
            std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
            WriteFileAtomically(path, SessionText(session, path));
        }
        lock.lock();
        m_bBusy = false;
        m_idle.notify_all();
    }
}
