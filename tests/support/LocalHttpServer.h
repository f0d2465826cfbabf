// A small HTTP server on 127.0.0.1 inside the test process: it answers
// "GET path" with canned bytes (404 for unknown paths).
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

// Answers "GET path" with canned bytes.
class LocalHttpServer {
public:
    struct Response {
        QByteArray bytes;    // everything sent, status line included
        bool close = true;   // close the connection after sending
        bool silent = false; // accept the request and never answer
        // After bytes: chunk again every chunkIntervalMs, at most maxChunks
        // times (an endless body or a drip, bounded), then hang up.
        QByteArray chunk;
        int chunkIntervalMs = 0;
        int maxChunks = 0;
    };

    // Headers of a 200 answer with no length: the body runs until the
    // connection closes.
    static Response Stream(const QByteArray& chunk, int intervalMs, int maxChunks) {
        Response r;
        r.bytes = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                  "Connection: close\r\n\r\n";
        r.close = false;
        r.chunk = chunk;
        r.chunkIntervalMs = intervalMs;
        r.maxChunks = maxChunks;
        return r;
    }

    static Response Redirect(const std::string& location) {
        Response r;
        r.bytes = QByteArray("HTTP/1.1 302 Found\r\nLocation: ") + location.c_str() +
                  "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        return r;
    }

    LocalHttpServer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { Accept(); });
    }

    void Route(const std::string& path, Response r) { m_routes[path] = std::move(r); }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.serverPort()) + path;
    }
    int Requests() const { return m_nRequests; }

    static Response Answer(int status, const char* reason, const QByteArray& body,
                           const char* type = "application/octet-stream") {
        Response r;
        r.bytes = QByteArray("HTTP/1.1 ") + QByteArray::number(status) + " " + reason +
                  "\r\nContent-Type: " + type +
                  "\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body;
        return r;
    }

private:
    void Accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto request = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                request->append(socket->readAll());
                const qsizetype end = request->indexOf("\r\n\r\n");
                if (end < 0) {
                    return;
                }
                ++m_nRequests;
                const QList<QByteArray> words = request->left(end).split(' ');
                const std::string path = words.size() > 1 ? words[1].toStdString() : "";
                const auto it = m_routes.find(path);
                const Response r = it != m_routes.end()
                                       ? it->second
                                       : Answer(404, "Not Found", "<html>missing</html>");
                request->clear();
                if (r.silent) {
                    return;
                }
                socket->write(r.bytes);
                if (!r.chunk.isEmpty()) {
                    Drip(socket, r);
                } else if (r.close) {
                    socket->disconnectFromHost();
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    static void Drip(QTcpSocket* socket, const Response& r) {
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, r] {
            if (*sent >= r.maxChunks || socket->state() != QAbstractSocket::ConnectedState) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            if (socket->bytesToWrite() < (1 << 20)) {
                socket->write(r.chunk);
                ++*sent;
            }
        });
        timer->start(r.chunkIntervalMs);
    }

    QTcpServer m_server;
    std::map<std::string, Response> m_routes;
    int m_nRequests = 0;
};
