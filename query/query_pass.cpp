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
    // The dotted text of an IPv4 address is one to one with its number, and only entries whose
    // port text is the number's own text are keyed: so equal keys are equal texts.
    return (quint64(address.toIPv4Address()) << 16) | port;
}

const QByteArray& QueryPass::requestBytes(RequestKind) {
    static const QByteArray status(reinterpret_cast<const char*>(quorvale::StatusRequest.data()),
                                   static_cast<int>(quorvale::StatusRequest.size()));
    return status;
}

QueryPass::RequestKind QueryPass::replyKind(const QByteArray&) {
    // Every datagram from a server is read as its status reply, whatever it holds.
    return RequestKind::Status;
}

void QueryPass::start(const std::vector<Server>& servers) {
    const int generation = ++generation_;
    servers_ = servers;
    results_.assign(servers.size(), Result());
    requests_.assign(servers.size(), Request());
    senders_.clear();
    ready_.clear();
    deadlines_ = {};
    deadlineTimer_.stop();
    window_ = std::max(kMinWindow, udp_.receiveBufferSize() / kReplyRoom);
    inFlight_ = 0;
    unsent_ = open_ = static_cast<int>(servers.size());
    lookupsPending_ = 0;
    sendsDoneSent_ = finishedSent_ = false;

    std::vector<std::pair<QString, std::vector<int>>> names;
    std::unordered_map<std::string, size_t> nameIndex;
    for (int i = 0; i < static_cast<int>(servers.size()); ++i) {
        Request& q = requests_[static_cast<size_t>(i)];
        q.server = i;
        uint16_t port = 0;
        if (!quorvale::tryParsePort(servers[i].port, port)) {
            fail(i, quorvale::badPortMessage(servers[i].port), Outcome::Failed);
            if (generation != generation_)
                return;
            continue;
        }
        q.port = port;
        q.matchable = std::to_string(port) == servers[i].port;
        const QString host = QString::fromStdString(servers[i].host);
        if (const auto dotted = UdpEndpoint::dottedAddress(host)) {
            if (dotted->toIPv4Address() == 0) {
                fail(i, "Null Remote Address", Outcome::Failed);
                if (generation != generation_)
                    return;
            } else {
                resolved(i, *dotted);
            }
            continue;
        }
        const auto [at, added] = nameIndex.emplace(servers[i].host, names.size());
        if (added)
            names.emplace_back(host.left(127), std::vector<int>());
        names[at->second].second.push_back(i);
    }
    lookupsPending_ = static_cast<int>(names.size());
    pump(); // the dotted addresses go out while the names are looked up
    for (auto& [name, requests] : names) {
        if (generation != generation_)
            return;
        udp_.lookUp(
            name,
            [this, generation, requests](const QHostAddress& a) {
                if (generation != generation_)
                    return;
                for (const int r : requests) {
                    resolved(r, a);
                    if (generation != generation_)
                        return;
                }
                lookupEnded();
            },
            [this, generation, requests](const QString& message) {
                if (generation != generation_)
                    return;
                const Outcome o = message == QLatin1String("Host Lookup Canceled")
                                      ? Outcome::HostNotFound
                                      : Outcome::Failed;
                for (const int r : requests) {
                    fail(r, message.toStdString(), o);
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
    q.to = address;
    q.state = RequestState::Ready;
    results_[static_cast<size_t>(q.server)].resolvedIp = address.toString().toStdString();
    if (q.matchable) {
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
    }
    ready_.push_back(r);
}

void QueryPass::lookupEnded() {
    if (--lookupsPending_ == 0)
        for (auto& [key, s] : senders_)
            s.early.clear();
    pump();
}

void QueryPass::fail(int r, const std::string& message, Outcome outcome) {
    Request& q = requests_[static_cast<size_t>(r)];
    q.state = RequestState::Failed;
    --unsent_;
    --open_;
    Result& res = results_[static_cast<size_t>(q.server)];
    res.outcome = outcome;
    res.error = message;
    Q_EMIT serverUpdated(q.server);
}

void QueryPass::pump() {
    const int generation = generation_;
    while (inFlight_ < window_ && !ready_.empty()) {
        const int r = ready_.front();
        ready_.pop_front();
        ++inFlight_;
        send(r);
    }
    armTimer();
    if (generation == generation_)
        reportProgress();
}

void QueryPass::send(int r) {
    Request& q = requests_[static_cast<size_t>(r)];
    const qint64 now = now_();
    // A datagram the socket refuses is lost as one lost on the way would be: the wait and any
    // resend take care of it.
    udp_.sendDatagramTo(requestBytes(q.kind), q.to, q.port);
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
    if (q.matchable)
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
    if (q.state == RequestState::InFlight) {
        --inFlight_;
        --open_;
        q.state = RequestState::Answered;
    } else if (q.state == RequestState::GivenUp) {
        q.state = RequestState::Answered;
    }
    // A twin's reply that came before this entry's own send is timed from the twin's send.
    const qint64 from = q.attempts > 0 ? q.sentNs : sentNs;
    Result& res = results_[static_cast<size_t>(q.server)];
    res.sentNs = from;
    res.replyNs = atNs;
    res.pingMs = static_cast<double>(atNs - from) / 1e6;
    res.outcome = Outcome::Answered;
    res.error.clear();
    try {
        quorvale::parseStatusReply(reinterpret_cast<const uint8_t*>(data.constData()),
                                   static_cast<size_t>(data.size()), res.reply);
    } catch (const std::exception& e) {
        res.error = e.what();
    }
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
