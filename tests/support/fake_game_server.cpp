// A game server for tests, benchmarks and trying things by hand: answers FE FD 00 status
// requests on one or more UDP ports of 127.0.0.1 the way real servers do.
//
//   fake_game_server [--players N|A-B] [--state S] [--mission M] [--delay MS] [--silent]
//                    [--ignore N] [--slow-port P --slow-delay MS] [--reply-file FILE]
//                    [--a2s [--no-challenge] [--split N] [--mods LIST] [--mod-chunk BYTES]
//                     [--rules-split N] [--missing-chunk K] [--hostile-rules] [--no-rules]]
//                    PORT[-PORT]...
//
// --a2s answers the Steam query (A2S) instead, on those ports: give them the game port + 1.
// It asks for a challenge unless --no-challenge; --split sends player replies in N parts. The
// rules name the mods of LIST (";"-ended display names) in chunks of BYTES, the reply in N parts
// (2), without chunk K; --hostile-rules sends a huge chunk count and bytes that are no UTF-8.
// --reply-file answers every request with that file's bytes (a captured real reply).
// --ignore leaves each port's first N requests unanswered.
//
// With A-B each port gets a player count in that range. Port 0 takes a free one, with its
// neighbour (the query port after a game port, the game port before a query port) held silent.
// Once bound, prints one line: "ready" and the ports it answers on.
//
//   fake_game_server --master [--servers N | --server-file FILE] [--per-page N]
//                    [--pace N [--pace-window MS] [--silence MS]] [--lose-page K]
//                    [--duplicate-page K] [--no-end] [--garbage] [--silent] [--repeat] PORT
//
// answers like Steam's master server instead, listing N addresses from 127.1.0.1 on (query
// port 2303), or the HOST:PORT lines of FILE, in pages; --repeat lists some of them again.
// See fake_master.h for the other switches.
#include "fake_a2s.h"
#include "fake_master.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {
// A socket on `port`, or for 0 on a free one whose neighbour is free too and kept in `held`, so
// that nothing else answers a client asking there.
std::unique_ptr<QUdpSocket> bindPort(int port, bool steam,
                                     std::vector<std::unique_ptr<QUdpSocket>>& held) {
    if (port != 0) {
        auto s = std::make_unique<QUdpSocket>();
        return s->bind(QHostAddress::LocalHost, static_cast<quint16>(port)) ? std::move(s)
                                                                            : nullptr;
    }
    for (int tries = 0; tries < 100; ++tries) {
        auto game = std::make_unique<QUdpSocket>();
        auto query = std::make_unique<QUdpSocket>();
        if (game->bind(QHostAddress::LocalHost, 0) && game->localPort() < 65535 &&
            query->bind(QHostAddress::LocalHost, game->localPort() + 1)) {
            held.push_back(std::move(steam ? game : query));
            return std::move(steam ? query : game);
        }
    }
    return nullptr;
}

int serveMaster(const QStringList& args) {
    const auto setup = parseFakeMaster(args);
    if (!setup) {
        std::fprintf(stderr, "cannot read the server file\n");
        return 1;
    }
    FakeMaster master(*setup);
    if (master.port() == 0) {
        std::fprintf(stderr, "cannot bind 127.0.0.1:%d\n", setup->port);
        return 1;
    }
    std::printf("ready %d\n", master.port());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
} // namespace

int main(int argc, char** argv) {
    // One socket a port: a thousand servers need more than the usual 1024 descriptors.
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--master")))
        return serveMaster(args);
    int minPlayers = 2, maxPlayers = 2, delay = 0, slowPort = 0, slowDelay = 0, ignore = 0;
    bool silent = false;
    FakeA2sOptions a2s;
    bool steam = false;
    QString state = QStringLiteral("7"), mission = QStringLiteral("co@10 Domination");
    QList<int> ports;
    QByteArray replyFile;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QLatin1String("--players")) {
            const QStringList r = next.split(QLatin1Char('-'));
            minPlayers = r.value(0).toInt();
            maxPlayers = r.size() > 1 ? r[1].toInt() : minPlayers;
            ++i;
        } else if (a == QLatin1String("--state")) {
            state = next, ++i;
        } else if (a == QLatin1String("--mission")) {
            mission = next, ++i;
        } else if (a == QLatin1String("--delay")) {
            delay = next.toInt(), ++i;
        } else if (a == QLatin1String("--ignore")) {
            ignore = next.toInt(), ++i;
        } else if (a == QLatin1String("--slow-port")) {
            slowPort = next.toInt(), ++i;
        } else if (a == QLatin1String("--slow-delay")) {
            slowDelay = next.toInt(), ++i;
        } else if (a == QLatin1String("--reply-file")) {
            QFile f(next);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(next));
                return 1;
            }
            replyFile = f.readAll();
            ++i;
        } else if (a == QLatin1String("--a2s")) {
            steam = true;
        } else if (a == QLatin1String("--no-challenge")) {
            a2s.challenge = false;
        } else if (a == QLatin1String("--split")) {
            a2s.splitParts = next.toInt(), ++i;
        } else if (a == QLatin1String("--mods")) {
            a2s.modNames = next.toUtf8(), ++i;
        } else if (a == QLatin1String("--mod-chunk")) {
            a2s.modChunk = next.toInt(), ++i;
        } else if (a == QLatin1String("--rules-split")) {
            a2s.rulesSplit = next.toInt(), ++i;
        } else if (a == QLatin1String("--missing-chunk")) {
            a2s.missingChunk = next.toInt(), ++i;
        } else if (a == QLatin1String("--hostile-rules")) {
            a2s.hostileRules = true;
        } else if (a == QLatin1String("--no-rules")) {
            a2s.answerRules = false;
        } else if (a == QLatin1String("--silent")) {
            silent = true;
        } else {
            const QStringList r = a.split(QLatin1Char('-'));
            const int from = r.value(0).toInt(), to = r.size() > 1 ? r[1].toInt() : from;
            if (a == QLatin1String("0"))
                ports << 0;
            for (int p = from; p <= to && p > 0; ++p)
                ports << p;
        }
    }
    static const char* names[] = {"Anna",         "Björn",  "Zoë",  "Дмитрий",
                                  "[TAG] Sniper", "Łukasz", "José", "Miyu 美優"};
    std::vector<std::unique_ptr<QUdpSocket>> sockets, held;
    std::string ready = "ready";
    for (const int wanted : ports) {
        auto s = bindPort(wanted, steam, held);
        if (!s) {
            std::fprintf(stderr, "cannot bind 127.0.0.1:%d\n", wanted);
            return 1;
        }
        const int port = s->localPort();
        ready += " " + std::to_string(port);
        FakeServerState st;
        st.mission = mission;
        st.gameState = state;
        const int n =
            minPlayers + (maxPlayers > minPlayers
                              ? QRandomGenerator::global()->bounded(maxPlayers - minPlayers + 1)
                              : 0);
        for (int k = 0; k < n; ++k)
            st.players << qMakePair(QString::fromUtf8(names[k % 8]) + QString::number(k), k * 7);
        QUdpSocket* raw = s.get();
        const int wait = port == slowPort ? slowDelay : delay;
        auto ignored = std::make_shared<int>(0);
        auto splitIds = std::make_shared<quint32>(0);
        QObject::connect(raw, &QUdpSocket::readyRead, raw,
                         [raw, st, wait, silent, replyFile, ignore, ignored, steam, a2s, splitIds] {
                             while (raw->hasPendingDatagrams()) {
                                 const QNetworkDatagram d = raw->receiveDatagram();
                                 const QByteArray req = d.data();
                                 if (*ignored < ignore) {
                                     ++*ignored;
                                     continue;
                                 }
                                 if (silent)
                                     continue;
                                 QList<QByteArray> replies;
                                 if (steam)
                                     replies = buildA2sReplies(req, st, a2s, ++*splitIds);
                                 else if (req.size() >= 10 && static_cast<uchar>(req[0]) == 0xFE &&
                                          static_cast<uchar>(req[1]) == 0xFD && req[2] == 0)
                                     replies = {replyFile.isEmpty() ? buildStatusReply(req, st)
                                                                    : replyFile};
                                 const QHostAddress to = d.senderAddress();
                                 const quint16 toPort = d.senderPort();
                                 const auto answer = [raw, replies, to, toPort] {
                                     for (const QByteArray& reply : replies)
                                         raw->writeDatagram(reply, to, toPort);
                                 };
                                 if (wait > 0)
                                     QTimer::singleShot(wait, Qt::PreciseTimer, raw, answer);
                                 else
                                     answer();
                             }
                         });
        sockets.push_back(std::move(s));
    }
    std::printf("%s\n", ready.c_str());
    std::fflush(stdout);
    return app.exec();
}
