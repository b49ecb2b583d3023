#pragma once

#include "a2s_protocol.h"
#include "status_protocol.h"
#include "udp_endpoint.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// A status query to each of a list of servers from one endpoint: the GameSpy query at the game
// port and the Steam query at the query port; the first answer fills the server's result. A
// reply belongs to every server whose resolved address and port number equal the sender's;
// its ping is the time from that server's latest send of the answered request to the reply,
// on a monotonic clock.
//
// No reply that reaches the socket is lost for want of room: requests go out a window at a
// time, sized so that the replies of all requests in flight fit the socket's receive queue
// even while the program is busy elsewhere, and the next goes out as a reply arrives or a
// request's wait ends. Host names are looked up all at once while the dotted addresses are
// already asked; a reply that comes in before a lookup ends is kept until then, so that an
// entry under a host name gets it as well as its twin under the dotted address.
class QueryPass : public QObject {
    Q_OBJECT
public:
    // Which query a server answered.
    enum class Protocol { None, GameSpy, A2s };
    struct Server {
        Server(std::string h = {}, std::string p = {}, std::string q = {})
            : host(std::move(h)), port(std::move(p)), queryPort(std::move(q)) {}
        std::string host;
        std::string port;      // the game port, as stored: text
        std::string queryPort; // the Steam query's port; empty: the game port + 1
    };
    enum class Outcome { Waiting, Answered, HostNotFound, Failed };
    struct Result {
        Outcome outcome = Outcome::Waiting;
        std::string error;      // HostNotFound / Failed, and a parse error of an answer
        std::string resolvedIp; // dotted text once the address is known
        double pingMs = 0;
        Protocol protocol = Protocol::None; // the protocol whose answer fills the result
        bool complete = false; // the whole answer is in: for the Steam query, its players too
                               // (reply.mods tells whether the rules came)
        bool sent = false;
        int sends = 0;      // requests sent to it, resends included
        qint64 sentNs = 0;  // on the pass's clock: the send the latest reply answered
        qint64 replyNs = 0; // of the latest reply
        quorvale::ServerStatusReply reply;
    };
    struct Options {
        int retries = 0;      // further sends to a server that has not answered
        int intervalMs = 500; // wait for a reply before a resend
        int timeoutMs = 500;  // wait after the last send, before the server's place goes on
        bool gameSpy = true;  // ask the game port with the GameSpy status query
        bool a2s = true;      // ask the query port with the Steam query
        bool rules = false;   // and with it the Steam rules, for the server's mods
        // A server that has not answered is asked twice more, half a second apart: one lost
        // datagram, or a flood from another server, costs no row its answer.
        static Options patient() {
            Options o;
            o.retries = 2;
            o.intervalMs = 500;
            o.timeoutMs = 1000;
            return o;
        }
    };

    explicit QueryPass(UdpEndpoint& endpoint, QObject* parent = nullptr);
    ~QueryPass() override;

    // Nanoseconds on a monotonic clock; tests set one that they move themselves.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { now_ = std::move(clock); }
    void setOptions(const Options& options) { options_ = options; }

    // Asks every server; servers with a bad port fail at once and the rest go on. A pass
    // still running is dropped.
    void start(const std::vector<Server>& servers);
    // Adds servers to the pass, asked as start() asks; one that ended starts again with them.
    void append(const std::vector<Server>& servers);
    const std::vector<Result>& results() const { return results_; }
    bool allSettled() const; // every server answered or failed
    int sendsPending() const { return unsent_; }
    bool isFinished() const { return open_ == 0; }
    // Requests in flight at most, from the receive queue the socket got.
    int window() const { return window_; }

Q_SIGNALS:
    void serverUpdated(int index);
    void sendsDone(); // every server was sent its request (or failed); the wait for replies starts
    void finished();  // every server answered, failed, or left its last request unanswered

private:
    // What is asked of a server: the GameSpy status query at its game port, and the Steam
    // query at its query port, each a request of its own with its own destination, sends and
    // answers. replyKind() says which reply answers which.
    enum class RequestKind { Status, A2s };
    enum class RequestState { Resolving, Ready, InFlight, Answered, GivenUp, Failed, Settled };
    struct Request {
        int server = 0;
        RequestKind kind = RequestKind::Status;
        RequestState state = RequestState::Resolving;
        QHostAddress to;
        quint16 port = 0;
        int attempts = 0;
        qint64 sentNs = 0;
        qint64 infoSentNs = 0; // Steam query: the latest send of its info request
        std::unique_ptr<quorvale::A2sQuery> a2s;
    };
    struct EarlyReply {
        QByteArray data;
        qint64 atNs = 0;
        qint64 sentNs = 0;
    };
    // One address and port that requests go to, and what came from it.
    struct Sender {
        std::vector<int> requests;
        qint64 lastSentNs = 0;
        std::vector<EarlyReply> early; // only while a lookup runs
    };
    struct Deadline {
        qint64 ns = 0;
        int request = 0;
        int attempt = 0;
        bool operator>(const Deadline& o) const { return ns > o.ns; }
    };

    static quint64 senderKey(const QHostAddress& address, quint16 port);
    static const QByteArray& requestBytes(RequestKind kind);
    static RequestKind replyKind(const QByteArray& reply);

    void addRequest(int server, RequestKind kind, quint16 port);
    void resolved(int request, const QHostAddress& address);
    void lookupEnded();
    void fail(int server, const std::string& message, Outcome outcome);
    void settle(int request);
    void settleOthers(int server, int answered);
    void markAnswered(Request& q);
    // The server's result is this request's: the ping is from sentNs to atNs.
    void answer(int request, Protocol protocol, qint64 sentNs, qint64 atNs);
    void send(int request);
    void sendA2s(Request& q, const std::vector<std::vector<uint8_t>>& datagrams, qint64 now);
    quorvale::A2sQuery& a2sOf(Request& q);
    void applyA2sReply(int request, const QByteArray& data, qint64 atNs, qint64 sentNs);
    void pump();
    void expire();
    void armTimer();
    void onData(int bytes, const QString& from, int port);
    void applyReply(int request, const QByteArray& data, qint64 atNs, qint64 sentNs);
    void reportProgress();

    UdpEndpoint& udp_;
    Options options_;
    std::vector<Server> servers_;
    std::vector<Result> results_;
    std::vector<Request> requests_;
    std::vector<std::vector<int>> serverRequests_;
    // Steam query challenges by address and port: one is the server's for this client, so a
    // later pass sends it at once and saves a round trip.
    std::unordered_map<quint64, quorvale::A2sChallenge> challenges_;
    std::unordered_map<quint64, Sender> senders_;
    std::deque<int> ready_; // resolved, waiting for room in the window
    std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>> deadlines_;
    QTimer deadlineTimer_;
    QElapsedTimer clock_;
    Clock now_;
    int generation_ = 0; // lookups of an earlier pass report into nothing
    int window_ = 0;
    int inFlight_ = 0;
    int unsent_ = 0;         // requests not sent once yet and not failed
    int open_ = 0;           // requests not answered, failed or given up
    int lookupsPending_ = 0; // host names being looked up
    bool sendsDoneSent_ = false;
    bool finishedSent_ = false;
};
