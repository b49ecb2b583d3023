#include "udp_endpoint.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QMetaMethod>
#include <QPointer>
#include <QSocketNotifier>
#include <QUdpSocket>
#include <algorithm>

#ifndef _WIN32
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
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
    : QObject(parent), resolver_(std::move(resolver)), buffer_(65536, '\0') {
    reportStatus(8, QStringLiteral("Initializing Winsock"));
    setLocalPort(0);
}

UdpEndpoint::~UdpEndpoint() = default;

void UdpEndpoint::setLocalPort(int port) {
    if (socket_) {
        // Its port is free at once; the objects go when no signal of theirs is running.
        if (readNotifier_) {
            readNotifier_->setEnabled(false);
            readNotifier_->deleteLater();
            readNotifier_ = nullptr;
        }
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
    connect(socket_, &QUdpSocket::readyRead, this, &UdpEndpoint::readPending);
#else
    // Read by the endpoint itself, which learns from the system when each datagram arrived.
    // The socket's own notice then switches itself off after its first report.
    const auto fd = static_cast<int>(socket_->socketDescriptor());
#ifdef SO_TIMESTAMPNS
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
#endif
    readNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &UdpEndpoint::readPending);
#endif
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
            text = QStringLiteral("%1.%2.%3.%4")
                       .arg(ip >> 24)
                       .arg((ip >> 16) & 0xFF)
                       .arg((ip >> 8) & 0xFF)
                       .arg(ip & 0xFF);
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
#ifdef _WIN32
    waitedNs = 0;
    if (!socket_->hasPendingDatagrams())
        return kNothingToRead;
    return socket_->readDatagram(buffer_.data(), buffer_.size(), &from, &port);
#else
    sockaddr_in sender{};
    iovec part{buffer_.data(), static_cast<size_t>(buffer_.size())};
    alignas(cmsghdr) char control[64];
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = 0;
    do
        n = ::recvmsg(static_cast<int>(socket_->socketDescriptor()), &message, MSG_DONTWAIT);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? kNothingToRead : -1;
    from.setAddress(ntohl(sender.sin_addr.s_addr));
    port = ntohs(sender.sin_port);
    waitedNs = 0;
#ifdef SO_TIMESTAMPNS
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec arrived{};
        std::memcpy(&arrived, CMSG_DATA(c), sizeof arrived);
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const qint64 age =
            (qint64(now.tv_sec) - arrived.tv_sec) * 1'000'000'000 + (now.tv_nsec - arrived.tv_nsec);
        // A clock set back or forth meanwhile would say nonsense; no wait is then assumed.
        waitedNs = age >= 0 && age < 10'000'000'000 ? age : 0;
    }
#endif
    return n;
#endif
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
