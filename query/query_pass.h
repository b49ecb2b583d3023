#pragma once

#include "status_protocol.h"
#include "udp_endpoint.h"

#include <QElapsedTimer>
#include <QObject>
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
        quorvale::ServerStatusReply reply;
    };

    explicit QueryPass(TNMUDP& endpoint, QObject* parent = nullptr);

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

    TNMUDP& udp_;
    std::vector<Server> servers_;
    std::vector<Result> results_;
    std::vector<qint64> sentAtNs_;
    QElapsedTimer clock_;
    int pendingSends_ = 0;
};
