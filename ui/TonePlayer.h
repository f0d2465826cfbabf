// Plays tones on the sound card without ever holding up the caller: tones
// queue up and a worker thread plays them through ALSA. When no device opens
// (no sound card, device busy) each tone falls back to a plain beep.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CTonePlayer {
public:
    // device: the ALSA device name. fallback: run on the worker thread for each
    // tone that could not be played; by default it asks the GUI thread for
    // QApplication::beep().
    explicit CTonePlayer(std::string device = "default", std::function<void()> fallback = {});
    ~CTonePlayer();
    CTonePlayer(const CTonePlayer&) = delete;
    CTonePlayer& operator=(const CTonePlayer&) = delete;

    // Queues one tone; returns at once.
    void Play(int frequencyHz, int durationMs);
    // Blocks until every queued tone has been played or replaced by a beep.
    void WaitIdle();

private:
    struct Tone {
        int frequencyHz;
        int durationMs;
    };
    void Run();
    // The next queued tone; false when the queue is empty or the player stops.
    bool NextTone(Tone& tone);

    std::string m_sDevice;
    std::function<void()> m_fnFallback;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Tone> m_queue;
    bool m_bBusy = false;
    bool m_bStop = false;
    std::thread m_worker;
};
