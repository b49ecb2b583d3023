#include "fake_master.h"
#include "master_list.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// master.test is 127.0.0.1; every other name is unknown.
HostResolver masterName() {
    return [](const QString& name, QObject* ctx, std::function<void(const QHostAddress&)> done) {
        const bool known = name == QLatin1String("master.test");
        QMetaObject::invokeMethod(
            ctx, [done, known] { done(known ? QHostAddress::LocalHost : QHostAddress()); },
            Qt::QueuedConnection);
    };
}

// The list with every third address followed by itself and by an earlier one.
std::vector<FakeMaster::Address> withRepeats(const std::vector<FakeMaster::Address>& list) {
    std::vector<FakeMaster::Address> out;
    for (size_t i = 0; i < list.size(); ++i) {
        out.push_back(list[i]);
        if (i % 3 == 0)
            out.insert(out.end(), {list[i], list[i / 2]});
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(FakeMasterOptions)

class TestMasterList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every page is asked from one socket with the last address before it as the seed, and
    // every address is listed once, in the master's order, whatever the master's mishaps.
    void listsEveryServerOnce_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("repeats");
        QTest::addColumn<FakeMasterOptions>("master");
        QTest::addColumn<int>("pagesPerWindow"); // the client's pacing, in a 400 ms window
        const auto opts = [](int perPage, auto change) {
            FakeMasterOptions o;
            o.perPage = perPage;
            change(o);
            return o;
        };
        const auto same = [](FakeMasterOptions&) {};
        QTest::newRow("one page") << 5 << false << opts(231, same) << 0;
        QTest::newRow("empty list") << 0 << false << opts(231, same) << 0;
        QTest::newRow("end mark alone") << 9 << false << opts(3, same) << 0;
        QTest::newRow("repeats listed once") << 10 << true << opts(4, same) << 0;
        QTest::newRow("lost page asked again")
            << 10 << false << opts(3, [](auto& o) { o.losePage = 1; }) << 0;
        QTest::newRow("page sent twice")
            << 10 << false << opts(3, [](auto& o) { o.duplicatePage = 1; }) << 0;
        QTest::newRow("no end mark")
            << 10 << false << opts(3, [](auto& o) { o.noEnd = true; }) << 0;
        QTest::newRow("garbage and a stranger")
            << 10 << false << opts(3, [](auto& o) { o.garbage = true; }) << 0;
        QTest::newRow("paced within the master's limit") << 12 << false << opts(2, [](auto& o) {
            o.pace = 2;
            o.paceWindowMs = 300;
        }) << 2;
    }
    void listsEveryServerOnce() {
        QFETCH(int, count);
        QFETCH(bool, repeats);
        QFETCH(FakeMasterOptions, master);
        QFETCH(int, pagesPerWindow);
        FakeMaster fake;
        fake.options = master;
        const auto unique = FakeMaster::generated(count);
        fake.servers = repeats ? withRepeats(unique) : unique;
        MasterList list;
        list.setOptions({QStringLiteral("127.0.0.1:%1").arg(fake.port()), quorvale::masterFilter(),
                         0xFF, pagesPerWindow, 400, 500, 3, 60000});
        int added = 0;
        connect(&list, &MasterList::serversAdded, this, [&](int first, int n) {
            QCOMPARE(first, added);
            added += n;
        });
        QSignalSpy finished(&list, &MasterList::finished);
        list.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(finished[0][0].value<MasterList::Outcome>(), MasterList::Outcome::Complete);
        QCOMPARE(list.statusText(),
                 count ? QStringLiteral("The master server lists %1 servers").arg(count)
                       : QStringLiteral("The master server lists no servers"));
        QCOMPARE(static_cast<int>(list.servers().size()), count);
        QCOMPARE(added, count);
        for (int i = 0; i < count; ++i)
            QCOMPARE(FakeMaster::Address(list.servers()[i].ip, list.servers()[i].port), unique[i]);
        QCOMPARE(fake.clientPorts.size(), 1);
        QCOMPARE(fake.restarts, 0);
        QCOMPARE(fake.badSeeds, 0);
        QCOMPARE(fake.silenced, 0);
        QCOMPARE(fake.lastFilter, QByteArray("\\gamedir\\arma2arrowpc"));
        QCOMPARE(fake.lastRegion, 0xFF);
        if (master.garbage)
            QVERIFY(list.ignoredReplies() >= 4);
    }

    // A master that falls silent or is slow, or cannot be reached, ends the listing with what
    // came and a status that says why; none of it hangs.
    void endsWithWhatCame_data() {
        QTest::addColumn<QString>("address"); // %1: the fake master's port
        QTest::addColumn<int>("pace");        // pages before the master falls silent, 0: none
        QTest::addColumn<bool>("silent");
        QTest::addColumn<int>("timeLimitMs");
        QTest::addColumn<MasterList::Outcome>("outcome");
        QTest::addColumn<QString>("status");
        using O = MasterList::Outcome;
        const QString stopped = QStringLiteral(
            "6 servers so far; the master server stopped answering \u2014 showing what came");
        QTest::newRow("silent after two pages")
            << "127.0.0.1:%1" << 2 << false << 20000 << O::Partial << stopped;
        QTest::newRow("time limit") << "127.0.0.1:%1" << 2 << false << 300 << O::Partial
                                    << QStringLiteral("6 servers so far; the master server took "
                                                      "too long \u2014 showing what came");
        QTest::newRow("silent from the start")
            << "127.0.0.1:%1" << 0 << true << 20000 << O::Failed
            << QStringLiteral("The master server did not answer");
        QTest::newRow("by name") << "master.test:%1" << 0 << false << 20000 << O::Complete
                                 << QStringLiteral("The master server lists 10 servers");
        QTest::newRow("unknown name")
            << "nowhere.test:%1" << 0 << false << 20000 << O::Failed
            << QStringLiteral("The master server nowhere.test could not be found");
        QTest::newRow("no port") << "master.test:x" << 0 << false << 20000 << O::Failed
                                 << QStringLiteral("'master.test:x' is no master server address");
        QTest::newRow("null address") << "0.0.0.0" << 0 << false << 20000 << O::Failed
                                      << QStringLiteral("'0.0.0.0' is no master server address");
    }
    void endsWithWhatCame() {
        QFETCH(QString, address);
        QFETCH(int, pace);
        QFETCH(bool, silent);
        QFETCH(int, timeLimitMs);
        QFETCH(MasterList::Outcome, outcome);
        QFETCH(QString, status);
        FakeMaster fake;
        fake.options.perPage = 3;
        fake.options.pace = pace;
        fake.options.silent = silent;
        fake.servers = FakeMaster::generated(10);
        MasterList list(nullptr, masterName());
        const bool limited = timeLimitMs < 1000; // then retries outlast the limit
        list.setOptions(
            {QString(address).replace(QLatin1String("%1"), QString::number(fake.port())),
             quorvale::masterFilter(), 0xFF, 0, 60000, 50, limited ? 20 : 1, timeLimitMs});
        QSignalSpy finished(&list, &MasterList::finished);
        list.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(finished[0][0].value<MasterList::Outcome>(), outcome);
        QCOMPARE(finished[0][1].toString(), status);
        QVERIFY(!list.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestMasterList)
#include "test_master_list.moc"
