#include "http_responder.h"
#include "master_list_run.h"
#include "steam_web_list.h"

#include <QtTest>

class TestMasterList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every page is asked from one socket with the last address before it as the seed, and
    // every address is listed once, in the master's order, whatever the master's mishaps.
    void listsEveryServerOnce_data() {
        QTest::addColumn<QString>("switches");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("pagesPerWindow"); // the client's pacing, in a 400 ms window
        QTest::newRow("one page") << "--servers 5" << 5 << 0;
        QTest::newRow("empty list") << "--servers 0" << 0 << 0;
        QTest::newRow("end mark alone") << "--servers 9 --per-page 3" << 9 << 0;
        QTest::newRow("repeats listed once") << "--servers 10 --per-page 4 --repeat" << 10 << 0;
        QTest::newRow("lost page") << "--servers 10 --per-page 3 --lose-page 1" << 10 << 0;
        QTest::newRow("page twice") << "--servers 10 --per-page 3 --duplicate-page 1" << 10 << 0;
        QTest::newRow("no end mark") << "--servers 10 --per-page 3 --no-end" << 10 << 0;
        QTest::newRow("junk, a stranger") << "--servers 10 --per-page 3 --garbage" << 10 << 0;
        QTest::newRow("paced") << "--servers 12 --per-page 2 --pace 2 --pace-window 300" << 12 << 2;
    }
    void listsEveryServerOnce() {
        QFETCH(QString, switches);
        QFETCH(int, count);
        QFETCH(int, pagesPerWindow);
        MasterList::Options o;
        o.pagesPerWindow = pagesPerWindow;
        o.windowMs = 400;
        o.replyWaitMs = 500;
        MasterListRun r;
        QVERIFY(r.run(switches, QStringLiteral("127.0.0.1:%1"), o));
        QCOMPARE(r.outcome(), MasterList::Outcome::Complete);
        QCOMPARE(r.lister->statusText(),
                 count ? QStringLiteral("The master server lists %1 servers").arg(count)
                       : QStringLiteral("The master server lists no servers"));
        QCOMPARE(r.listed(), fakeMasterServers(count));
        QCOMPARE(r.added, count);
        QVERIFY(r.contiguous);
        QCOMPARE(r.fake->clientPorts.size(), 1);
        QCOMPARE(r.fake->restarts + r.fake->badSeeds + r.fake->silenced, 0);
        QCOMPARE(r.fake->lastFilter, QByteArray("\\gamedir\\arma2arrowpc"));
        QCOMPARE(r.fake->lastRegion, 0xFF);
        if (switches.contains(QLatin1String("--garbage")))
            QVERIFY(r.lister->ignoredReplies() >= 4);
    }

    // A master that falls silent or is slow, or cannot be reached, ends the listing with what
    // came and a status that says why; none of it hangs.
    void endsWithWhatCame_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("switches");
        QTest::addColumn<int>("timeLimitMs");
        QTest::addColumn<MasterList::Outcome>("outcome");
        QTest::addColumn<QString>("status");
        using O = MasterList::Outcome;
        const QString local = QStringLiteral("127.0.0.1:%1"), paced = QStringLiteral("--pace 2");
        const QString gone = QStringLiteral("; the master server %1 \u2014 showing what came");
        QTest::newRow("silent after two pages")
            << local << paced << 20000 << O::Partial
            << QStringLiteral("6 servers so far") + gone.arg(QLatin1String("stopped answering"));
        QTest::newRow("time limit")
            << local << paced << 300 << O::Partial
            << QStringLiteral("6 servers so far") + gone.arg(QLatin1String("took too long"));
        QTest::newRow("silent from the start")
            << local << "--silent" << 20000 << O::Failed
            << QStringLiteral("The master server did not answer");
        QTest::newRow("by name") << "master.test:%1"
                                 << "" << 20000 << O::Complete
                                 << QStringLiteral("The master server lists 10 servers");
        QTest::newRow("unknown name")
            << "nowhere.test:%1"
            << "" << 20000 << O::Failed
            << QStringLiteral("The master server nowhere.test could not be found");
        QTest::newRow("no port") << "master.test:x"
                                 << "" << 20000 << O::Failed
                                 << QStringLiteral("'master.test:x' is no master server address");
        QTest::newRow("null address")
            << "0.0.0.0"
            << "" << 20000 << O::Failed << QStringLiteral("'0.0.0.0' is no master server address");
    }
    void endsWithWhatCame() {
        QFETCH(QString, address);
        QFETCH(QString, switches);
        QFETCH(int, timeLimitMs);
        QFETCH(MasterList::Outcome, outcome);
        QFETCH(QString, status);
        MasterList::Options o;
        o.replyWaitMs = 50;
        o.retries = timeLimitMs < 1000 ? 20 : 1; // with a short limit, retries outlast it
        o.timeLimitMs = timeLimitMs;
        MasterListRun r;
        QVERIFY(r.run(QStringLiteral("--servers 10 --per-page 3 ") + switches, address, o));
        QCOMPARE(r.outcome(), outcome);
        QCOMPARE(r.finished->at(0).at(1).toString(), status);
        QCOMPARE(r.lister->statusText(), status);
        QVERIFY(!r.lister->isRunning());
    }

    // Steam's web API: its list with the master's filter, and each bad answer told in words
    // without the key.
    void theWebApiListsOrTellsWhy_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("told");
        const QByteArray list = R"({"response":{"servers":[{"addr":"1.2.3.4:2303","gameport":2302},
            {"addr":"5.6.7.8:27016"},{"addr":"no.address:1"},{"addr":"9.9.9.9:70000"}]}})";
        QTest::newRow("list") << 200 << list << 2 << "Steam's web API lists 2 servers";
        QTest::newRow("empty") << 200 << QByteArray(R"({"response":{}})") << 0
                               << "Steam's web API lists 0 servers";
        QTest::newRow("notJson") << 200 << QByteArray("<html>") << 0
                                 << "The Steam web API's answer is not the list of servers";
        QTest::newRow("wrongKey") << 403 << QByteArray() << 0
                                  << "Steam's web API refused the key (403): check the Steam "
                                     "web API key in Options";
        QTest::newRow("huge") << 200 << QByteArray(2 << 20, ' ') << 0
                              << "Steam's web API answered with more than 1 MB";
        QTest::newRow("silent") << 0 << QByteArray() << 0
                                << "Steam's web API did not answer in 1 s";
        QTest::newRow("serverError")
            << 500 << list << 0 << "Steam's web API answered with HTTP status 500";
    }
    void theWebApiListsOrTellsWhy() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, listed);
        QFETCH(QString, told);
        HttpResponder http;
        http.status = status;
        http.body = body;
        http.silent = status == 0;
        SteamWebList web;
        SteamWebList::Options o;
        o.baseUrl = http.baseUrl();
        o.key = QStringLiteral("SECRETKEY123");
        o.filter = quorvale::masterFilter(33930);
        o.timeoutMs = 1000;
        o.maxBytes = 1 << 20;
        web.setOptions(o);
        QSignalSpy finished(&web, &SteamWebList::finished);
        web.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(web.statusText(), told);
        QCOMPARE(static_cast<int>(web.servers().size()), listed);
        if (listed)
            QCOMPARE(web.servers()[0].gamePort, std::optional<uint16_t>(2302));
        QVERIFY(http.requestLine.contains("key=SECRETKEY123"));
        QVERIFY(http.requestLine.contains("filter=%5Cgamedir%5Carma2arrowpc%5Cappid%5C33930"));
    }
};

QTEST_GUILESS_MAIN(TestMasterList)
#include "test_master_list.moc"
