#pragma once

#include "fake_a2s.h"
#include "fake_reply.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <string>

// A server inside the test, on 127.0.0.1: answers the GameSpy status query on its game port
// and, when asked to, the Steam query on the port after it (the default query port). Both
// ports are held either way, so nothing else answers there.
struct Responder {
    QUdpSocket socket;
    QUdpSocket a2sSocket;
    FakeServerState state;
    int delayMs = 0;
    bool silent = false;
    int ignore = 0; // requests left unanswered before it answers
    int requests = 0;
    bool answersGameSpy = true;
    bool answersA2s = false;
    FakeA2sOptions a2s;
    int a2sRequests = 0;
    quint32 splitId = 0;
    int sent = 0;    // datagrams sent back
    int pending = 0; // answers still waiting for their delay
    explicit Responder(int players) {
        // Two neighbouring free ports.
        for (int tries = 0; tries < 100; ++tries) {
            socket.bind(QHostAddress::LocalHost, 0);
            if (socket.localPort() < 65535 &&
                a2sSocket.bind(QHostAddress::LocalHost, socket.localPort() + 1))
                break;
            socket.close();
        }
        for (int i = 0; i < players; ++i)
            state.players << qMakePair(QStringLiteral("P%1").arg(i), i);
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                if (++requests <= ignore || silent || !answersGameSpy)
                    continue;
                later(socket, {buildStatusReply(d.data(), state)}, d);
            }
        });
        QObject::connect(&a2sSocket, &QUdpSocket::readyRead, &a2sSocket, [this] {
            while (a2sSocket.hasPendingDatagrams()) {
                const QNetworkDatagram d = a2sSocket.receiveDatagram();
                if (++a2sRequests <= ignore || silent || !answersA2s)
                    continue;
                later(a2sSocket, buildA2sReplies(d.data(), state, a2s, ++splitId), d);
            }
        });
    }
    void later(QUdpSocket& from, const QList<QByteArray>& replies, const QNetworkDatagram& d) {
        const auto to = d.senderAddress();
        const auto port = d.senderPort();
        ++pending;
        QTimer::singleShot(delayMs, Qt::PreciseTimer, &from, [this, &from, replies, to, port] {
            for (const QByteArray& r : replies)
                from.writeDatagram(r, to, port);
            sent += replies.size();
            --pending;
        });
    }
    // Whether every answer has gone out and the `received` datagrams are all it sent.
    bool settled(qsizetype received) const { return pending == 0 && received == sent; }
    std::string port() const { return std::to_string(socket.localPort()); }
    int portNumber() const { return socket.localPort(); }
};
