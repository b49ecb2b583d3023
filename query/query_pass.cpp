#include "query_pass.h"

#include "text.h"

#include <QTimer>

QueryPass::QueryPass(UdpEndpoint& endpoint, QObject* parent) : QObject(parent), udp_(endpoint) {
    connect(&udp_, &UdpEndpoint::dataReceived, this, &QueryPass::onData);
    clock_.start();
    now_ = [this] { return clock_.nsecsElapsed(); };
}

void QueryPass::start(const std::vector<Server>& servers) {
    servers_ = servers;
    results_.assign(servers.size(), Result());
    ++generation_;
    pendingSends_ = static_cast<int>(servers.size());
    for (int i = 0; i < static_cast<int>(servers.size()); ++i)
        sendNext(i);
    if (pendingSends_ == 0)
        Q_EMIT sendsDone();
}

void QueryPass::sendNext(int i) {
    const int generation = generation_;
    const auto settle = [this] {
        if (--pendingSends_ == 0)
            Q_EMIT sendsDone();
    };
    uint16_t port = 0;
    if (!quorvale::tryParsePort(servers_[i].port, port)) {
        results_[i].outcome = Outcome::Failed;
        results_[i].error = quorvale::badPortMessage(servers_[i].port);
        Q_EMIT serverUpdated(i);
        settle();
        return;
    }
    udp_.remoteHost = QString::fromStdString(servers_[i].host);
    udp_.remotePort = port;
    try {
        const QByteArray request(reinterpret_cast<const char*>(quorvale::StatusRequest.data()),
                                 static_cast<int>(quorvale::StatusRequest.size()));
        udp_.sendDatagram(
            request, request.size(),
            [this, i, settle, generation](const QHostAddress& to, quint16) {
                if (generation != generation_)
                    return;
                results_[i].sentNs = now_();
                results_[i].sent = true;
                results_[i].resolvedIp = to.toString().toStdString();
                settle();
            },
            [this, i, settle, generation](const QString& message) {
                if (generation != generation_)
                    return;
                results_[i].outcome = message == QLatin1String("Host Lookup Canceled")
                                          ? Outcome::HostNotFound
                                          : Outcome::Failed;
                results_[i].error = message.toStdString();
                Q_EMIT serverUpdated(i);
                settle();
            });
    } catch (const std::exception& e) {
        results_[i].outcome = Outcome::Failed;
        results_[i].error = e.what();
        Q_EMIT serverUpdated(i);
        settle();
    }
}

void QueryPass::onData(int bytes, const QString& from, int port) {
    if (bytes < 1)
        return;
    const qint64 now = now_();
    const QByteArray data = udp_.readLastDatagram();
    const std::string fromIp = from.toStdString();
    const std::string portText = std::to_string(port);
    for (int i = 0; i < static_cast<int>(results_.size()); ++i) {
        Result& r = results_[i];
        if (!r.sent || r.resolvedIp != fromIp || servers_[i].port != portText)
            continue;
        r.replyNs = now;
        r.pingMs = static_cast<double>(now - r.sentNs) / 1e6;
        r.outcome = Outcome::Answered;
        r.error.clear();
        try {
            quorvale::parseStatusReply(reinterpret_cast<const uint8_t*>(data.constData()),
                                       static_cast<size_t>(data.size()), r.reply);
        } catch (const std::exception& e) {
            r.error = e.what();
        }
        Q_EMIT serverUpdated(i);
    }
}

bool QueryPass::allSettled() const {
    for (const Result& r : results_)
        if (r.outcome == Outcome::Waiting)
            return false;
    return true;
}
