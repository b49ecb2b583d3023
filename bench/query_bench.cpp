// One query pass over 1000 fake servers on 127.0.0.1 (0-40 players each, one replying after
// 50 ms): wall time, replies lost and the slow server's ping error; then qstat over the same
// servers in the same run, and the ratio.
#include "bench_util.h"
#include "query_pass.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString dir = QCoreApplication::applicationDirPath();
    const int count = 1000, base = 30000, slowIndex = 500;
    // The slow server runs in a process of its own, so that its 50 ms are not stretched by
    // the 999 others: the ping error is then ours alone.
    QProcess server, slow;
    server.start(dir + QStringLiteral("/fake_game_server"),
                 {QStringLiteral("--players"), QStringLiteral("0-40"),
                  QStringLiteral("%1-%2").arg(base).arg(base + slowIndex - 1),
                  QStringLiteral("%1-%2").arg(base + slowIndex + 1).arg(base + count - 1)});
    slow.start(dir + QStringLiteral("/fake_game_server"),
               {QStringLiteral("--players"), QStringLiteral("20"), QStringLiteral("--delay"),
                QStringLiteral("50"), QString::number(base + slowIndex)});
    if (!server.waitForReadyRead(10000) || !slow.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the fake game server did not start\n");
        return 1;
    }
    std::vector<QueryPass::Server> servers;
    for (int i = 0; i < count; ++i)
        servers.push_back({"127.0.0.1", std::to_string(base + i)});

    std::vector<double> walls, pingErrors;
    int lost = 0;
    for (int run = 0; run < 5; ++run) {
        UdpEndpoint udp;
        QueryPass pass(udp);
        QElapsedTimer t;
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&pass, &QueryPass::serverUpdated, &loop, [&] {
            if (pass.allSettled())
                loop.quit();
        });
        limit.start(3000);
        t.start();
        pass.start(servers);
        if (!pass.allSettled())
            loop.exec();
        walls.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        int missing = 0;
        for (const auto& r : pass.results())
            missing += r.outcome != QueryPass::Outcome::Answered;
        lost = std::max(lost, missing);
        pingErrors.push_back(pass.results()[slowIndex].pingMs - 50.0);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(pingErrors.begin(), pingErrors.end());

    // qstat over the same servers
    QTemporaryFile list;
    list.open();
    for (int i = 0; i < count; ++i)
        list.write(QStringLiteral("127.0.0.1:%1\n").arg(base + i).toUtf8());
    list.flush();
    std::vector<double> qstat;
    for (int run = 0; run < 5; ++run) {
        QProcess q;
        QElapsedTimer t;
        t.start();
        q.start(QStringLiteral("quakestat"),
                {QStringLiteral("-P"), QStringLiteral("-R"), QStringLiteral("-default"),
                 QStringLiteral("gs2"), QStringLiteral("-f"), list.fileName()});
        if (!q.waitForFinished(60000)) {
            std::fprintf(stderr, "qstat did not run (is the qstat package installed?)\n");
            break;
        }
        qstat.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(qstat.begin(), qstat.end());
    const double wall = walls[walls.size() / 2];
    std::printf("servers %d, replies lost (worst of %zu passes) %d, slow server ping error "
                "median %.2f ms (max %.2f)\n",
                count, walls.size(), lost, pingErrors[pingErrors.size() / 2], pingErrors.back());
    if (!qstat.empty())
        report("query pass, 1000 servers", wall, qstat[qstat.size() / 2], "qstat same servers");
    else
        std::printf("query pass, 1000 servers: %.2f ms\n", wall);
    std::printf("targets: 0 lost %s; ping error <= 2 ms %s; wall <= 0.5 x qstat %s\n",
                lost == 0 ? "met" : "MISSED",
                std::abs(pingErrors[pingErrors.size() / 2]) <= 2 ? "met" : "MISSED",
                !qstat.empty() && wall <= 0.5 * qstat[qstat.size() / 2] ? "met" : "MISSED");
    for (QProcess* p : {&server, &slow}) {
        p->kill();
        p->waitForFinished();
    }
    return 0;
}
