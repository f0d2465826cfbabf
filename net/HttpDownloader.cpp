#include "net/HttpDownloader.h"

#include "base/Format.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>

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

std::unique_ptr<QCoreApplication> ApplicationIfNone() {
    if (QCoreApplication::instance() != nullptr) {
        return nullptr;
    }
    static int argc = 1;
    static char name[] = "ranvista";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

DownloadResult HttpDownloader::Download(const std::string& url) {
    const std::unique_ptr<QCoreApplication> app = ApplicationIfNone();
    DownloadResult result;
    const QUrl qurl(QString::fromStdString(url), QUrl::StrictMode);
    if (!qurl.isValid() || qurl.isRelative()) {
        result.error = "not a valid address";
        return result;
    }
    if (qurl.scheme() != QLatin1String("http") && qurl.scheme() != QLatin1String("https")) {
        result.error = "only http and https addresses can be used";
        return result;
    }

    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxies); // the manager owns it
    QNetworkRequest request(qurl);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Ranvista"));
    request.setTransferTimeout(m_options.nTransferTimeoutMs);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));

    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (m_options.onProgress) {
        // readyRead comes as data arrives (downloadProgress may be held back
        // until the end); the body stays in the reply until it is complete.
        QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            m_options.onProgress(reply->bytesAvailable(),
                                 length.isValid() ? length.toLongLong() : -1);
        });
    }
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
    if (!reply->isFinished()) {
        loop.exec(m_options.bProcessUserInput ? QEventLoop::AllEvents
                                              : QEventLoop::ExcludeUserInputEvents);
    }
    cancelPoll.stop();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.httpStatus = status.isValid() ? status.toInt() : 0;
    const QNetworkReply::NetworkError error = reply->error();
    if (cancelled || (m_options.pCancel != nullptr && m_options.pCancel->load() &&
                      error == QNetworkReply::OperationCanceledError)) {
        result.status = DownloadResult::Status::Cancelled;
        result.error = "cancelled";
    } else if (error == QNetworkReply::NoError ||
               (result.httpStatus != 0 && IsHttpStatusError(error))) {
        result.status = DownloadResult::Status::Complete;
        const QByteArray body = reply->readAll();
        result.body.assign(body.constData(), static_cast<size_t>(body.size()));
    } else if (error == QNetworkReply::OperationCanceledError) {
        // Not asked for: the transfer timeout aborted it.
        result.error = StrFormat("no data arrived for %g s; the transfer timed out",
                                 m_options.nTransferTimeoutMs / 1000.0);
    } else {
        result.error = reply->errorString().toStdString();
    }
    return result;
}
