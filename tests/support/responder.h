#pragma once

#include "fake_reply.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <string>

// A server inside the test: answers status requests on 127.0.0.1, after a delay if asked.
struct Responder {
    QUdpSocket socket;
    FakeServerState state;
    int delayMs = 0;
    bool silent = false;
    int ignore = 0; // requests left unanswered before it answers
    int requests = 0;
    explicit Responder(int players) {
        socket.bind(QHostAddress::LocalHost, 0);
        for (int i = 0; i < players; ++i)
            state.players << qMakePair(QStringLiteral("P%1").arg(i), i);
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                if (++requests <= ignore || silent)
                    continue;
                const QByteArray reply = buildStatusReply(d.data(), state);
                const auto to = d.senderAddress();
                const auto port = d.senderPort();
                QTimer::singleShot(delayMs, Qt::PreciseTimer, &socket, [this, reply, to, port] {
                    socket.writeDatagram(reply, to, port);
                });
            }
        });
    }
    std::string port() const { return std::to_string(socket.localPort()); }
    int portNumber() const { return socket.localPort(); }
};
