// The downloader of the web update over Qt Network. Synchronous: Download
// runs a local event loop until the transfer ends. Creates a
// QCoreApplication for the call when the process has none (the command-line
// tool), never a GUI application.
#pragma once

#include "imagedb/WebUpdate.h"

class QUrl;

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

// Every download is bounded in size and time: a body over the size limit
// (judged from Content-Length first, then as it arrives) is refused, a
// download that takes longer than the deadline or moves less than the
// minimum rate over the rate window is given up, each with a message that
// says which. The body goes to a temporary file as it arrives, so memory
// stays small whatever the server sends. Redirects are followed only to http
// and https addresses (never from https to http), at most nMaxRedirects
// times.
// 512 MB, or the RANVISTA_DOWNLOAD_LIMIT_MB environment variable when it
// is a positive number.
int64_t DefaultDownloadLimitBytes();

class HttpDownloader : public IDownloader {
public:
    struct Options {
        // The download fails when no data moves for this long.
        int nTransferTimeoutMs = 30000;
        // The largest body accepted.
        int64_t nMaxBodyBytes = DefaultDownloadLimitBytes();
        // The whole download must be done within this time.
        int64_t nDeadlineMs = 30 * 60 * 1000;
        // Less than nMinBytesPerSecond on average over any rate window gives up.
        int64_t nMinBytesPerSecond = 1024;
        int64_t nRateWindowMs = 30000;
        int nMaxRedirects = 10;
        // Called as data arrives: bytes received, bytes expected (-1 when
        // the server did not say).
        std::function<void(int64_t received, int64_t total)> onProgress;
        // Set (from a progress callback or a button) to stop the download.
        const std::atomic<bool>* pCancel = nullptr;
        // Whether the local event loop handles user input while it waits
        // (a progress dialog with a Cancel button needs it).
        bool bProcessUserInput = false;
    };

    HttpDownloader() = default;
    explicit HttpDownloader(Options options) : m_options(std::move(options)) {}

    // Never throws: running out of memory is a failed download.
    DownloadResult Download(const std::string& url) override;

private:
    DownloadResult Fetch(const QUrl& url, int redirects,
                         std::chrono::steady_clock::time_point deadlineAt);

    Options m_options;
};
