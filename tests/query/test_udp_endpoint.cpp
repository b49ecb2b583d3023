#include "udp_endpoint.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {

// Answers from a table, as a hosts file would; everything else is unknown.
HostResolver tableResolver(QMap<QString, QString> table, int* calls = nullptr) {
    return [table, calls](const QString& name, QObject* ctx,
                          std::function<void(const QHostAddress&)> done) {
        if (calls)
            ++*calls;
        const QString ip = table.value(name);
        QMetaObject::invokeMethod(
            ctx, [done, ip] { done(ip.isEmpty() ? QHostAddress() : QHostAddress(ip)); },
            Qt::QueuedConnection);
    };
}

struct Peer {
    QUdpSocket socket;
    Peer() { socket.bind(QHostAddress::LocalHost, 0); }
    quint16 port() const { return socket.localPort(); }
    QList<QNetworkDatagram> received() {
        QList<QNetworkDatagram> out;
        while (socket.hasPendingDatagrams())
            out << socket.receiveDatagram();
        return out;
    }
};

} // namespace

class TestUdpEndpoint : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sendsToADottedAddressAtOnce() {
        Peer peer;
        int lookups = 0;
        UdpEndpoint udp(nullptr, tableResolver({}, &lookups));
        QSignalSpy sent(&udp, &UdpEndpoint::dataSent);
        udp.remoteHost = QStringLiteral("127.0.0.1");
        udp.remotePort = peer.port();
        udp.sendDatagram(QByteArray("hello", 5), 5);
        QCOMPARE(sent.count(), 1); // before any event loop ran
        QCOMPARE(lookups, 0);
        QTRY_VERIFY(peer.socket.hasPendingDatagrams());
        QCOMPARE(peer.received().at(0).data(), QByteArray("hello"));
    }

    void zeroLengthGetsOneRepair_data() {
        QTest::addColumn<int>("handler"); // 0 none, 1 repairs, 2 says handled but leaves 0
        QTest::addColumn<bool>("sends");
        QTest::newRow("noHandler") << 0 << false;
        QTest::newRow("repaired") << 1 << true;
        QTest::newRow("handledButEmpty") << 2 << false;
    }
    void zeroLengthGetsOneRepair() {
        QFETCH(int, handler);
        QFETCH(bool, sends);
        Peer peer;
        UdpEndpoint udp;
        udp.remoteHost = QStringLiteral("127.0.0.1");
        udp.remotePort = peer.port();
        int calls = 0;
        if (handler)
            connect(&udp, &UdpEndpoint::bufferInvalid, this,
                    [&](bool& handled, QByteArray& buff, int& length) {
                        ++calls;
                        handled = true;
                        if (handler == 1) {
                            buff = QByteArray(10, 'x');
                            length = 10;
                        }
                    });
        QString error;
        try {
            udp.sendDatagram(QByteArray(), 0);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QCOMPARE(error, sends ? QString() : QStringLiteral("Invalid buffer"));
        QCOMPARE(calls, handler ? 1 : 0);
        if (sends) {
            QTRY_VERIFY(peer.socket.hasPendingDatagrams());
            QCOMPARE(peer.received().at(0).data().size(), 10);
        }
    }

    void theNullAddressSendsNothing() {
        UdpEndpoint udp;
        QSignalSpy sent(&udp, &UdpEndpoint::dataSent);
        udp.remoteHost = QStringLiteral("0.0.0.0");
        udp.remotePort = 2302;
        QVERIFY_THROWS_EXCEPTION(UdpSocketError, udp.sendDatagram(QByteArray(10, 'x'), 10));
        QCOMPARE(sent.count(), 0);
    }

    void anUnknownNameIsTriedTwiceThenCanceled() {
        int lookups = 0;
        UdpEndpoint udp(nullptr, tableResolver({}, &lookups));
        int invalid = 0;
        connect(&udp, &UdpEndpoint::invalidHost, this, [&](bool&) { ++invalid; });
        QSignalSpy failed(&udp, &UdpEndpoint::sendFailed);
        QSignalSpy sent(&udp, &UdpEndpoint::dataSent);
        udp.remoteHost = QStringLiteral("nowhere.example");
        udp.remotePort = 2302;
        udp.sendDatagram(QByteArray(10, 'x'), 10); // returns at once: nothing waits
        QCOMPARE(failed.count(), 0);
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("Host Lookup Canceled"));
        QCOMPARE(invalid, 1);
        QCOMPARE(lookups, 2);
        QCOMPARE(sent.count(), 0);
    }

    void aKnownNameIsSentWhenItsLookupCompletes() {
        Peer peer;
        UdpEndpoint udp(
            nullptr, tableResolver({{QStringLiteral("game.test"), QStringLiteral("127.0.0.1")}}));
        QHostAddress to;
        udp.remoteHost = QStringLiteral("game.test");
        udp.remotePort = peer.port();
        udp.sendDatagram(QByteArray("q", 1), 1, [&](const QHostAddress& a, quint16) { to = a; });
        QTRY_VERIFY(peer.socket.hasPendingDatagrams());
        QCOMPARE(to, QHostAddress(QStringLiteral("127.0.0.1")));
    }

    void receivesWholeDatagramsWithTheirSender_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("one") << 1;
        QTest::newRow("2048") << 2048;
        QTest::newRow("3000") << 3000;
        QTest::newRow("65000") << 65000;
    }
    void receivesWholeDatagramsWithTheirSender() {
        QFETCH(int, size);
        UdpEndpoint udp;
        udp.setLocalPort(0);
        Peer peer;
        // find the port the endpoint got by sending from it first
        udp.remoteHost = QStringLiteral("127.0.0.1");
        udp.remotePort = peer.port();
        udp.sendDatagram(QByteArray("x", 1), 1);
        QTRY_VERIFY(peer.socket.hasPendingDatagrams());
        const QNetworkDatagram first = peer.received().at(0);
        QSignalSpy got(&udp, &UdpEndpoint::dataReceived);
        const QByteArray payload(size, 'r');
        peer.socket.writeDatagram(payload, first.senderAddress(), first.senderPort());
        QTRY_COMPARE(got.count(), 1);
        QCOMPARE(got.at(0).at(0).toInt(), size);
        QCOMPARE(got.at(0).at(1).toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(got.at(0).at(2).toInt(), int(peer.port()));
        QCOMPARE(udp.readLastDatagram(), payload);
    }

    // More than one report's worth arrives in order, each with its own bytes, and the endpoint
    // still hears the datagram that comes after the burst.
    void aBurstArrivesWholeAndInOrder() {
        UdpEndpoint udp;
        Peer peer;
        QList<QByteArray> got;
        connect(&udp, &UdpEndpoint::dataReceived, this,
                [&](int n) { got << udp.readLastDatagram().left(n); });
        udp.remoteHost = QStringLiteral("127.0.0.1");
        udp.remotePort = peer.port();
        udp.sendDatagram(QByteArray("hi", 2), 2);
        QTRY_VERIFY(peer.socket.hasPendingDatagrams());
        const quint16 to = peer.received().at(0).senderPort();
        for (int i = 0; i < 700; ++i)
            peer.socket.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, to);
        QTRY_COMPARE(got.size(), 700);
        for (int i = 0; i < 700; ++i)
            QCOMPARE(got[i], QByteArray::number(i));
        QCoreApplication::sendPostedEvents(); // a read the endpoint queued for itself: now idle
        peer.socket.writeDatagram(QByteArray("after"), QHostAddress::LocalHost, to);
        QTRY_COMPARE(got.size(), 701);
        QCOMPARE(got.last(), QByteArray("after"));
    }

    // A handler that runs an event loop of its own, as a modal box does, while more datagrams
    // come: none of them is lost, and the endpoint still hears what comes after.
    void aHandlerThatWaitsLosesNothing() {
        UdpEndpoint udp;
        Peer peer;
        const auto to = static_cast<quint16>(udp.boundPort());
        QList<QByteArray> got;
        connect(&udp, &UdpEndpoint::dataReceived, this, [&](int n) {
            got << udp.readLastDatagram().left(n);
            if (got.size() > 1)
                return;
            for (int i = 1; i <= 5; ++i)
                peer.socket.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, to);
            QTest::qWait(100); // the point: an event loop of its own while they arrive
        });
        peer.socket.writeDatagram(QByteArray("0"), QHostAddress::LocalHost, to);
        QTRY_COMPARE(got.size(), 6);
        QCOMPARE(got, (QList<QByteArray>{"0", "1", "2", "3", "4", "5"}));
        peer.socket.writeDatagram(QByteArray("after"), QHostAddress::LocalHost, to);
        QTRY_COMPARE(got.size(), 7);
    }

    void twoEndpointsEachGetOnlyTheirOwn() {
        UdpEndpoint browser, watcher;
        QSignalSpy b(&browser, &UdpEndpoint::dataReceived);
        QSignalSpy w(&watcher, &UdpEndpoint::dataReceived);
        QUdpSocket out;
        out.writeDatagram(QByteArray("to browser"), QHostAddress::LocalHost,
                          static_cast<quint16>(browser.boundPort()));
        out.writeDatagram(QByteArray("to watcher!"), QHostAddress::LocalHost,
                          static_cast<quint16>(watcher.boundPort()));
        QTRY_COMPARE(b.count(), 1);
        QTRY_COMPARE(w.count(), 1);
        QTest::qWait(20); // the point: nothing more arrives at the browser's endpoint
        QCOMPARE(b.count(), 1);
        QCOMPARE(browser.readLastDatagram(), QByteArray("to browser"));
        QCOMPARE(watcher.readLastDatagram(), QByteArray("to watcher!"));
    }

    void aPortInUseIsSilentAndRepliesStillArrive() {
        UdpEndpoint first, second;
        second.setLocalPort(first.boundPort()); // taken: silent
        QCOMPARE(second.localPort(), first.boundPort());
        QVERIFY(second.boundPort() != first.boundPort());
        Peer peer;
        second.remoteHost = QStringLiteral("127.0.0.1");
        second.remotePort = peer.port();
        second.sendDatagram(QByteArray("q", 1), 1);
        QTRY_VERIFY(peer.socket.hasPendingDatagrams());
        const QNetworkDatagram d = peer.received().at(0);
        QCOMPARE(d.senderPort(), second.boundPort());
        QSignalSpy got(&second, &UdpEndpoint::dataReceived);
        peer.socket.writeDatagram(QByteArray("reply"), d.senderAddress(), d.senderPort());
        QTRY_COMPARE(got.count(), 1);
    }
};

QTEST_MAIN(TestUdpEndpoint)
#include "test_udp_endpoint.moc"
