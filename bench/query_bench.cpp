// The query pass against qstat in the same run, over servers on 127.0.0.1 that answer from
// replies built once (fast_responder), so that they are never the bottleneck:
//  - 5000 servers with 1-40 players, half answering the GameSpy status query on the game port,
//    half the Steam query (challenge required) on the query port, one of the GameSpy ones
//    replying after 50 ms from a process of its own: wall time, replies lost, the slow
//    server's ping error;
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

// The servers, and which query each one answers.
struct ServerList {
    std::vector<QueryPass::Server> servers;
    std::vector<QueryPass::Protocol> answers;
};

// Answered by the protocol the server speaks; a Steam answer also has every player of its info.
bool complete(const QueryPass::Result& r, QueryPass::Protocol expected) {
    if (r.outcome != QueryPass::Outcome::Answered || r.protocol != expected)
        return false;
    if (expected != QueryPass::Protocol::A2s)
        return true;
    const auto& numPlayers = r.reply.numPlayers;
    return !r.reply.players.empty() && numPlayers &&
           *numPlayers == std::to_string(r.reply.players.size());
}

// Five passes until every server is complete (or 3 s went by).
Passes runPasses(const ServerList& list, const QueryPass::Options& options, int slowIndex) {
    Passes out;
    const auto& servers = list.servers;
    for (int run = 0; run < 5; ++run) {
        UdpEndpoint udp;
        QueryPass pass(udp);
        pass.setOptions(options);
        QEventLoop loop;
        size_t done = 0;
        std::vector<bool> seen(servers.size(), false);
        QObject::connect(&pass, &QueryPass::serverUpdated, &loop, [&](int i) {
            const auto k = static_cast<size_t>(i);
            if (!seen[k] && complete(pass.results()[k], list.answers[k])) {
                seen[k] = true;
                if (++done == servers.size())
                    loop.quit();
            }
        });
        QObject::connect(&pass, &QueryPass::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        QElapsedTimer t;
        t.start();
        pass.start(servers);
        loop.exec();
        out.walls.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        int missing = 0;
        for (size_t k = 0; k < servers.size(); ++k)
            missing += !complete(pass.results()[k], list.answers[k]);
        out.lost = std::max(out.lost, missing);
        if (slowIndex >= 0)
            out.pingErrors.push_back(pass.results()[static_cast<size_t>(slowIndex)].pingMs - 50.0);
    }
    std::sort(out.walls.begin(), out.walls.end());
    std::sort(out.pingErrors.begin(), out.pingErrors.end());
    return out;
}

struct Qstat {
    double wallMs = -1; // median of the runs; -1 when it cannot run
    int answered = 0;   // servers answering in the worst run
};

// qstat over the same servers, each asked with the query it answers ("gs2 host:port" or
// "a2s host:queryport" in its list), three times: its Steam queries take half a minute a run,
// as it waits its retry interval between the info reply and the player request. Without -R:
// it would ask the Steam servers for rules too, which the pass does not.
Qstat runQstat(const ServerList& servers) {
    QTemporaryFile list;
    list.open();
    for (size_t k = 0; k < servers.servers.size(); ++k) {
        const auto& s = servers.servers[k];
        const bool a2s = servers.answers[k] == QueryPass::Protocol::A2s;
        list.write(QStringLiteral("%1 %2:%3\n")
                       .arg(a2s ? QStringLiteral("a2s") : QStringLiteral("gs2"),
                            QString::fromStdString(s.host),
                            QString::fromStdString(a2s ? s.queryPort : s.port))
                       .toUtf8());
    }
    list.flush();
    Qstat out;
    std::vector<double> t;
    for (int run = 0; run < 3; ++run) {
        QProcess q;
        QElapsedTimer clock;
        clock.start();
        // -raw: a server's line is "TYPE,address,name,..." or "TYPE,address,DOWN|TIMEOUT".
        q.start(QStringLiteral("quakestat"),
                {QStringLiteral("-P"), QStringLiteral("-nh"), QStringLiteral("-raw"),
                 QStringLiteral(","), QStringLiteral("-f"), list.fileName()});
        if (!q.waitForFinished(300000)) {
            std::fprintf(stderr, "qstat did not run (is the qstat package installed?)\n");
            return {};
        }
        t.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        int answered = 0;
        for (const QByteArray& line : q.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = line.split(',');
            if (f.size() > 2 && (f[0] == "GS2" || f[0] == "A2S") && f[2] != "DOWN" &&
                f[2] != "TIMEOUT")
                ++answered;
        }
        out.answered = run == 0 ? answered : std::min(out.answered, answered);
    }
    std::sort(t.begin(), t.end());
    out.wallMs = t[t.size() / 2];
    return out;
}

// Game ports base + step * i, each with the next port as its query port. With alternate, the odd
// ones answer the Steam query on the query port, the even ones the status query on the game
// port.
ServerList range(int base, int count, int step = 1, bool alternate = false) {
    ServerList out;
    for (int i = 0; i < count; ++i) {
        const int port = base + step * i;
        out.servers.push_back({"127.0.0.1", std::to_string(port), std::to_string(port + 1)});
        out.answers.push_back(alternate && i % 2 ? QueryPass::Protocol::A2s
                                                 : QueryPass::Protocol::GameSpy);
    }
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

    // Game ports 20000-29998, query ports up to 29999: below the ephemeral ports, clear of the
    // 1025 servers' 36000-37024. Even servers: the status query on 20000 + 4 k; odd ones: the
    // Steam query on 20003 + 4 k. At least one player each, so that a Steam answer without its
    // player reply shows.
    const int count = 5000, base = 20000, slowIndex = 2500;
    const int slowPort = base + 2 * slowIndex, lastGame = base + 2 * (count - 2);
    const auto many = startServer(
        QStringLiteral("fast_responder"),
        {QStringLiteral("--players"), QStringLiteral("1-40"),
         QStringLiteral("%1-%2/4").arg(base).arg(slowPort - 4),
         QStringLiteral("%1-%2/4").arg(slowPort + 4).arg(lastGame), QStringLiteral("--a2s"),
         QStringLiteral("%1-%2/4").arg(base + 3).arg(base + 2 * (count - 1) + 1)});
    const auto slow =
        startServer(QStringLiteral("fake_game_server"),
                    {QStringLiteral("--players"), QStringLiteral("20"), QStringLiteral("--delay"),
                     QStringLiteral("50"), QString::number(slowPort)});
    const auto servers = range(base, count, 2, true);
    const Passes p = runPasses(servers, {}, slowIndex);
    const Qstat qstat = runQstat(servers);
    std::printf("5000 servers (2500 GameSpy, 2500 Steam): replies lost (worst of 5 passes) %d; "
                "slow server ping error median %.2f ms (max %.2f); qstat answered %d of %d\n",
                p.lost, p.pingError(), p.pingErrors.back(), qstat.answered, count);
    report("query pass, 5000 servers", p.wall(), qstat.wallMs, "qstat same servers");

    const int fullBase = 36000, fullCount = 1025;
    const auto full =
        startServer(QStringLiteral("fast_responder"),
                    {QStringLiteral("--full"),
                     QStringLiteral("%1-%2").arg(fullBase).arg(fullBase + fullCount - 1)});
    // GameSpy only, as the servers answer: with the Steam query on, its requests would go to the
    // neighbours' game ports, double the requests in flight and measure something else.
    QueryPass::Options gameSpyOnly;
    gameSpyOnly.a2s = false;
    const Passes f = runPasses(range(fullBase, fullCount), gameSpyOnly, -1);
    std::printf("1025 servers, every reply 1400 bytes: replies lost (worst of 5 passes) %d; wall "
                "median %.2f ms\n",
                f.lost, f.wall());

    std::printf("targets: 5000 servers 0 lost %s; ping error <= 2 ms %s; wall <= 0.5 x qstat %s; "
                "1025 full replies 0 lost %s\n",
                p.lost == 0 ? "met" : "MISSED", std::abs(p.pingError()) <= 2 ? "met" : "MISSED",
                qstat.wallMs > 0 && p.wall() <= 0.5 * qstat.wallMs ? "met" : "MISSED",
                f.lost == 0 ? "met" : "MISSED");
    for (QProcess* s : {many.get(), slow.get(), full.get()}) {
        s->kill();
        s->waitForFinished();
    }
    return 0;
}
