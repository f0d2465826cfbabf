// The downloader of the web update over Qt Network. Synchronous: Download
// runs a local event loop until the transfer ends. Creates a
// QCoreApplication for the call when the process has none (the command-line
// tool), never a GUI application.
#pragma once

#include "imagedb/WebUpdate.h"

#include <atomic>
#include <cstdint>
#include <functional>

class HttpDownloader : public IDownloader {
public:
    struct Options {
        // The download fails when no data moves for this long.
        int nTransferTimeoutMs = 30000;
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

    DownloadResult Download(const std::string& url) override;

private:
    Options m_options;
};
