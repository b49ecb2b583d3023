#include "query_pass.h"

#include "text.h"

#include <algorithm>

namespace {
// The room one reply takes in a socket's receive queue: a full reply is 1400 bytes; Linux
// counts about 2.3 KB for it with its bookkeeping, and gives the room of replies already read
// back only in batches of up to a quarter of the queue.
constexpr int kReplyRoom = 4096;
constexpr int kMinWindow = 8;
// Replies kept per address while a lookup runs; a server answers once per request.
constexpr size_t kEarlyRepliesKept = 8;
} // namespace

QueryPass::QueryPass(UdpEndpoint& endpoint, QObject* parent) : QObject(parent), udp_(endpoint) {
    connect(&udp_, &UdpEndpoint::dataReceived, this, &QueryPass::onData);
    // Whatever comes from an address and port the pass does not ask is dropped unread.
    udp_.setSenderFilter([this](const QHostAddress& a, quint16 port) {
        return senders_.count(senderKey(a, port)) > 0;
    });
    clock_.start();
    now_ = [this] { return clock_.nsecsElapsed(); };
    deadlineTimer_.setSingleShot(true);
    deadlineTimer_.setTimerType(Qt::PreciseTimer);
    connect(&deadlineTimer_, &QTimer::timeout, this, &QueryPass::expire);
}

QueryPass::~QueryPass() {
    udp_.setSenderFilter({});
}

quint64 QueryPass::senderKey(const QHostAddress& address, quint16 port) {
    // Ports compare as numbers: "047302" is the port 47302 replies come from.
    return (quint64(address.toIPv4Address()) << 16) | port;
}

const QByteArray& QueryPass::requestBytes(RequestKind) {
    static const QByteArray status(reinterpret_cast<const char*>(quorvale::StatusRequest.data()),
                                   static_cast<int>(quorvale::StatusRequest.size()));
    return status;
}

QueryPass::RequestKind QueryPass::replyKind(const QByteArray& reply) {
    // Every datagram that is no Steam query reply is read as a GameSpy status reply, whatever it
    // holds.
    return quorvale::isA2sDatagram(reinterpret_cast<const uint8_t*>(reply.constData()),
                                   static_cast<size_t>(reply.size()))
               ? RequestKind::A2s
               : RequestKind::Status;
}

void QueryPass::addRequest(int server, RequestKind kind, quint16 port) {
    Request q;
    q.server = server;
    q.kind = kind;
    q.port = port;
    serverRequests_[static_cast<size_t>(server)].push_back(static_cast<int>(requests_.size()));
    requests_.push_back(std::move(q));
}

void QueryPass::start(const std::vector<Server>& servers) {
    ++generation_;
    servers_.clear();
    results_.clear();
    requests_.clear();
    serverRequests_.clear();
    senders_.clear();
    ready_.clear();
    deadlines_ = {};
    deadlineTimer_.stop();
    window_ = std::max(kMinWindow, udp_.receiveBufferSize() / kReplyRoom);
    inFlight_ = 0;
    lookupsPending_ = 0;
    unsent_ = open_ = 0;
    append(servers);
}

void QueryPass::append(const std::vector<Server>& more) {
    const int generation = generation_;
    const int first = static_cast<int>(servers_.size());
    const int firstRequest = static_cast<int>(requests_.size());
    servers_.insert(servers_.end(), more.begin(), more.end());
    const std::vector<Server>& servers = servers_;
    results_.resize(servers.size());
    serverRequests_.resize(servers.size());
    sendsDoneSent_ = finishedSent_ = false;

    // Every request is known before the first one fails or goes out.
    std::vector<std::string> portErrors(servers.size());
    for (int i = first; i < static_cast<int>(servers.size()); ++i) {
        const Server& s = servers[static_cast<size_t>(i)];
        uint16_t port = 0;
        if (!quorvale::tryParsePort(s.port, port)) {
            portErrors[i] = quorvale::badPortMessage(s.port);
            addRequest(i, RequestKind::Status, 0);
            continue;
        }
        if (options_.gameSpy)
            addRequest(i, RequestKind::Status, port);
        if (!options_.a2s)
            continue;
        if (const auto queryPort = quorvale::a2sQueryPort(s.port, s.queryPort))
            addRequest(i, RequestKind::A2s, *queryPort);
        else if (!options_.gameSpy)
            portErrors[i] = quorvale::badPortMessage(s.queryPort.empty() ? "65536" : s.queryPort);
    }
    unsent_ += static_cast<int>(requests_.size()) - firstRequest;
    open_ += static_cast<int>(requests_.size()) - firstRequest;

    std::vector<std::pair<QString, std::vector<int>>> names;
    std::unordered_map<std::string, size_t> nameIndex;
    for (int i = first; i < static_cast<int>(servers.size()); ++i) {
        if (!portErrors[i].empty()) {
            fail(i, portErrors[i], Outcome::Failed);
            if (generation != generation_)
                return;
            continue;
        }
        const QString host = QString::fromStdString(servers[i].host);
        if (const auto dotted = UdpEndpoint::dottedAddress(host)) {
            if (dotted->toIPv4Address() == 0) {
                fail(i, "Null Remote Address", Outcome::Failed);
                if (generation != generation_)
                    return;
            } else {
                for (const int r : serverRequests_[static_cast<size_t>(i)]) {
                    resolved(r, *dotted);
                    if (generation != generation_)
                        return;
                }
            }
            continue;
        }
        const auto [at, added] = nameIndex.emplace(servers[i].host, names.size());
        if (added)
            names.emplace_back(host.left(127), std::vector<int>());
        names[at->second].second.push_back(i);
    }
    lookupsPending_ += static_cast<int>(names.size());
    pump(); // the dotted addresses go out while the names are looked up
    for (auto& [name, waiting] : names) {
        if (generation != generation_)
            return;
        udp_.lookUp(
            name,
            [this, generation, waiting](const QHostAddress& a) {
                if (generation != generation_)
                    return;
                for (const int i : waiting)
                    for (const int r : serverRequests_[static_cast<size_t>(i)]) {
                        resolved(r, a);
                        if (generation != generation_)
                            return;
                    }
                lookupEnded();
            },
            [this, generation, waiting](const QString& message) {
                if (generation != generation_)
                    return;
                const Outcome o = message == QLatin1String("Host Lookup Canceled")
                                      ? Outcome::HostNotFound
                                      : Outcome::Failed;
                for (const int i : waiting) {
                    fail(i, message.toStdString(), o);
                    if (generation != generation_)
                        return;
                }
                lookupEnded();
            });
    }
    if (generation == generation_)
        reportProgress();
}

void QueryPass::resolved(int r, const QHostAddress& address) {
    Request& q = requests_[static_cast<size_t>(r)];
    if (q.state != RequestState::Resolving)
        return; // the server's other request answered from an early reply
    q.to = address;
    q.state = RequestState::Ready;
    results_[static_cast<size_t>(q.server)].resolvedIp = address.toString().toStdString();
    Sender& s = senders_[senderKey(address, q.port)];
    s.requests.push_back(r);
    // Replies from this address that came before its name was known belong here too.
    const std::vector<EarlyReply> early = s.early;
    const int generation = generation_;
    for (const EarlyReply& e : early) {
        applyReply(r, e.data, e.atNs, e.sentNs);
        if (generation != generation_)
            return;
    }
    ready_.push_back(r);
}

void QueryPass::lookupEnded() {
    if (--lookupsPending_ == 0)
        for (auto& [key, s] : senders_)
            s.early.clear();
    pump();
}

void QueryPass::fail(int server, const std::string& message, Outcome outcome) {
    for (const int r : serverRequests_[static_cast<size_t>(server)]) {
        Request& q = requests_[static_cast<size_t>(r)];
        if (q.state != RequestState::Resolving && q.state != RequestState::Ready)
            continue;
        q.state = RequestState::Failed;
        --unsent_;
        --open_;
    }
    Result& res = results_[static_cast<size_t>(server)];
    res.outcome = outcome;
    res.error = message;
    Q_EMIT serverUpdated(server);
}

void QueryPass::settle(int r) {
    Request& q = requests_[static_cast<size_t>(r)];
    switch (q.state) {
    case RequestState::Resolving:
    case RequestState::Ready: // left in the queue, skipped there
        --unsent_;
        --open_;
        break;
    case RequestState::InFlight:
        --inFlight_;
        --open_;
        break;
    default:
        return;
    }
    q.state = RequestState::Settled;
}

void QueryPass::settleOthers(int server, int answered) {
    // One answer is enough: the server's other request is not sent or waited for any more.
    for (const int r : serverRequests_[static_cast<size_t>(server)])
        if (r != answered)
            settle(r);
}

void QueryPass::markAnswered(Request& q) {
    if (q.state == RequestState::InFlight) {
        --inFlight_;
        --open_;
        q.state = RequestState::Answered;
    } else if (q.state == RequestState::GivenUp) {
        q.state = RequestState::Answered;
    }
}

void QueryPass::pump() {
    const int generation = generation_;
    while (inFlight_ < window_ && !ready_.empty()) {
        const int r = ready_.front();
        ready_.pop_front();
        if (requests_[static_cast<size_t>(r)].state != RequestState::Ready)
            continue;
        ++inFlight_;
        send(r);
    }
    armTimer();
    if (generation == generation_)
        reportProgress();
}

quorvale::A2sQuery& QueryPass::a2sOf(Request& q) {
    if (!q.a2s) {
        const auto known = challenges_.find(senderKey(q.to, q.port));
        q.a2s = std::make_unique<quorvale::A2sQuery>(
            known != challenges_.end() ? std::optional(known->second) : std::nullopt,
            options_.rules);
    }
    return *q.a2s;
}

void QueryPass::sendA2s(Request& q, const std::vector<std::vector<uint8_t>>& datagrams,
                        qint64 now) {
    for (const auto& d : datagrams) {
        udp_.sendDatagramTo(d, q.to, q.port);
        if (d.size() > 4 && d[4] == 0x54)
            q.infoSentNs = now;
    }
    q.sentNs = now;
}

void QueryPass::send(int r) {
    Request& q = requests_[static_cast<size_t>(r)];
    const qint64 now = now_();
    // A datagram the socket refuses is lost as one lost on the way would be: the wait and any
    // resend take care of it.
    if (q.kind == RequestKind::A2s) {
        quorvale::A2sQuery& query = a2sOf(q);
        sendA2s(q, (q.attempts == 0 ? query.start() : query.retry()).send, now);
    } else {
        udp_.sendDatagramTo(requestBytes(q.kind), q.to, q.port);
    }
    if (q.attempts == 0)
        --unsent_;
    ++q.attempts;
    q.sentNs = now;
    q.state = RequestState::InFlight;
    Result& res = results_[static_cast<size_t>(q.server)];
    res.sent = true;
    ++res.sends;
    if (res.outcome != Outcome::Answered)
        res.sentNs = now;
    senders_[senderKey(q.to, q.port)].lastSentNs = now;
    const int wait = q.attempts <= options_.retries ? options_.intervalMs : options_.timeoutMs;
    deadlines_.push({now + qint64(std::max(0, wait)) * 1'000'000, r, q.attempts});
}

void QueryPass::armTimer() {
    while (!deadlines_.empty()) {
        const Deadline& d = deadlines_.top();
        const Request& q = requests_[static_cast<size_t>(d.request)];
        if (q.state == RequestState::InFlight && q.attempts == d.attempt)
            break;
        deadlines_.pop(); // answered since
    }
    if (deadlines_.empty()) {
        deadlineTimer_.stop();
        return;
    }
    const qint64 waitNs = std::max<qint64>(0, deadlines_.top().ns - now_());
    deadlineTimer_.start(static_cast<int>((waitNs + 999'999) / 1'000'000));
}

void QueryPass::expire() {
    const qint64 now = now_();
    while (!deadlines_.empty() && deadlines_.top().ns <= now) {
        const Deadline d = deadlines_.top();
        deadlines_.pop();
        Request& q = requests_[static_cast<size_t>(d.request)];
        if (q.state != RequestState::InFlight || q.attempts != d.attempt)
            continue;
        if (q.attempts <= options_.retries) {
            send(d.request); // keeps its place in the window
        } else {
            q.state = RequestState::GivenUp; // a late reply still counts
            --inFlight_;
            --open_;
        }
    }
    pump();
}

void QueryPass::onData(int bytes, const QString&, int port) {
    if (bytes < 1)
        return;
    const auto it = senders_.find(senderKey(udp_.lastSender(), static_cast<quint16>(port)));
    if (it == senders_.end())
        return;
    const qint64 now = now_() - udp_.lastWaitedNs(); // when it reached the socket
    const QByteArray data = udp_.readLastDatagram();
    Sender& s = it->second;
    if (lookupsPending_ > 0 && s.early.size() < kEarlyRepliesKept)
        s.early.push_back({data, now, s.lastSentNs});
    const std::vector<int> requests = s.requests; // a handler may start another pass
    const qint64 sentNs = s.lastSentNs;
    const int generation = generation_;
    for (const int r : requests) {
        applyReply(r, data, now, sentNs);
        if (generation != generation_)
            return;
    }
    pump();
}

void QueryPass::applyReply(int r, const QByteArray& data, qint64 atNs, qint64 sentNs) {
    Request& q = requests_[static_cast<size_t>(r)];
    if (replyKind(data) != q.kind)
        return;
    if (q.kind == RequestKind::A2s) {
        applyA2sReply(r, data, atNs, sentNs);
        return;
    }
    // A reply that does not carry our request's id answers something else, or is forged.
    if (!quorvale::answersStatusRequest(reinterpret_cast<const uint8_t*>(data.constData()),
                                        static_cast<size_t>(data.size())))
        return;
    markAnswered(q);
    Result& res = results_[static_cast<size_t>(q.server)];
    if (res.protocol == Protocol::A2s)
        return; // the Steam query answered first
    // A twin's reply that came before this entry's own send is timed from the twin's send.
    answer(r, Protocol::GameSpy, q.attempts > 0 ? q.sentNs : sentNs, atNs);
    res.complete = true;
    res.error.clear();
    try {
        quorvale::parseStatusReply(reinterpret_cast<const uint8_t*>(data.constData()),
                                   static_cast<size_t>(data.size()), res.reply);
    } catch (const std::exception& e) {
        res.error = e.what();
    }
    Q_EMIT serverUpdated(q.server);
}

void QueryPass::answer(int r, Protocol protocol, qint64 sentNs, qint64 atNs) {
    const int server = requests_[static_cast<size_t>(r)].server;
    Result& res = results_[static_cast<size_t>(server)];
    res.sentNs = sentNs;
    res.replyNs = atNs;
    res.pingMs = static_cast<double>(atNs - sentNs) / 1e6;
    res.outcome = Outcome::Answered;
    res.protocol = protocol;
    settleOthers(server, r);
}

void QueryPass::applyA2sReply(int r, const QByteArray& data, qint64 atNs, qint64 sentNs) {
    Request& q = requests_[static_cast<size_t>(r)];
    Result& res = results_[static_cast<size_t>(q.server)];
    if (q.state == RequestState::Settled || res.protocol == Protocol::GameSpy)
        return;
    quorvale::A2sQuery& query = a2sOf(q);
    const bool hadInfo = query.hasInfo(), hadPlayers = query.hasPlayers(),
               hadRules = query.hasRules();
    const quorvale::A2sQuery::Step step = query.accept(
        reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()));
    if (query.challenge())
        challenges_[senderKey(q.to, q.port)] = *query.challenge();
    // Only a request still waiting asks again; one given up or not sent yet does not.
    if (!step.send.empty() && q.state == RequestState::InFlight)
        sendA2s(q, step.send, now_());
    if (query.hasInfo() && !hadInfo)
        answer(r, Protocol::A2s, q.attempts > 0 ? q.infoSentNs : sentNs, atNs);
    if (query.done())
        markAnswered(q);
    res.complete = query.hasInfo() && query.hasPlayers();
    const bool news = query.hasInfo() && (!hadInfo || query.hasPlayers() != hadPlayers ||
                                          query.hasRules() != hadRules);
    if (!news && !step.error)
        return;
    if (query.hasInfo())
        res.reply = query.reply();
    res.error = step.error.value_or(std::string());
    Q_EMIT serverUpdated(q.server);
}

void QueryPass::reportProgress() {
    const int generation = generation_;
    if (!sendsDoneSent_ && unsent_ == 0) {
        sendsDoneSent_ = true;
        Q_EMIT sendsDone();
        if (generation != generation_)
            return;
    }
    if (!finishedSent_ && open_ == 0) {
        finishedSent_ = true;
        Q_EMIT finished();
    }
}

bool QueryPass::allSettled() const {
    for (const Result& r : results_)
        if (r.outcome == Outcome::Waiting)
            return false;
    return true;
}
