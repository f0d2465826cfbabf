#include "app/ProgressDownloader.h"

#include "net/HttpDownloader.h"

#include <QProgressDialog>

#include <atomic>

DownloadResult CProgressDownloader::Download(const std::string& url) {
    std::atomic<bool> cancel{false};
    QProgressDialog progress(QStringLiteral("Downloading %1").arg(QString::fromStdString(url)),
                             QStringLiteral("Cancel"), 0, 0, m_pParent);
    progress.setWindowTitle(QString::fromLatin1(kProgressTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QObject::connect(&progress, &QProgressDialog::canceled, [&cancel] { cancel = true; });

    HttpDownloader::Options options;
    options.pCancel = &cancel;
    options.bProcessUserInput = true;
    options.onProgress = [&progress](int64_t received, int64_t total) {
        // Kilobytes keep large files within the dialog's int range.
        if (total > 0) {
            progress.setMaximum(static_cast<int>(total / 1024) + 1);
            progress.setValue(static_cast<int>(received / 1024));
        }
    };
    progress.show();
    HttpDownloader downloader(std::move(options));
    DownloadResult result = downloader.Download(url);
    progress.hide();
    return result;
}
