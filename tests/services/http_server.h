// A tiny HTTP server on 127.0.0.1 for the version-check tests: it answers
// every GET with one canned response, or never answers (to run into the
// client's timeout). It lives on the test's thread and is served by the
// client's own local event loop.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <string>

namespace ravlon::test {

class CannedHttpServer : public QObject {
public:
    CannedHttpServer() {
        connect(&server_, &QTcpServer::newConnection, this, &CannedHttpServer::Accept);
        listening_ = server_.listen(QHostAddress::LocalHost, 0);
    }

    bool Listening() const { return listening_; }
    std::string Url(const std::string& path = "/ravlon.txt") const {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
    }

    QByteArray body;
    int status = 200;
    bool silent = false; // accept, read, never answer
    int requests = 0;

private:
    void Accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                request_ += socket->readAll();
                if (!request_.contains("\r\n\r\n")) return;
                request_.clear();
                ++requests;
                if (silent) return;
                QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + " X\r\n";
                answer += "Content-Type: text/plain\r\nConnection: close\r\n";
                answer += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
                answer += body;
                socket->write(answer);
                socket->disconnectFromHost();
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    QTcpServer server_;
    QByteArray request_;
    bool listening_ = false;
};

// A port on 127.0.0.1 where nothing listens (taken and released again).
inline std::string DeadUrl() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return "http://127.0.0.1:" + std::to_string(port) + "/ravlon.txt";
}

} // namespace ravlon::test
