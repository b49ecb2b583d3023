#include "fake_reply.h"
#include "query_pass.h"
#include "responder.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>
#include <memory>
#ifndef _WIN32
#include <sys/resource.h>
#endif

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
#ifndef _WIN32
        rlimit lim{};
        if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
            lim.rlim_cur = lim.rlim_max; // a socket a server
            setrlimit(RLIMIT_NOFILE, &lim);
        }
#endif
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
    // An entry by host name and its twins by dotted address, one with its port written with a
    // leading zero, all take every reply from that address and port, also one that comes
    // before the name's lookup has ended.
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
        QTRY_COMPARE(updates[2], 3);
        QVERIFY(pass.results()[2].outcome == QueryPass::Outcome::Answered);
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
        QueryPass::Options gameSpyOnly; // these servers answer anything with a status reply
        gameSpyOnly.a2s = false;
        pass.setOptions(gameSpyOnly);
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
        pass.setOptions({2, 50, 50, true, false});
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

    // Each server is asked both ways; the first answer fills its result, the other request is
    // then left alone, and the result says which protocol answered.
    void eachServerIsFilledByTheQueryItAnswers_data() {
        QTest::addColumn<bool>("gameSpy");
        QTest::addColumn<bool>("a2s");
        QTest::addColumn<bool>("challenge");
        QTest::addColumn<int>("split");
        QTest::addColumn<bool>("lying");
        QTest::addColumn<bool>("stateTag");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("players");
        QTest::addColumn<bool>("error");
        const int gs = int(QueryPass::Protocol::GameSpy), steam = int(QueryPass::Protocol::A2s);
        QTest::newRow("gameSpyOnly")
            << true << false << true << 0 << false << true << gs << "7" << 3 << false;
        QTest::newRow("steamWithChallenge")
            << false << true << true << 0 << false << true << steam << "7" << 3 << false;
        QTest::newRow("steamWithoutChallenge")
            << false << true << false << 0 << false << true << steam << "7" << 3 << false;
        QTest::newRow("steamSplitOutOfOrder")
            << false << true << true << 4 << false << true << steam << "7" << 3 << false;
        QTest::newRow("steamLyingSplitHeader")
            << false << true << true << 3 << true << true << steam << "7" << 0 << true;
        QTest::newRow("steamNoStateTag")
            << false << true << false << 2 << false << false << steam << "" << 3 << false;
        QTest::newRow("both") << true << true << true << 0 << false << true << gs << "7" << 3
                              << false;
    }
    void eachServerIsFilledByTheQueryItAnswers() {
        QFETCH(bool, gameSpy);
        QFETCH(bool, a2s);
        QFETCH(bool, challenge);
        QFETCH(int, split);
        QFETCH(bool, lying);
        QFETCH(bool, stateTag);
        QFETCH(int, protocol);
        QFETCH(QString, state);
        QFETCH(int, players);
        QFETCH(bool, error);
        Responder server(0);
        server.state.players = {{QStringLiteral("Zoë"), 12},
                                {QStringLiteral("Miyu 美優"), -3},
                                {QStringLiteral("José"), 0}};
        server.state.mission = QStringLiteral("Évasion");
        server.answersGameSpy = gameSpy;
        server.answersA2s = a2s;
        server.a2s = {challenge, split, lying, stateTag, false};
        UdpEndpoint udp;
        QueryPass pass(udp);
        pass.setOptions({1, 200, 200});
        pass.start({{"127.0.0.1", server.port()}});
        QTRY_VERIFY(pass.isFinished());
        const QueryPass::Result& r = pass.results()[0];
        QVERIFY(r.outcome == QueryPass::Outcome::Answered);
        QCOMPARE(int(r.protocol), protocol);
        QCOMPARE(r.reply.mission, std::optional<std::string>("Évasion"));
        QCOMPARE(r.reply.gameState.value_or(""), state.toStdString());
        QCOMPARE(int(r.reply.players.size()), players);
        if (players)
            QCOMPARE(r.reply.players[1].name, std::string("Miyu 美優"));
        QCOMPARE(!r.error.empty(), error);
        QVERIFY(r.pingMs >= 0 && r.pingMs < 1000);
        // The protocol that did not answer is not asked again.
        QCOMPARE(server.requests, 1);
        // info, players, each again with the challenge it lacked, a broken reply asked again
        if (!gameSpy)
            QCOMPARE(server.a2sRequests, 3 + challenge + lying);
    }

    // A GameSpy reply that carries another request's id is no reply, however well it reads.
    void aReplyWithAnotherIdIsNoReply() {
        Responder server(2);
        server.state.id = "CORX";
        server.answersA2s = false;
        UdpEndpoint udp;
        QueryPass pass(udp);
        pass.setOptions({0, 200, 200});
        pass.start({{"127.0.0.1", server.port()}});
        QTRY_VERIFY(pass.isFinished());
        QVERIFY(pass.results()[0].outcome != QueryPass::Outcome::Answered);
        QVERIFY(pass.results()[0].reply.players.empty());
    }

    // A challenge is the server's for this client: the next pass sends it with its requests.
    void aKnownChallengeSavesARoundTrip() {
        Responder server(2);
        server.answersGameSpy = false;
        server.answersA2s = true;
        UdpEndpoint udp;
        QueryPass pass(udp);
        for (const int requests : {4, 6}) {
            pass.start({{"127.0.0.1", server.port()}});
            QTRY_VERIFY(pass.isFinished());
            QVERIFY(pass.results()[0].protocol == QueryPass::Protocol::A2s);
            QCOMPARE(server.a2sRequests, requests);
        }
    }

    // A stored query port replaces the game port + 1, for the Steam query only.
    void aStoredQueryPortIsAskedInstead() {
        Responder game(0), query(2);
        game.silent = true;
        query.answersGameSpy = false;
        query.answersA2s = true;
        UdpEndpoint udp;
        QueryPass pass(udp);
        pass.start({{"127.0.0.1", game.port(), std::to_string(query.portNumber() + 1)},
                    {"127.0.0.1", query.port(), "x"}});
        QTRY_VERIFY(pass.isFinished());
        QVERIFY(pass.results()[0].protocol == QueryPass::Protocol::A2s);
        QCOMPARE(pass.results()[0].reply.players.size(), size_t(2));
        QCOMPARE(game.a2sRequests, 0);
        QVERIFY(pass.results()[1].outcome == QueryPass::Outcome::Waiting);
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
