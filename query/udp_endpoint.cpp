#include "udp_endpoint.h"

#include <QHostInfo>
#include <QMetaMethod>
#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>

#ifndef _WIN32
#include <sys/socket.h>
#endif

HostResolver systemResolver() {
    return
        [](const QString& name, QObject* context, std::function<void(const QHostAddress&)> done) {
            QHostInfo::lookupHost(name, context, [done](const QHostInfo& info) {
                for (const QHostAddress& a : info.addresses()) {
                    if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                        done(a);
                        return;
                    }
                }
                done(QHostAddress());
            });
        };
}

UdpEndpoint::UdpEndpoint(QObject* parent, HostResolver resolver)
    : QObject(parent), resolver_(std::move(resolver)) {
    reportStatus(8, QStringLiteral("Initializing Winsock"));
    setLocalPort(0);
}

UdpEndpoint::~UdpEndpoint() = default;

void UdpEndpoint::setLocalPort(int port) {
    delete socket_;
    socket_ = new QUdpSocket(this);
    localPort_ = port;
    // A port in use is silent: the socket then takes a port the system picks, so replies
    // still arrive.
    if ((port <= 0 || !socket_->bind(QHostAddress::AnyIPv4, static_cast<quint16>(port))) &&
        !socket_->bind(QHostAddress::AnyIPv4, 0)) {
        // No socket at all: the one failure an endpoint cannot live with.
        reportStatus(16, QStringLiteral("Checking Error In Error Manager"));
        const QString text =
            QStringLiteral("Unknown Error No. %1").arg(static_cast<int>(socket_->error()));
        reportStatus(8, QStringLiteral("Looking Up Error Message") + text);
        throw UdpSocketError(text.toStdString());
    }
    enlargeReceiveBuffer();
    connect(socket_, &QUdpSocket::readyRead, this, &UdpEndpoint::readPending);
}

void UdpEndpoint::enlargeReceiveBuffer() {
    // Room for a burst of replies from a thousand servers.
    constexpr int want = 1 << 20;
    socket_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(want));
#ifdef SO_RCVBUFFORCE
    // The system caps the ordinary request; where we may, go past the cap.
    if (socket_->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt() < want) {
        const int v = want;
        ::setsockopt(static_cast<int>(socket_->socketDescriptor()), SOL_SOCKET, SO_RCVBUFFORCE, &v,
                     sizeof v);
    }
#endif
}

int UdpEndpoint::receiveBufferSize() const {
    return socket_->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

void UdpEndpoint::reportStatus(int level, const QString& text) {
    if (level > reportLevel)
        return;
    status_ = text;
    Q_EMIT statusReported(text);
}

void UdpEndpoint::sendDatagram(QByteArray buff, int length, SentCallback sent,
                               FailedCallback failed) {
    for (int round = 0; length == 0; ++round) {
        bool handled = false;
        if (round == 1 || !isSignalConnected(QMetaMethod::fromSignal(&UdpEndpoint::bufferInvalid)))
            throw quorvale::LauncherError("Invalid buffer");
        Q_EMIT bufferInvalid(handled, buff, length);
        if (!handled)
            throw quorvale::LauncherError("Invalid buffer");
    }
    const QByteArray data = buff.left(std::max(0, length));
    const auto port = static_cast<quint16>(remotePort);
    QHostAddress dotted;
    if (dotted.setAddress(remoteHost) && dotted.protocol() == QAbstractSocket::IPv4Protocol) {
        if (dotted.toIPv4Address() == 0)
            throw UdpSocketError("Null Remote Address");
        sendTo(data, dotted, port, sent);
        return;
    }
    lookup(remoteHost.left(127), 1, data, port, std::move(sent), std::move(failed));
}

void UdpEndpoint::fail(const QString& message, const FailedCallback& failed) {
    if (failed)
        failed(message);
    Q_EMIT sendFailed(message);
}

void UdpEndpoint::lookup(const QString& name, int attempt, QByteArray data, quint16 port,
                         SentCallback sent, FailedCallback failed) {
    QPointer<UdpEndpoint> self(this);
    resolver_(name, this, [=, this](const QHostAddress& a) {
        if (!self)
            return;
        if (!a.isNull()) {
            if (a.toIPv4Address() == 0)
                fail(QStringLiteral("Null Remote Address"), failed);
            else
                sendTo(data, a, port, sent);
            return;
        }
        if (attempt >= 2) {
            fail(QStringLiteral("Host Lookup Canceled"), failed);
            return;
        }
        bool handled = false;
        Q_EMIT invalidHost(handled);
        lookup(name, attempt + 1, data, port, sent, failed);
    });
}

void UdpEndpoint::sendTo(const QByteArray& data, const QHostAddress& to, quint16 port,
                         const SentCallback& sent) {
    reportStatus(2, QStringLiteral("Sending Data"));
    socket_->writeDatagram(data, to, port); // a refused datagram is lost without notice
    if (sent)
        sent(to, port);
    Q_EMIT dataSent();
}

void UdpEndpoint::readPending() {
    // Take what the socket holds, a bounded batch per report; hand it on a slice per
    // turn, so that a burst of replies does not hold up timers and input. What comes beyond the
    // backlog's room is dropped here, as the network would drop it.
    constexpr int batch = 256;
    constexpr qsizetype room = 1 << 20; // bytes
    for (int n = 0; n < batch && socket_->hasPendingDatagrams(); ++n) {
        const QNetworkDatagram d = socket_->receiveDatagram(); // whole, up to the UDP maximum
        Received r;
        if (d.isValid()) {
            r.data = d.data();
            r.length = static_cast<int>(r.data.size());
            const quint32 ip = d.senderAddress().toIPv4Address();
            r.from = QStringLiteral("%1.%2.%3.%4")
                         .arg(ip >> 24)
                         .arg((ip >> 16) & 0xFF)
                         .arg((ip >> 8) & 0xFF)
                         .arg(ip & 0xFF);
            r.port = d.senderPort();
        }
        if (backlogBytes_ + r.data.size() <= room) {
            backlogBytes_ += r.data.size();
            backlog_.push_back(std::move(r));
        }
        if (!d.isValid())
            break; // an error report; nothing more to read this time
    }
    // What is left makes the socket report again at the next turn. Reading only when it
    // reports matters: a report that finds nothing to read silences the socket for good.
    deliver();
}

void UdpEndpoint::deliver() {
    constexpr int slice = 32;
    for (int n = 0; n < slice && !backlog_.empty(); ++n) {
        Received r = std::move(backlog_.front());
        backlog_.pop_front();
        backlogBytes_ -= r.data.size();
        last_ = std::move(r.data);
        lastLength_ = r.length;
        Q_EMIT dataReceived(lastLength_, r.from, r.port);
    }
    if (!backlog_.empty() && !deliveryQueued_) {
        deliveryQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                deliveryQueued_ = false;
                deliver();
            },
            Qt::QueuedConnection);
    }
}

QByteArray UdpEndpoint::readLastDatagram() const {
    return last_;
}
