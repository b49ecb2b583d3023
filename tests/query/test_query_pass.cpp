#include "fake_reply.h"
#include "query_pass.h"
#include "responder.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

namespace {

HostResolver names(QMap<QString, QString> table) {
    return [table](const QString& n, QObject* ctx, std::function<void(const QHostAddress&)> done) {
        const QString ip = table.value(n);
        QMetaObject::invokeMethod(
            ctx, [done, ip] { done(ip.isEmpty() ? QHostAddress() : QHostAddress(ip)); },
            Qt::QueuedConnection);
    };
}

} // namespace

class TestQueryPass : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aReplyMatchesEveryEntryOfItsAddressAndPortText() {
        Responder server(3);
        UdpEndpoint udp(nullptr,
                        names({{QStringLiteral("game.test"), QStringLiteral("127.0.0.1")}}));
        QueryPass pass(udp);
        const std::string port = server.port();
        pass.start({{"127.0.0.1", port}, {"game.test", port}, {"127.0.0.1", "0" + port}});
        QTRY_VERIFY(pass.results()[0].outcome == QueryPass::Outcome::Answered);
        QTRY_VERIFY(pass.results()[1].outcome == QueryPass::Outcome::Answered);
        QCOMPARE(pass.results()[0].reply.numPlayers, std::optional<std::string>("3"));
        QCOMPARE(pass.results()[1].reply.players.size(), size_t(3));
        QTest::qWait(100);
        // "0" + port names the same number but not the same text: no reply is taken for it
        QVERIFY(pass.results()[2].outcome == QueryPass::Outcome::Waiting);
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
