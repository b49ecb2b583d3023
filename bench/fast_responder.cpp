// Game servers that are never the bottleneck: answers FE FD 00 status requests, or the Steam
// query, on many UDP ports of 127.0.0.1 from replies built once at start, with one epoll loop
// and no event framework.
//
//   fast_responder [--players A-B | --full] [--a2s] PORT[-PORT[/STEP]]...
//
// --players gives each port a player count in that range (default 0-40); --full gives every
// port 100 players, so that each reply is cut at 1400 bytes. The ports after --a2s answer the
// Steam query (info and players, challenge required) instead of the status query. Prints
// "ready" once bound.
#include "fake_a2s.h"
#include "fake_reply.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// What one port sends back.
struct Port {
    bool a2s = false;
    QByteArray status;                   // GameSpy
    QByteArray challenge, info, players; // Steam
};

QByteArray single(const QList<QByteArray>& datagrams) {
    if (datagrams.size() != 1) {
        std::fprintf(stderr, "expected one datagram\n");
        std::exit(1);
    }
    return datagrams.front();
}

void sendBytes(int fd, const char* b, qsizetype n, const sockaddr_in& to, socklen_t len) {
    sendto(fd, b, static_cast<size_t>(n), 0, reinterpret_cast<const sockaddr*>(&to), len);
}

} // namespace

int main(int argc, char** argv) {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0) {
        lim.rlim_cur = lim.rlim_max; // a socket a port
        setrlimit(RLIMIT_NOFILE, &lim);
    }
    int minPlayers = 0, maxPlayers = 40;
    bool a2s = false;
    std::vector<std::pair<int, bool>> ports; // port, answers the Steam query
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--full") {
            minPlayers = maxPlayers = 100;
        } else if (a == "--a2s") {
            a2s = true;
        } else if (a == "--players" && i + 1 < argc) {
            const std::string r = argv[++i];
            const size_t dash = r.find('-');
            minPlayers = std::atoi(r.c_str());
            maxPlayers = dash == std::string::npos ? minPlayers : std::atoi(r.c_str() + dash + 1);
        } else {
            const size_t dash = a.find('-');
            const size_t slash = a.find('/');
            const int from = std::atoi(a.c_str());
            const int to = dash == std::string::npos ? from : std::atoi(a.c_str() + dash + 1);
            const int step = slash == std::string::npos ? 1 : std::atoi(a.c_str() + slash + 1);
            for (int p = from; p <= to && p > 0 && p < 65536 && step > 0; p += step)
                ports.emplace_back(p, a2s);
        }
    }
    const int epoll = epoll_create1(0);
    std::vector<Port> byFd; // sockets are small numbers
    std::mt19937 rng(7);
    const QByteArray request(reinterpret_cast<const char*>("\xFE\xFD\x00"
                                                           "CORY\xFF\xFF\x00"),
                             10);
    QByteArray challenge;
    for (int k = 0; k < 4; ++k)
        challenge.append(static_cast<char>((kFakeA2sChallenge >> (8 * k)) & 0xFF));
    const QByteArray infoRequest =
        QByteArray("\xFF\xFF\xFF\xFF\x54Source Engine Query", 25) + challenge;
    const QByteArray playersRequest = QByteArray("\xFF\xFF\xFF\xFF\x55", 5) + challenge;
    for (const auto& [port, steam] : ports) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<uint16_t>(port));
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            std::fprintf(stderr, "cannot bind 127.0.0.1:%d: %s\n", port, std::strerror(errno));
            return 1;
        }
        FakeServerState st;
        const int n = std::uniform_int_distribution<int>(minPlayers, maxPlayers)(rng);
        for (int k = 0; k < n; ++k)
            st.players << qMakePair(QStringLiteral("Player number %1").arg(k), k * 7);
        if (static_cast<size_t>(fd) >= byFd.size())
            byFd.resize(static_cast<size_t>(fd) + 1);
        Port& p = byFd[static_cast<size_t>(fd)];
        p.a2s = steam;
        if (steam) {
            const FakeA2sOptions o;
            p.challenge =
                single(buildA2sReplies(playersRequest.left(5) + "\xFF\xFF\xFF\xFF", st, o));
            p.info = single(buildA2sReplies(infoRequest, st, o));
            p.players = single(buildA2sReplies(playersRequest, st, o));
        } else {
            p.status = buildStatusReply(request, st);
        }
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::vector<epoll_event> ready(1024);
    char in[2048];
    char out[2048];
    for (;;) {
        const int n = epoll_wait(epoll, ready.data(), static_cast<int>(ready.size()), -1);
        for (int i = 0; i < n; ++i) {
            const int fd = ready[static_cast<size_t>(i)].data.fd;
            const Port& port = byFd[static_cast<size_t>(fd)];
            for (;;) {
                sockaddr_in from{};
                socklen_t len = sizeof from;
                const ssize_t got =
                    recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (got < 0)
                    break;
                if (port.a2s) {
                    // FF FF FF FF, the kind, then the info query's text; the challenge last.
                    const auto u = [&](int k) { return static_cast<unsigned char>(in[k]); };
                    if (got < 9 || u(0) != 0xFF || u(1) != 0xFF || u(2) != 0xFF || u(3) != 0xFF)
                        continue;
                    const QByteArray* reply = nullptr;
                    if (u(4) == 0x54 && got >= 25 &&
                        std::memcmp(in + 5, infoRequest.constData() + 5, 20) == 0)
                        reply = got == 29 && std::memcmp(in + 25, challenge.constData(), 4) == 0
                                    ? &port.info
                                    : &port.challenge;
                    else if (u(4) == 0x55)
                        reply = got == 9 && std::memcmp(in + 5, challenge.constData(), 4) == 0
                                    ? &port.players
                                    : &port.challenge;
                    if (reply)
                        sendBytes(fd, reply->constData(), reply->size(), from, len);
                    continue;
                }
                if (got < 10 || static_cast<unsigned char>(in[0]) != 0xFE ||
                    static_cast<unsigned char>(in[1]) != 0xFD || in[2] != 0)
                    continue;
                // The reply carries the request's id, as a server's does.
                const QByteArray& reply = port.status;
                std::memcpy(out, reply.constData(), static_cast<size_t>(reply.size()));
                std::memcpy(out + 1, in + 3, 4);
                sendBytes(fd, out, reply.size(), from, len);
            }
        }
    }
}
