#include "master_list.h"

#include <algorithm>

namespace {

QString serverCount(size_t n) {
    return n == 1 ? QStringLiteral("1 server") : QStringLiteral("%1 servers").arg(n);
}

} // namespace

MasterList::MasterList(QObject* parent, HostResolver resolver)
    : QObject(parent), udp_(nullptr, std::move(resolver)) {
    connect(&udp_, &UdpEndpoint::dataReceived, this, [this](int bytes) { onData(bytes); });
    udp_.setSenderFilter([this](const QHostAddress& a, quint16 port) {
        return masterPort_ != 0 && port == masterPort_ &&
               a.toIPv4Address() == masterAddress_.toIPv4Address();
    });
    clock_.start();
    for (QTimer* t : {&paceTimer_, &replyTimer_, &limitTimer_})
        t->setSingleShot(true);
    paceTimer_.setTimerType(Qt::PreciseTimer); // a coarse one may fire before the window ends
    connect(&paceTimer_, &QTimer::timeout, this, &MasterList::sendWhenAllowed);
    connect(&replyTimer_, &QTimer::timeout, this, &MasterList::replyWaitEnded);
    connect(&limitTimer_, &QTimer::timeout, this, [this] {
        giveUp(QStringLiteral("the master server took too long"),
               QStringLiteral("The master server did not answer in time"));
    });
}

MasterList::~MasterList() {
    udp_.setSenderFilter({});
}

QueryPass::Server MasterList::queryPassServer(const quorvale::MasterAddress& a) {
    const auto game = quorvale::masterJoinPort(std::nullopt, a.port);
    return {QHostAddress(a.ip).toString().toStdString(), game ? std::to_string(*game) : "0",
            std::to_string(a.port)};
}

QString MasterList::soFar() const {
    return serverCount(servers().size()) + QStringLiteral(" so far");
}

void MasterList::setStatus(const QString& text) {
    status_ = text;
    Q_EMIT statusChanged(text);
}

void MasterList::start() {
    stop();
    const int generation = generation_;
    // A new source port: whatever the master still sends for an earlier listing is not heard,
    // and the master starts this one from the first page.
    udp_.setLocalPort(0);
    listing_ = quorvale::MasterListing(options_.filter, options_.region);
    masterPort_ = 0;
    attempt_ = 0;
    ignored_ = 0;
    running_ = true;
    limitTimer_.start(std::max(0, options_.timeLimitMs));
    setStatus(QStringLiteral("Asking the master server for servers"));

    const auto hostPort =
        quorvale::splitHostPort(options_.master.toStdString(), quorvale::DefaultMasterPort);
    const auto dotted = hostPort
                            ? UdpEndpoint::dottedAddress(QString::fromStdString(hostPort->first))
                            : std::nullopt;
    if (!hostPort || (dotted && dotted->toIPv4Address() == 0)) {
        // Told after start() has returned, as every other end of a listing is.
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_)
                    finish(Outcome::Failed,
                           QStringLiteral("'%1' is no master server address").arg(options_.master));
            },
            Qt::QueuedConnection);
        return;
    }
    masterPort_ = hostPort->second;
    if (dotted) {
        found(*dotted, generation);
        return;
    }
    const QString host = QString::fromStdString(hostPort->first);
    udp_.lookUp(
        host, [this, generation](const QHostAddress& a) { found(a, generation); },
        [this, generation, host](const QString&) {
            if (generation == generation_)
                finish(Outcome::Failed,
                       QStringLiteral("The master server %1 could not be found").arg(host));
        });
}

void MasterList::stop() {
    ++generation_;
    running_ = false;
    for (QTimer* t : {&paceTimer_, &replyTimer_, &limitTimer_})
        t->stop();
}

void MasterList::found(const QHostAddress& address, int generation) {
    if (generation != generation_)
        return;
    masterAddress_ = address;
    sendWhenAllowed();
}

void MasterList::sendWhenAllowed() {
    const qint64 now = clock_.elapsed();
    while (!sentMs_.empty() && sentMs_.front() <= now - options_.windowMs)
        sentMs_.pop_front();
    if (options_.pagesPerWindow <= 0 ||
        sentMs_.size() < static_cast<size_t>(options_.pagesPerWindow)) {
        send();
        return;
    }
    paceTimer_.start(static_cast<int>(sentMs_.front() + options_.windowMs - now));
    setStatus(soFar() + QStringLiteral("; waiting before asking the master server again"));
}

void MasterList::send() {
    sentMs_.push_back(clock_.elapsed());
    // A request the socket refuses is waited for as one that got no answer.
    udp_.sendDatagramTo(listing_.request(), masterAddress_, masterPort_);
    replyTimer_.start(std::max(0, options_.replyWaitMs) << std::min(attempt_, 10));
}

void MasterList::onData(int bytes) {
    if (!running_ || bytes < 0)
        return;
    const QByteArray d = udp_.readLastDatagram();
    const size_t before = servers().size();
    const auto step = listing_.accept(reinterpret_cast<const uint8_t*>(d.constData()),
                                      static_cast<size_t>(d.size()));
    using quorvale::MasterListing;
    if (step.outcome == MasterListing::Outcome::Repeated ||
        step.outcome == MasterListing::Outcome::Ignored) {
        ++ignored_;
        return;
    }
    replyTimer_.stop();
    attempt_ = 0;
    const int generation = generation_;
    if (step.added > 0)
        Q_EMIT serversAdded(static_cast<int>(before), static_cast<int>(step.added));
    if (generation != generation_) // the handler started over or stopped
        return;
    if (step.outcome == MasterListing::Outcome::Ended) {
        finish(Outcome::Complete, QStringLiteral("The master server lists ") +
                                      (servers().empty() ? QStringLiteral("no servers")
                                                         : serverCount(servers().size())));
        return;
    }
    setStatus(soFar());
    sendWhenAllowed();
}

void MasterList::replyWaitEnded() {
    if (attempt_ < options_.retries) {
        ++attempt_;
        setStatus(soFar() + QStringLiteral("; the master server has not answered, asking again"));
        sendWhenAllowed();
        return;
    }
    giveUp(QStringLiteral("the master server stopped answering"),
           QStringLiteral("The master server did not answer"));
}

void MasterList::giveUp(const QString& why, const QString& nothingCame) {
    if (servers().empty())
        finish(Outcome::Failed, nothingCame);
    else
        finish(Outcome::Partial,
               soFar() + QStringLiteral("; ") + why + QStringLiteral(" \u2014 showing what came"));
}

void MasterList::finish(Outcome outcome, const QString& status) {
    stop();
    setStatus(status);
    Q_EMIT finished(outcome, status);
}
