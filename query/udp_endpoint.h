#pragma once

#include "errors.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>

class QUdpSocket;

// The endpoint's own errors: "Null Remote Address", "Host Lookup Canceled", "Unknown Error No. n".
class UdpSocketError : public quorvale::LauncherError {
public:
    using quorvale::LauncherError::LauncherError;
};

// Looks a host name up and calls back on the UI thread with its first IPv4 address, or a null
// address when there is none. The default asks the system resolver without blocking.
using HostResolver = std::function<void(const QString& name, QObject* context,
                                        std::function<void(const QHostAddress&)> done)>;
HostResolver systemResolver();

// One UDP datagram endpoint bound to a local port; its events arrive as signals on the UI
// thread. Name lookups never block: a send to a host name goes out when its lookup completes.
class UdpEndpoint : public QObject {
    Q_OBJECT
public:
    explicit UdpEndpoint(QObject* parent = nullptr, HostResolver resolver = systemResolver());
    ~UdpEndpoint() override;

    QString remoteHost;
    int remotePort = 0;
    int reportLevel = 1;

    int localPort() const { return localPort_; }
    // Where host names are looked up; tests keep their names to themselves.
    void setResolver(HostResolver resolver) { resolver_ = std::move(resolver); }
    // Re-creates the socket and binds it to 0.0.0.0:port; a bind that fails is silent and the
    // first send then binds to a port the system picks.
    void setLocalPort(int port);

    // Sends the first `length` bytes of buff to remoteHost:remotePort. Throws "Invalid buffer"
    // (after one bufferInvalid chance) and UdpSocketError "Null Remote Address" at once; a
    // host name that cannot be resolved ends in sendFailed("Host Lookup Canceled").
    // sent, when given, runs the moment the datagram leaves, with its destination; failed,
    // when given, runs with the error of a send that failed after its lookup.
    using SentCallback = std::function<void(const QHostAddress&, quint16)>;
    using FailedCallback = std::function<void(const QString&)>;
    void sendDatagram(QByteArray buff, int length, SentCallback sent = {},
                      FailedCallback failed = {});
    // The last datagram received (empty after a failed receive).
    QByteArray readLastDatagram() const;
    void reportStatus(int level, const QString& text);
    const QString& lastStatus() const { return status_; }
    int receiveBufferSize() const;

Q_SIGNALS:
    void dataReceived(int byteCount, const QString& fromAddress, int Port);
    void dataSent();
    void statusReported(const QString& status);
    void invalidHost(bool& handled);
    void bufferInvalid(bool& handled, QByteArray& Buff, int& length);
    // A send that failed after sendDatagram returned (its name lookup); the error's text.
    void sendFailed(const QString& message);

private:
    void readPending();
    void deliver();
    struct Received {
        QByteArray data;
        int length = -1; // -1: a failed receive
        QString from;
        int port = 0;
    };
    std::deque<Received> backlog_;
    qsizetype backlogBytes_ = 0;
    bool deliveryQueued_ = false;
    void enlargeReceiveBuffer();
    void sendTo(const QByteArray& data, const QHostAddress& to, quint16 port,
                const SentCallback& sent);
    void lookup(const QString& name, int attempt, QByteArray data, quint16 port, SentCallback sent,
                FailedCallback failed);
    void fail(const QString& message, const FailedCallback& failed);

    QUdpSocket* socket_ = nullptr;
    HostResolver resolver_;
    int localPort_ = 0;
    QByteArray last_;
    int lastLength_ = 0;
    QString status_;
};
