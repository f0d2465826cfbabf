#include "net/HttpDownloader.h"

#include "base/Format.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <unistd.h>

namespace {

// Errors that come with a complete HTTP answer whose status is not 2xx: the
// transfer itself went through.
bool IsHttpStatusError(QNetworkReply::NetworkError e) {
    return (e >= QNetworkReply::ContentAccessDenied && e <= QNetworkReply::UnknownContentError) ||
           (e >= QNetworkReply::InternalServerError && e <= QNetworkReply::UnknownServerError) ||
           e == QNetworkReply::ProtocolInvalidOperationError;
}

// The system's proxy settings (on Linux the http_proxy, https_proxy and
// no_proxy variables), for this download only.
class SystemProxies : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        return systemProxyForQuery(query);
    }
};

bool IsWebScheme(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

std::unique_ptr<QCoreApplication> ApplicationIfNone() {
    if (QCoreApplication::instance() != nullptr) {
        return nullptr;
    }
    static int argc = 1;
    static char name[] = "ranvista";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

// The body's temporary file: opened for reading and unlinked as soon as it
// is made, so that nothing is left in the temporary folder however the
// process ends; written as data arrives, then handed out as a stream.
class BodyFile {
public:
    BodyFile() {
        const QString folder = QDir::tempPath();
        RemoveStaleBodies(folder);
        std::string pattern = folder.toStdString() + "/ranvista-download-XXXXXX";
        m_nFd = mkstemp(pattern.data());
        if (m_nFd < 0) {
            return;
        }
        m_in = std::make_shared<std::ifstream>(pattern, std::ios::binary);
        unlink(pattern.c_str());
        if (!m_in->is_open()) {
            close(m_nFd);
            m_nFd = -1;
        }
    }
    ~BodyFile() {
        if (m_nFd >= 0) {
            close(m_nFd);
        }
    }
    BodyFile(const BodyFile&) = delete;
    BodyFile& operator=(const BodyFile&) = delete;

    bool Ok() const { return m_nFd >= 0; }
    bool Write(const char* data, size_t n) {
        while (n > 0) {
            const ssize_t w = write(m_nFd, data, n);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return false;
            }
            data += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }
    // The whole body for reading, from its first byte.
    std::shared_ptr<std::istream> Finish() {
        close(m_nFd);
        m_nFd = -1;
        m_in->clear();
        m_in->seekg(0);
        if (!*m_in) {
            return nullptr;
        }
        return m_in;
    }

private:
    // Bodies an older Ranvista left named when it was killed: gone after an
    // hour, by then no download of theirs is still running.
    static void RemoveStaleBodies(const QString& folder) {
        const QDir dir(folder);
        const QDateTime hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
        for (const QFileInfo& f :
             dir.entryInfoList({QStringLiteral("ranvista-download-??????")}, QDir::Files)) {
            if (f.isFile() && !f.isSymLink() && f.lastModified().toUTC() < hourAgo) {
                QFile::remove(f.absoluteFilePath());
            }
        }
    }

    int m_nFd = -1;
    std::shared_ptr<std::ifstream> m_in;
};

std::string Megabytes(int64_t bytes) {
    return StrFormat("%.0f MB", static_cast<double>(bytes) / (1 << 20));
}

} // namespace

int64_t DefaultDownloadLimitBytes() {
    if (const char* env = std::getenv("RANVISTA_DOWNLOAD_LIMIT_MB")) {
        char* end = nullptr;
        const long long v = std::strtoll(env, &end, 10);
        if (end != env && *end == '\0' && v > 0 && v < (1ll << 40)) {
            return static_cast<int64_t>(v) << 20;
        }
    }
    return int64_t{512} << 20;
}

DownloadResult HttpDownloader::Download(const std::string& url) {
    try {
        const QUrl qurl(QString::fromStdString(url), QUrl::StrictMode);
        if (!qurl.isValid() || qurl.isRelative()) {
            DownloadResult result;
            result.error = "not a valid address";
            return result;
        }
        return Fetch(qurl, 0,
                     std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(m_options.nDeadlineMs));
    } catch (const std::bad_alloc&) {
        DownloadResult result;
        result.error = "out of memory";
        return result;
    }
}

DownloadResult HttpDownloader::Fetch(const QUrl& qurl, int redirects,
                                     std::chrono::steady_clock::time_point deadlineAt) {
    const std::unique_ptr<QCoreApplication> app = ApplicationIfNone();
    DownloadResult result;
    if (!IsWebScheme(qurl)) {
        result.error = "only http and https addresses can be used";
        return result;
    }
    BodyFile body;
    if (!body.Ok()) {
        result.error =
            "cannot create a temporary file for the download: " + std::string(std::strerror(errno));
        return result;
    }

    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxies); // the manager owns it
    QNetworkRequest request(qurl);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Ranvista"));
    request.setTransferTimeout(m_options.nTransferTimeoutMs);
    // Redirects are followed here, one request each, so that every target
    // is checked before it is asked for.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    // Qt keeps no more than this of the body; the rest waits in the socket
    // until it has gone to the file.
    reply->setReadBufferSize(1 << 20);

    std::string failure; // why the download was stopped here
    const auto stop = [&](std::string why) {
        if (failure.empty()) {
            failure = std::move(why);
        }
        if (!reply->isFinished()) {
            reply->abort();
        }
    };
    int64_t received = 0;
    int64_t expected = -1;
    const int64_t maxBytes = m_options.nMaxBodyBytes;
    const auto tooLarge = [maxBytes] {
        return "the file is larger than the limit of " + Megabytes(maxBytes) + " for a download";
    };
    const auto drain = [&] {
        try {
            while (failure.empty() && reply->bytesAvailable() > 0) {
                const QByteArray chunk = reply->read(1 << 16);
                received += chunk.size();
                if (received > maxBytes) {
                    stop(tooLarge());
                    return;
                }
                if (!body.Write(chunk.constData(), static_cast<size_t>(chunk.size()))) {
                    stop("cannot write the temporary file of the download: " +
                         std::string(std::strerror(errno)));
                    return;
                }
            }
            if (m_options.onProgress && failure.empty()) {
                m_options.onProgress(received, expected);
            }
        } catch (const std::bad_alloc&) {
            stop("out of memory");
        }
    };
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(), [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        expected = length.isValid() ? length.toLongLong() : -1;
        if (expected > maxBytes) {
            stop(tooLarge() + " (the server announced " + std::to_string(expected) + " bytes)");
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), drain);
    bool cancelled = false;
    QTimer cancelPoll;
    if (m_options.pCancel != nullptr) {
        QObject::connect(&cancelPoll, &QTimer::timeout, reply.get(), [&] {
            if (m_options.pCancel->load() && !reply->isFinished()) {
                cancelled = true;
                reply->abort();
            }
        });
        cancelPoll.start(20);
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), [&] {
        stop(StrFormat("the download took longer than %g s", m_options.nDeadlineMs / 1000.0));
    });
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadlineAt - std::chrono::steady_clock::now())
                          .count();
    deadline.start(static_cast<int>(std::clamp<int64_t>(left, 0, INT32_MAX)));
    QTimer rate;
    int64_t receivedBefore = 0;
    QObject::connect(&rate, &QTimer::timeout, reply.get(), [&] {
        const int64_t needed = m_options.nMinBytesPerSecond * m_options.nRateWindowMs / 1000;
        if (received - receivedBefore < needed) {
            stop(StrFormat("less than %lld bytes per second arrived over %g s",
                           static_cast<long long>(m_options.nMinBytesPerSecond),
                           m_options.nRateWindowMs / 1000.0));
        }
        receivedBefore = received;
    });
    rate.start(static_cast<int>(std::min<int64_t>(m_options.nRateWindowMs, INT32_MAX)));
    if (!reply->isFinished()) {
        loop.exec(m_options.bProcessUserInput ? QEventLoop::AllEvents
                                              : QEventLoop::ExcludeUserInputEvents);
    }
    cancelPoll.stop();
    deadline.stop();
    rate.stop();
    if (failure.empty()) {
        drain();
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.httpStatus = status.isValid() ? status.toInt() : 0;
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (failure.empty() && !cancelled && result.httpStatus >= 300 && result.httpStatus < 400 &&
        target.isValid()) {
        const QUrl to = qurl.resolved(target.toUrl());
        if (!IsWebScheme(to)) {
            result.error = "the server redirected to " + to.toString().toStdString() +
                           ", which is not an http or https address";
        } else if (qurl.scheme() == QLatin1String("https") &&
                   to.scheme() == QLatin1String("http")) {
            result.error = "the server redirected from https to the less safe address " +
                           to.toString().toStdString();
        } else if (redirects >= m_options.nMaxRedirects) {
            result.error = StrFormat("the server redirected more than %d times (a redirect loop?)",
                                     m_options.nMaxRedirects);
        } else {
            return Fetch(to, redirects + 1, deadlineAt);
        }
        return result;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (cancelled || (m_options.pCancel != nullptr && m_options.pCancel->load() &&
                      error == QNetworkReply::OperationCanceledError && failure.empty())) {
        result.status = DownloadResult::Status::Cancelled;
        result.error = "cancelled";
    } else if (!failure.empty()) {
        result.error = failure;
    } else if (error == QNetworkReply::NoError ||
               (result.httpStatus != 0 && IsHttpStatusError(error))) {
        result.bodyStream = body.Finish();
        if (result.bodyStream) {
            result.status = DownloadResult::Status::Complete;
        } else {
            result.error = "cannot read the temporary file of the download";
        }
    } else if (error == QNetworkReply::OperationCanceledError) {
        // Not asked for: the transfer timeout aborted it.
        result.error = StrFormat("no data arrived for %g s; the transfer timed out",
                                 m_options.nTransferTimeoutMs / 1000.0);
    } else {
        result.error = reply->errorString().toStdString();
    }
    return result;
}
