#pragma once

#include "status_protocol.h"
#include "udp_endpoint.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One status query to each of a list of servers from one endpoint. A reply belongs to every
// server whose resolved address text and port text equal the sender's; its ping is the time
// from that server's own send to the reply, on a monotonic clock.
class QueryPass : public QObject {
    Q_OBJECT
public:
    struct Server {
        std::string host;
        std::string port; // as stored: text
    };
    enum class Outcome { Waiting, Answered, HostNotFound, Failed };
    struct Result {
        Outcome outcome = Outcome::Waiting;
        std::string error;      // HostNotFound / Failed, and a parse error of an answer
        std::string resolvedIp; // dotted text once the datagram went out
        double pingMs = 0;
        bool sent = false;
        qint64 sentNs = 0;  // on the pass's clock
        qint64 replyNs = 0; // of the latest reply
        quorvale::ServerStatusReply reply;
    };

    explicit QueryPass(UdpEndpoint& endpoint, QObject* parent = nullptr);

    // Nanoseconds on a monotonic clock; tests set one that they move themselves.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { now_ = std::move(clock); }

    // Sends to every server; servers with a bad port fail at once and the rest go on.
    void start(const std::vector<Server>& servers);
    const std::vector<Result>& results() const { return results_; }
    bool allSettled() const; // every server answered or failed
    int sendsPending() const { return pendingSends_; }

Q_SIGNALS:
    void serverUpdated(int index);
    void sendsDone(); // every datagram is out (or failed); the wait for replies starts

private:
    void onData(int bytes, const QString& from, int port);
    void sendNext(int index);
    void sendBatch(int from);

    UdpEndpoint& udp_;
    std::vector<Server> servers_;
    std::vector<Result> results_;
    QElapsedTimer clock_;
    Clock now_;
    int generation_ = 0; // sends of an earlier pass report into nothing
    int pendingSends_ = 0;
};
