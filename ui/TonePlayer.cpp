#include "ui/TonePlayer.h"

#include <QApplication>
#include <QMetaObject>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <mutex>
#include <vector>

namespace {
constexpr unsigned kSampleRate = 44100;

// ALSA prints its complaints to stderr; a missing sound card is not news.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void BeepOnGuiThread() {
    if (QCoreApplication::instance() != nullptr) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QApplication::beep(); }, Qt::QueuedConnection);
    }
}

// The device ready for 16-bit mono samples, or nullptr when it does not open.
// Opened without blocking: a busy device must not hold the worker forever.
snd_pcm_t* OpenDevice(const std::string& name) {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return nullptr;
    }
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kSampleRate,
                           1, 100000) < 0) {
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

std::vector<short> Samples(int frequencyHz, int durationMs) {
    const std::size_t n = static_cast<std::size_t>(kSampleRate) *
                          static_cast<std::size_t>(std::max(durationMs, 0)) / 1000u;
    const std::size_t ramp = std::min<std::size_t>(n / 2, kSampleRate / 500); // 2 ms, no clicks
    std::vector<short> out(n);
    const double step = 2.0 * 3.14159265358979323846 * frequencyHz / kSampleRate;
    for (std::size_t i = 0; i < n; ++i) {
        double gain = 0.3;
        if (i < ramp) {
            gain *= static_cast<double>(i) / ramp;
        } else if (n - i <= ramp) {
            gain *= static_cast<double>(n - i) / ramp;
        }
        out[i] = static_cast<short>(std::lround(32767.0 * gain * std::sin(step * i)));
    }
    return out;
}
void PlayTone(snd_pcm_t* pcm, int frequencyHz, int durationMs) {
    const std::vector<short> samples = Samples(frequencyHz, durationMs);
    std::size_t done = 0;
    while (done < samples.size()) {
        const snd_pcm_sframes_t n =
            snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
        if (n < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0) {
                return;
            }
            continue;
        }
        done += static_cast<std::size_t>(n);
    }
}
} // namespace

CTonePlayer::CTonePlayer(std::string device, std::function<void()> fallback)
    : m_sDevice(std::move(device)), m_fnFallback(std::move(fallback)) {
    if (!m_fnFallback) {
        m_fnFallback = BeepOnGuiThread;
    }
    static std::once_flag silence;
    std::call_once(silence, [] { snd_lib_error_set_handler(SilentAlsaErrors); });
    m_worker = std::thread([this] { Run(); });
}

CTonePlayer::~CTonePlayer() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
        m_queue.clear();
    }
    m_cv.notify_all();
    m_worker.join();
}

void CTonePlayer::Play(int frequencyHz, int durationMs) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(Tone{frequencyHz, durationMs});
    }
    m_cv.notify_all();
}

void CTonePlayer::WaitIdle() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_bStop || (m_queue.empty() && !m_bBusy); });
}

bool CTonePlayer::NextTone(Tone& tone) {
    std::lock_guard lock(m_mutex);
    if (m_bStop || m_queue.empty()) {
        return false;
    }
    tone = m_queue.front();
    m_queue.pop_front();
    return true;
}

void CTonePlayer::Run() {
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [this] { return m_bStop || !m_queue.empty(); });
            if (m_bStop) {
                return;
            }
            m_bBusy = true;
        }
        // One device for every tone queued meanwhile, so they follow each
        // other without a gap.
        snd_pcm_t* pcm = OpenDevice(m_sDevice);
        Tone tone{};
        while (NextTone(tone)) {
            if (pcm != nullptr) {
                PlayTone(pcm, tone.frequencyHz, tone.durationMs);
            } else {
                m_fnFallback();
            }
        }
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            stopping = m_bStop;
        }
        if (pcm != nullptr) {
            if (stopping) {
                snd_pcm_drop(pcm);
            } else {
                snd_pcm_drain(pcm);
            }
            snd_pcm_close(pcm);
        }
        {
            std::lock_guard lock(m_mutex);
            m_bBusy = false;
        }
        m_cv.notify_all();
    }
}
