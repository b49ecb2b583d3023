// Game servers that are never the bottleneck: answers FE FD 00 status requests on many UDP ports
// of 127.0.0.1 from replies built once at start, with one epoll loop and no event framework.
//
//   fast_responder [--players A-B | --full] PORT[-PORT]...
//
// --players gives each port a player count in that range (default 0-40); --full gives every
// port 100 players, so that each reply is cut at 1400 bytes. Prints "ready" once bound.
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
#include <unordered_map>
#include <vector>

int main(int argc, char** argv) {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0) {
        lim.rlim_cur = lim.rlim_max; // a socket a port
        setrlimit(RLIMIT_NOFILE, &lim);
    }
    int minPlayers = 0, maxPlayers = 40;
    std::vector<int> ports;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--full") {
            minPlayers = maxPlayers = 100;
        } else if (a == "--players" && i + 1 < argc) {
            const std::string r = argv[++i];
            const size_t dash = r.find('-');
            minPlayers = std::atoi(r.c_str());
            maxPlayers = dash == std::string::npos ? minPlayers : std::atoi(r.c_str() + dash + 1);
        } else {
            const size_t dash = a.find('-');
            const int from = std::atoi(a.c_str());
            const int to = dash == std::string::npos ? from : std::atoi(a.c_str() + dash + 1);
            for (int p = from; p <= to && p > 0 && p < 65536; ++p)
                ports.push_back(p);
        }
    }
    const int epoll = epoll_create1(0);
    std::unordered_map<int, QByteArray> replies; // by socket
    std::mt19937 rng(7);
    const QByteArray request(reinterpret_cast<const char*>("\xFE\xFD\x00"
                                                           "CORY\xFF\xFF\x00"),
                             10);
    for (const int port : ports) {
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
        replies[fd] = buildStatusReply(request, st);
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
            const QByteArray& reply = replies[fd];
            for (;;) {
                sockaddr_in from{};
                socklen_t len = sizeof from;
                const ssize_t got =
                    recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (got < 0)
                    break;
                if (got < 10 || static_cast<unsigned char>(in[0]) != 0xFE ||
                    static_cast<unsigned char>(in[1]) != 0xFD || in[2] != 0)
                    continue;
                // The reply carries the request's id, as a server's does.
                std::memcpy(out, reply.constData(), static_cast<size_t>(reply.size()));
                std::memcpy(out + 1, in + 3, 4);
                sendto(fd, out, static_cast<size_t>(reply.size()), 0,
                       reinterpret_cast<sockaddr*>(&from), len);
            }
        }
    }
}
