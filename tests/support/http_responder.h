#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A plain HTTP server on 127.0.0.1 that answers every request with one status and body, or
// never, and keeps the last request line (method, path and query).
struct HttpResponder {
    QTcpServer server;
    int status = 200;
    QByteArray body;
    bool silent = false;
    QByteArray requestLine;

    HttpResponder() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket* s = server.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                const QByteArray request = s->peek(1 << 16);
                if (!request.contains("\r\n\r\n"))
                    return;
                s->readAll();
                requestLine = request.left(request.indexOf("\r\n"));
                if (silent)
                    return;
                s->write("HTTP/1.1 " + QByteArray::number(status) +
                         " X\r\nContent-Type: application/json\r\nContent-Length: " +
                         QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                s->disconnectFromHost();
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        });
    }
    QString baseUrl() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
    }
};
