#include "fake_reply.h"
#include "query_pass.h"
#include "responder.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>
#include <memory>
#include <sys/resource.h>

namespace {

HostResolver names(QMap<QString, QString> table) {
    return [table](const QString& n, QObject* ctx, std::function<void(const QHostAddress&)> done) {
        const QString ip = table.value(n);
        QMetaObject::invokeMethod(
            ctx, [done, ip] { done(ip.isEmpty() ? QHostAddress() : QHostAddress(ip)); },
            Qt::QueuedConnection);
    };
}

// Holds each lookup until the test lets it finish.
struct HeldLookups {
    std::vector<std::function<void()>> held;
    HostResolver resolver(const QString& ip) {
        return [this, ip](const QString&, QObject*, std::function<void(const QHostAddress&)> done) {
            held.push_back([done, ip] { done(QHostAddress(ip)); });
        };
    }
    void finish() {
        for (const auto& f : std::exchange(held, {}))
            f();
    }
};

// Servers on a fast network: every request that came in during an event-loop turn is answered
// in one burst at its end, each reply followed by `spoofs` datagrams from a stranger.
struct BurstServers {
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    std::vector<QUdpSocket*> asked;
    QByteArray reply;
    QUdpSocket stranger;
    int spoofs = 0;
    BurstServers(int count, const FakeServerState& state) {
        rlimit lim{};
        if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
            lim.rlim_cur = lim.rlim_max; // a socket a server
            setrlimit(RLIMIT_NOFILE, &lim);
        }
        const QByteArray request(reinterpret_cast<const char*>(quorvale::StatusRequest.data()), 10);
        reply = buildStatusReply(request, state);
        for (int i = 0; i < count; ++i) {
            auto s = std::make_unique<QUdpSocket>();
            QVERIFY(s->bind(QHostAddress::LocalHost, 0));
            QUdpSocket* raw = s.get();
            QObject::connect(raw, &QUdpSocket::readyRead, raw, [this, raw] {
                if (asked.empty())
                    QTimer::singleShot(0, raw, [this] { answer(); });
                asked.push_back(raw);
            });
            sockets.push_back(std::move(s));
        }
    }
    void answer() {
        FakeServerState other;
        other.numPlayers = QStringLiteral("99");
        const QByteArray spoof = buildStatusReply(QByteArray(10, '\0'), other);
        for (QUdpSocket* s : std::exchange(asked, {}))
            while (s->hasPendingDatagrams()) {
                const QNetworkDatagram d = s->receiveDatagram();
                s->writeDatagram(reply, d.senderAddress(), d.senderPort());
                for (int k = 0; k < spoofs; ++k)
                    stranger.writeDatagram(spoof, d.senderAddress(), d.senderPort());
            }
    }
    std::vector<QueryPass::Server> list() const {
        std::vector<QueryPass::Server> out;
        for (const auto& s : sockets)
            out.push_back({"127.0.0.1", std::to_string(s->localPort())});
        return out;
    }
};

} // namespace

class TestQueryPass : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // An entry by host name and its twin by dotted address both take every reply from that
    // address and port, also one that comes before the name's lookup has ended; an entry
    // whose port text is not the number's own text takes none.
    void twinEntriesBothTakeEveryReply_data() {
        QTest::addColumn<bool>("replyBeforeLookup");
        QTest::newRow("lookupFirst") << false;
        QTest::newRow("replyFirst") << true;
    }
    void twinEntriesBothTakeEveryReply() {
        QFETCH(bool, replyBeforeLookup);
        Responder server(3);
        HeldLookups lookups;
        UdpEndpoint udp(nullptr, lookups.resolver(QStringLiteral("127.0.0.1")));
        QueryPass pass(udp);
        QMap<int, int> updates;
        connect(&pass, &QueryPass::serverUpdated, this, [&](int i) { ++updates[i]; });
        const std::string port = server.port();
        pass.start({{"127.0.0.1", port}, {"game.test", port}, {"127.0.0.1", "0" + port}});
        if (replyBeforeLookup)
            QTRY_COMPARE(updates[0], 2); // the replies to both dotted entries' requests
        lookups.finish();
        QTRY_COMPARE(server.requests, 3);
        QTRY_COMPARE(updates[1], 3);
        QTRY_COMPARE(updates[0], 3);
        QCOMPARE(pass.results()[1].reply.players.size(), size_t(3));
        QCOMPARE(pass.results()[1].resolvedIp, std::string("127.0.0.1"));
        QVERIFY(pass.results()[2].outcome == QueryPass::Outcome::Waiting);
        QCOMPARE(updates[2], 0);
    }

    // Replies come in bursts faster than the program reads: every one that reaches the socket
    // is taken, also past the old 1 MiB backlog, and datagrams from strangers mixed in never
    // reach the parser or the owner.
    void everyReplyOfABurstIsTaken_data() {
        QTest::addColumn<int>("servers");
        QTest::addColumn<int>("players");
        QTest::addColumn<int>("spoofs");
        QTest::newRow("1025 full replies") << 1025 << 100 << 0;
        QTest::newRow("strangers mixed in") << 200 << 3 << 1;
    }
    void everyReplyOfABurstIsTaken() {
        QFETCH(int, servers);
        QFETCH(int, players);
        QFETCH(int, spoofs);
        FakeServerState state;
        for (int i = 0; i < players; ++i)
            state.players << qMakePair(QStringLiteral("Player number %1").arg(i), i);
        BurstServers burst(servers, state);
        burst.spoofs = spoofs;
        UdpEndpoint udp;
        QueryPass pass(udp);
        QSignalSpy heard(&udp, &UdpEndpoint::dataReceived);
        pass.start(burst.list());
        QTRY_VERIFY_WITH_TIMEOUT(pass.isFinished(), 30000);
        int answered = 0;
        for (const auto& r : pass.results())
            answered += r.outcome == QueryPass::Outcome::Answered &&
                        r.reply.numPlayers == std::to_string(players);
        QCOMPARE(answered, servers);
        QCOMPARE(heard.count(), servers);
    }

    // A server that lets requests pass is asked again after the interval, up to the retries;
    // the ping counts from the send it answered.
    void aServerIsAskedAgainUntilItAnswers_data() {
        QTest::addColumn<int>("ignored");
        QTest::addColumn<bool>("answered");
        QTest::newRow("answersTheSecond") << 1 << true;
        QTest::newRow("neverAnswers") << 9 << false;
    }
    void aServerIsAskedAgainUntilItAnswers() {
        QFETCH(int, ignored);
        QFETCH(bool, answered);
        Responder server(2);
        server.ignore = ignored;
        UdpEndpoint udp;
        QueryPass pass(udp);
        QElapsedTimer clock;
        clock.start();
        pass.setClock([&] { return clock.nsecsElapsed(); });
        pass.setOptions({2, 50, 50});
        std::vector<qint64> sends; // just after each send left
        connect(&udp, &UdpEndpoint::dataSent, this, [&] { sends.push_back(clock.nsecsElapsed()); });
        QSignalSpy finished(&pass, &QueryPass::finished);
        pass.start({{"127.0.0.1", server.port()}});
        QTRY_COMPARE(finished.count(), 1);
        const QueryPass::Result& r = pass.results()[0];
        QCOMPARE(server.requests, answered ? 2 : 3);
        QCOMPARE(r.sends, server.requests);
        QCOMPARE(r.outcome == QueryPass::Outcome::Answered, answered);
        if (answered) {
            QVERIFY(r.sentNs > sends[0] && r.sentNs <= sends[1]);
            QCOMPARE(r.pingMs, static_cast<double>(r.replyNs - r.sentNs) / 1e6);
        }
    }

    void theSlowServersPingIsItsOwnRoundTrip() {
        Responder fast(1), slow(1);
        slow.delayMs = 50;
        UdpEndpoint udp;
        QueryPass pass(udp);
        pass.start({{"127.0.0.1", slow.port()}, {"127.0.0.1", fast.port()}});
        QTRY_VERIFY(pass.allSettled());
        // the reply cannot come back before the server's delay: the ping holds it
        const double slowPing = pass.results()[0].pingMs;
        QVERIFY2(slowPing >= 50, qPrintable(QString::number(slowPing)));
        QVERIFY(pass.results()[1].pingMs > 0);
    }

    void aBadPortFailsThatServerAndThePassGoesOn() {
        Responder server(0);
        UdpEndpoint udp(nullptr, names({}));
        QueryPass pass(udp);
        QSignalSpy done(&pass, &QueryPass::sendsDone);
        pass.start({{"127.0.0.1", "abc"},
                    {"127.0.0.1", "70000"},
                    {"nowhere.test", "2302"},
                    {"127.0.0.1", server.port()}});
        QCOMPARE(pass.results()[0].error, std::string("'abc' is not a valid integer value"));
        QVERIFY(pass.results()[1].outcome == QueryPass::Outcome::Failed);
        QTRY_VERIFY(pass.allSettled());
        QVERIFY(pass.results()[2].outcome == QueryPass::Outcome::HostNotFound);
        QVERIFY(pass.results()[3].outcome == QueryPass::Outcome::Answered);
        QCOMPARE(done.count(), 1);
    }

    void aFullServersReplyIsCutAt1400BytesAndStillReads() {
        FakeServerState full;
        for (int i = 0; i < 100; ++i)
            full.players << qMakePair(QStringLiteral("Player number %1").arg(i), i);
        const QByteArray request(reinterpret_cast<const char*>(quorvale::StatusRequest.data()), 10);
        const QByteArray reply = buildStatusReply(request, full);
        QCOMPARE(reply.size(), 1400);
        QCOMPARE(reply.back(), '\0');
        const auto r = quorvale::parseStatusReply(
            reinterpret_cast<const uint8_t*>(reply.constData()), static_cast<size_t>(reply.size()));
        QCOMPARE(r.numPlayers, std::optional<std::string>("100"));
        QVERIFY(r.players.size() > 10 && r.players.size() < 100);
        QCOMPARE(r.players.front().name, std::string("Player number 0"));
    }
};

QTEST_MAIN(TestQueryPass)
#include "test_query_pass.moc"
