// A small HTTP server on 127.0.0.1 inside the test process: it answers
// "GET path" with canned bytes (404 for unknown paths).
#pragma once

#include <QTcpServer>
#include <QTcpSocket>

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
    };

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
                if (r.close) {
                    socket->disconnectFromHost();
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    QTcpServer m_server;
    std::map<std::string, Response> m_routes;
    int m_nRequests = 0;
};
