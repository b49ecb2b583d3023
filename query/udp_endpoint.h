#pragma once

#include "errors.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

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
// Received datagrams are read straight from the socket and handed on one by one, a few
// milliseconds' worth per event-loop turn; the kernel's receive queue is the only queue.
class UdpEndpoint : public QObject {
    Q_OBJECT
public:
    explicit UdpEndpoint(QObject* parent = nullptr, HostResolver resolver = systemResolver());
    ~UdpEndpoint() override;

    QString remoteHost;
    int remotePort = 0;
    int reportLevel = 1;

    int localPort() const { return localPort_; }
    // The port the socket holds: localPort, or the one the system picked.
    int boundPort() const;
    // Where host names are looked up; tests keep their names to themselves.
    void setResolver(HostResolver resolver) { resolver_ = std::move(resolver); }
    // Re-creates the socket and binds it to 0.0.0.0:port; a bind that fails is silent and the
    // first send then binds to a port the system picks.
    void setLocalPort(int port);
    // Which senders are heard at all: a datagram the filter refuses is read and dropped before
    // any other work, and raises no event. Failed receives are always reported.
    using SenderFilter = std::function<bool(const QHostAddress&, quint16)>;
    void setSenderFilter(SenderFilter filter) { filter_ = std::move(filter); }

    // Sends the first `length` bytes of data to remoteHost:remotePort. Throws "Invalid buffer"
    // (after one bufferInvalid chance) and UdpSocketError "Null Remote Address" at once; a
    // host name that cannot be resolved ends in sendFailed("Host Lookup Canceled").
    // sent, when given, runs the moment the datagram leaves, with its destination; failed,
    // when given, runs with the error of a send that failed after its lookup.
    using SentCallback = std::function<void(const QHostAddress&, quint16)>;
    using FailedCallback = std::function<void(const QString&)>;
    void sendDatagram(QByteArray data, int length, SentCallback sent = {},
                      FailedCallback failed = {});
    // Sends to an address already known; false when the socket refused the datagram.
    bool sendDatagramTo(const QByteArray& data, const QHostAddress& to, quint16 port);
    bool sendDatagramTo(const std::vector<uint8_t>& data, const QHostAddress& to, quint16 port) {
        return sendDatagramTo(QByteArray(reinterpret_cast<const char*>(data.data()),
                                         static_cast<qsizetype>(data.size())),
                              to, port);
    }
    // Looks a name up as a send does: a second try after invalidHost, then failed("Host
    // Lookup Canceled"); an address of 0.0.0.0 fails with "Null Remote Address".
    void lookUp(const QString& name, std::function<void(const QHostAddress&)> found,
                FailedCallback failed);
    // The IPv4 address a text names without a lookup (dotted form), if it does.
    static std::optional<QHostAddress> dottedAddress(const QString& text);

    // The last datagram received (empty after a failed receive) and its sender.
    QByteArray readLastDatagram() const;
    const QHostAddress& lastSender() const { return lastSender_; }
    // How long the last datagram had waited in the socket's queue when it was read, where the
    // system tells (else 0): its arrival is that long before the moment it is handed on.
    qint64 lastWaitedNs() const { return lastWaitedNs_; }
    void reportStatus(int level, const QString& text);
    const QString& lastStatus() const { return status_; }
    int receiveBufferSize() const;

Q_SIGNALS:
    void dataReceived(int byteCount, const QString& fromAddress, int fromPort);
    void dataSent();
    void statusReported(const QString& status);
    void invalidHost(bool& handled);
    void bufferInvalid(bool& handled, QByteArray& Buff, int& length);
    // A send that failed after sendDatagram returned (its name lookup); the error's text.
    void sendFailed(const QString& message);

private:
    void readPending();
    // The next datagram into buffer_: its size, -1 for a failed receive, or kNothingToRead.
    static constexpr qint64 kNothingToRead = -2;
    qint64 readOne(QHostAddress& from, quint16& port, qint64& waitedNs);
    void resumeReadingLater();
    void enlargeReceiveBuffer();
    void lookUp(const QString& name, int attempt, std::function<void(const QHostAddress&)> found,
                FailedCallback failed);
    void fail(const QString& message, const FailedCallback& failed);

    QUdpSocket* socket_ = nullptr;
    HostResolver resolver_;
    SenderFilter filter_;
    int localPort_ = 0;
    QByteArray buffer_; // one datagram of any size as it comes off the socket
    QByteArray last_;
    QHostAddress lastSender_;
    qint64 lastWaitedNs_ = 0;
    bool reading_ = false;
    bool resumeQueued_ = false;
    QString status_;
};
