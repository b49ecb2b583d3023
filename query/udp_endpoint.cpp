#include "udp_endpoint.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QMetaMethod>
#include <QPointer>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <winsock2.h>

#include <mswsock.h>
#else
#include <sys/socket.h>
#endif
#ifdef __linux__
#include <ctime>
#include <linux/sockios.h>
#include <sys/ioctl.h>
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
    : QObject(parent), resolver_(std::move(resolver)), buffer_(65536, '\0') {
    reportStatus(8, QStringLiteral("Initializing Winsock"));
    setLocalPort(0);
}

UdpEndpoint::~UdpEndpoint() = default;

void UdpEndpoint::setLocalPort(int port) {
    if (socket_) {
        // Its port is free at once; the object goes when no signal of it is running.
        disconnect(socket_, nullptr, this, nullptr);
        socket_->close();
        socket_->deleteLater();
    }
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
#ifdef _WIN32
    // Windows fails the next receive after a "port unreachable" from any one server; one
    // server that is down must not cost the answers of the others.
    BOOL reportUnreachable = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(static_cast<SOCKET>(socket_->socketDescriptor()), SIO_UDP_CONNRESET,
               &reportUnreachable, sizeof reportUnreachable, nullptr, 0, &returned, nullptr,
               nullptr);
#endif
#ifdef SIOCGSTAMPNS
    // The first question switches the system's notes of arrival times on for this socket.
    timespec arrived{};
    ::ioctl(static_cast<int>(socket_->socketDescriptor()), SIOCGSTAMPNS, &arrived);
#endif
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

int UdpEndpoint::boundPort() const {
    return socket_->localPort();
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

std::optional<QHostAddress> UdpEndpoint::dottedAddress(const QString& text) {
    QHostAddress a;
    if (a.setAddress(text) && a.protocol() == QAbstractSocket::IPv4Protocol)
        return a;
    return std::nullopt;
}

void UdpEndpoint::sendDatagram(QByteArray bytes, int length, SentCallback sent,
                               FailedCallback failed) {
    for (int round = 0; length == 0; ++round) {
        bool handled = false;
        if (round == 1 || !isSignalConnected(QMetaMethod::fromSignal(&UdpEndpoint::bufferInvalid)))
            throw quorvale::LauncherError("Invalid buffer");
        Q_EMIT bufferInvalid(handled, bytes, length);
        if (!handled)
            throw quorvale::LauncherError("Invalid buffer");
    }
    const QByteArray data = bytes.left(std::max(0, length));
    const auto port = static_cast<quint16>(remotePort);
    if (const auto dotted = dottedAddress(remoteHost)) {
        if (dotted->toIPv4Address() == 0)
            throw UdpSocketError("Null Remote Address");
        sendDatagramTo(data, *dotted, port);
        if (sent)
            sent(*dotted, port);
        return;
    }
    QPointer<UdpEndpoint> self(this);
    lookUp(
        remoteHost.left(127),
        [self, data, port, sent](const QHostAddress& a) {
            if (!self)
                return;
            self->sendDatagramTo(data, a, port);
            if (sent)
                sent(a, port);
        },
        std::move(failed));
}

void UdpEndpoint::fail(const QString& message, const FailedCallback& failed) {
    if (failed)
        failed(message);
    Q_EMIT sendFailed(message);
}

void UdpEndpoint::lookUp(const QString& name, std::function<void(const QHostAddress&)> found,
                         FailedCallback failed) {
    lookUp(name, 1, std::move(found), std::move(failed));
}

void UdpEndpoint::lookUp(const QString& name, int attempt,
                         std::function<void(const QHostAddress&)> found, FailedCallback failed) {
    QPointer<UdpEndpoint> self(this);
    resolver_(name, this, [=, this](const QHostAddress& a) {
        if (!self)
            return;
        if (!a.isNull()) {
            if (a.toIPv4Address() == 0)
                fail(QStringLiteral("Null Remote Address"), failed);
            else
                found(a);
            return;
        }
        if (attempt >= 2) {
            fail(QStringLiteral("Host Lookup Canceled"), failed);
            return;
        }
        bool handled = false;
        Q_EMIT invalidHost(handled);
        lookUp(name, attempt + 1, found, failed);
    });
}

bool UdpEndpoint::sendDatagramTo(const QByteArray& data, const QHostAddress& to, quint16 port) {
    reportStatus(2, QStringLiteral("Sending Data"));
    const bool out = socket_->writeDatagram(data, to, port) >= 0;
    Q_EMIT dataSent();
    return out;
}

void UdpEndpoint::readPending() {
    // A handler that runs an event loop of its own (a modal box) must not see the next datagram
    // inside its own call: the outer loop below reads on when it returns.
    if (reading_)
        return;
    reading_ = true;
    QPointer<UdpEndpoint> self(this);
    // Work through what is readable for a few milliseconds, then let timers and input run and
    // come back on our own, not on the socket's next report, which a busy handler may have
    // swallowed.
    constexpr qint64 sliceNs = 5'000'000;
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        if (slice.nsecsElapsed() > sliceNs) {
            resumeReadingLater();
            break;
        }
        QHostAddress from;
        quint16 port = 0;
        qint64 waitedNs = 0;
        const qint64 n = readOne(from, port, waitedNs);
        if (n == kNothingToRead)
            break;
        if (n >= 0 && filter_ && !filter_(from, port))
            continue;
        QString text;
        if (n >= 0) {
            last_ = QByteArray(buffer_.constData(), n);
            lastSender_ = from;
            lastWaitedNs_ = waitedNs;
            const quint32 ip = from.toIPv4Address();
            char dotted[16];
            std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF,
                          (ip >> 8) & 0xFF, ip & 0xFF);
            text = QString::fromLatin1(dotted);
        } else {
            last_.clear();
            lastSender_.clear();
            lastWaitedNs_ = 0;
        }
        Q_EMIT dataReceived(static_cast<int>(n), text, port);
        if (!self)
            return;
        if (n < 0) { // an error report; the rest comes at the next turn
            resumeReadingLater();
            break;
        }
    }
    reading_ = false;
}

qint64 UdpEndpoint::readOne(QHostAddress& from, quint16& port, qint64& waitedNs) {
    waitedNs = 0;
#ifdef _WIN32
    qint64 n = -1;
    for (;;) {
        // Windows' socket engine reports an empty queue as a network error, not a temporary
        // one: ask first (its peek re-arms the next report as a read does).
        if (!socket_->hasPendingDatagrams())
            return kNothingToRead;
        n = socket_->readDatagram(buffer_.data(), buffer_.size(), &from, &port);
        // A "port unreachable" from one server, where the system still reports it, is no
        // failure of this socket.
        if (n >= 0 || socket_->error() != QAbstractSocket::ConnectionRefusedError)
            break;
    }
#else
    // Read without asking first: Qt (6.4) stops reporting a socket whose report found nothing
    // to read, until the next read, and a read that finds nothing counts.
    const qint64 n = socket_->readDatagram(buffer_.data(), buffer_.size(), &from, &port);
    if (n < 0 && socket_->error() == QAbstractSocket::TemporaryError)
        return kNothingToRead;
#endif
#ifdef SIOCGSTAMPNS
    timespec arrived{};
    if (n >= 0 &&
        ::ioctl(static_cast<int>(socket_->socketDescriptor()), SIOCGSTAMPNS, &arrived) == 0) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const qint64 age =
            (qint64(now.tv_sec) - arrived.tv_sec) * 1'000'000'000 + (now.tv_nsec - arrived.tv_nsec);
        // A clock set back or forth meanwhile would say nonsense; no wait is then assumed.
        waitedNs = age >= 0 && age < 10'000'000'000 ? age : 0;
    }
#endif
    return n;
}

void UdpEndpoint::resumeReadingLater() {
    if (resumeQueued_)
        return;
    resumeQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            resumeQueued_ = false;
            readPending();
        },
        Qt::QueuedConnection);
}

QByteArray UdpEndpoint::readLastDatagram() const {
    return last_;
}
