// The query pass against qstat in the same run, over servers on 127.0.0.1 that answer from
// replies built once (fast_responder), so that they are never the bottleneck:
//  - 5000 servers with 0-40 players, one of them replying after 50 ms from a process of its
//    own: wall time, replies lost, the slow server's ping error;
//  - 1025 servers whose replies are all cut at 1400 bytes: replies lost, wall time.
#include "bench_util.h"
#include "query_pass.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <cmath>
#include <memory>

namespace {

std::unique_ptr<QProcess> startServer(const QString& program, const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + program, args);
    if (!p->waitForReadyRead(10000)) {
        std::fprintf(stderr, "%s did not start\n", qPrintable(program));
        std::exit(1);
    }
    return p;
}

struct Passes {
    std::vector<double> walls, pingErrors;
    int lost = 0; // worst pass
    double wall() const { return walls[walls.size() / 2]; }
    double pingError() const { return pingErrors.empty() ? 0 : pingErrors[pingErrors.size() / 2]; }
};

// Five passes until every server answered (or 3 s went by).
Passes runPasses(const std::vector<QueryPass::Server>& servers, int slowIndex) {
    Passes out;
    for (int run = 0; run < 5; ++run) {
        UdpEndpoint udp;
        QueryPass pass(udp);
        QEventLoop loop;
        size_t answered = 0;
        std::vector<bool> seen(servers.size(), false);
        QObject::connect(&pass, &QueryPass::serverUpdated, &loop, [&](int i) {
            const auto k = static_cast<size_t>(i);
            if (!seen[k] && pass.results()[k].outcome == QueryPass::Outcome::Answered) {
                seen[k] = true;
                if (++answered == servers.size())
                    loop.quit();
            }
        });
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        QElapsedTimer t;
        t.start();
        pass.start(servers);
        loop.exec();
        out.walls.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        int missing = 0;
        for (const auto& r : pass.results())
            missing += r.outcome != QueryPass::Outcome::Answered;
        out.lost = std::max(out.lost, missing);
        if (slowIndex >= 0)
            out.pingErrors.push_back(pass.results()[static_cast<size_t>(slowIndex)].pingMs - 50.0);
    }
    std::sort(out.walls.begin(), out.walls.end());
    std::sort(out.pingErrors.begin(), out.pingErrors.end());
    return out;
}

// qstat over the same servers, five times; the median wall time, or -1 when it cannot run.
double runQstat(const std::vector<QueryPass::Server>& servers) {
    QTemporaryFile list;
    list.open();
    for (const auto& s : servers)
        list.write(QStringLiteral("%1:%2\n")
                       .arg(QString::fromStdString(s.host), QString::fromStdString(s.port))
                       .toUtf8());
    list.flush();
    std::vector<double> t;
    for (int run = 0; run < 5; ++run) {
        QProcess q;
        QElapsedTimer clock;
        clock.start();
        q.start(QStringLiteral("quakestat"),
                {QStringLiteral("-P"), QStringLiteral("-R"), QStringLiteral("-default"),
                 QStringLiteral("gs2"), QStringLiteral("-f"), list.fileName()});
        if (!q.waitForFinished(60000)) {
            std::fprintf(stderr, "qstat did not run (is the qstat package installed?)\n");
            return -1;
        }
        t.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::vector<QueryPass::Server> range(int base, int count) {
    std::vector<QueryPass::Server> out;
    for (int i = 0; i < count; ++i)
        out.push_back({"127.0.0.1", std::to_string(base + i)});
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    {
        UdpEndpoint probe;
        QueryPass pass(probe);
        pass.start({});
        std::printf("receive queue %d bytes: window %d requests\n", probe.receiveBufferSize(),
                    pass.window());
    }

    const int count = 5000, base = 30000, slowIndex = 2500;
    const auto many =
        startServer(QStringLiteral("fast_responder"),
                    {QStringLiteral("--players"), QStringLiteral("0-40"),
                     QStringLiteral("%1-%2").arg(base).arg(base + slowIndex - 1),
                     QStringLiteral("%1-%2").arg(base + slowIndex + 1).arg(base + count - 1)});
    const auto slow =
        startServer(QStringLiteral("fake_game_server"),
                    {QStringLiteral("--players"), QStringLiteral("20"), QStringLiteral("--delay"),
                     QStringLiteral("50"), QString::number(base + slowIndex)});
    const auto servers = range(base, count);
    const Passes p = runPasses(servers, slowIndex);
    const double qstat = runQstat(servers);
    std::printf("5000 servers: replies lost (worst of 5 passes) %d; slow server ping error median "
                "%.2f ms (max %.2f)\n",
                p.lost, p.pingError(), p.pingErrors.back());
    report("query pass, 5000 servers", p.wall(), qstat, "qstat same servers");

    const int fullBase = 36000, fullCount = 1025;
    const auto full =
        startServer(QStringLiteral("fast_responder"),
                    {QStringLiteral("--full"),
                     QStringLiteral("%1-%2").arg(fullBase).arg(fullBase + fullCount - 1)});
    const Passes f = runPasses(range(fullBase, fullCount), -1);
    std::printf("1025 servers, every reply 1400 bytes: replies lost (worst of 5 passes) %d; wall "
                "median %.2f ms\n",
                f.lost, f.wall());

    std::printf("targets: 5000 servers 0 lost %s; ping error <= 2 ms %s; wall <= 0.5 x qstat %s; "
                "1025 full replies 0 lost %s\n",
                p.lost == 0 ? "met" : "MISSED", std::abs(p.pingError()) <= 2 ? "met" : "MISSED",
                qstat > 0 && p.wall() <= 0.5 * qstat ? "met" : "MISSED",
                f.lost == 0 ? "met" : "MISSED");
    for (QProcess* s : {many.get(), slow.get(), full.get()}) {
        s->kill();
        s->waitForFinished();
    }
    return 0;
}
