#include "steam_web_list.h"

#include "udp_endpoint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

using namespace quorvale;

WebServerList parseWebServerList(const QByteArray& json) {
    WebServerList out;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    const QJsonValue list = doc.object().value(QLatin1String("response"));
    if (error.error != QJsonParseError::NoError || !list.isObject()) {
        out.error = QStringLiteral("The Steam web API's answer is not the list of servers");
        return out;
    }
    // An empty list comes without "servers".
    for (const QJsonValue& v : list.toObject().value(QLatin1String("servers")).toArray()) {
        const QJsonObject s = v.toObject();
        const QString addr = s.value(QLatin1String("addr")).toString();
        const qsizetype colon = addr.lastIndexOf(u':');
        const auto ip = UdpEndpoint::dottedAddress(addr.left(colon));
        bool ok = false;
        const uint port = addr.mid(colon + 1).toUInt(&ok);
        if (colon < 0 || !ip || !ok || port == 0 || port > 65535)
            continue; // one odd entry costs only itself
        WebListedServer w{{ip->toIPv4Address(), static_cast<uint16_t>(port)}, std::nullopt};
        const int game = s.value(QLatin1String("gameport")).toInt(0);
        if (game > 0 && game <= 65535)
            w.gamePort = static_cast<uint16_t>(game);
        out.servers.push_back(w);
    }
    return out;
}

SteamWebList::SteamWebList(QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)) {
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        timedOut_ = true;
        if (reply_)
            reply_->abort();
    });
}

SteamWebList::~SteamWebList() {
    stop();
}

void SteamWebList::start() {
    stop();
    servers_.clear();
    timedOut_ = false;
    QUrl url(options_.baseUrl + QStringLiteral("/IGameServersService/GetServerList/v1/"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("key"), options_.key);
    query.addQueryItem(QStringLiteral("filter"), QString::fromStdString(options_.filter));
    query.addQueryItem(QStringLiteral("limit"), QString::number(options_.limit));
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setTransferTimeout(options_.timeoutMs);
    reply_ = network_->get(request);
    QNetworkReply* reply = reply_;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received) {
        if (received > options_.maxBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, &SteamWebList::replyEnded);
    timeout_.start(options_.timeoutMs);
    status_ = QStringLiteral("Asking Steam's web API for servers...");
    Q_EMIT statusChanged(status_);
}

void SteamWebList::stop() {
    timeout_.stop();
    if (QNetworkReply* reply = reply_) {
        reply_ = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void SteamWebList::replyEnded() {
    QNetworkReply* reply = reply_;
    if (!reply)
        return;
    reply_ = nullptr;
    timeout_.stop();
    reply->deleteLater();
    const int http = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool open = reply->isOpen();
    const QByteArray body =
        open && reply->bytesAvailable() <= options_.maxBytes ? reply->readAll() : QByteArray();
    using Outcome = MasterList::Outcome;
    // The reply's own error text may hold the address, and so the key: none is passed on.
    if (http == 403 || http == 401)
        return finish(Outcome::Failed,
                      QStringLiteral("Steam's web API refused the key (%1): check the Steam web "
                                     "API key in Options")
                          .arg(http));
    if (timedOut_ || reply->error() == QNetworkReply::TimeoutError)
        return finish(Outcome::Failed, QStringLiteral("Steam's web API did not answer in %1 s")
                                           .arg(options_.timeoutMs / 1000));
    if (reply->error() == QNetworkReply::OperationCanceledError ||
        (open && reply->bytesAvailable() > 0))
        return finish(Outcome::Failed,
                      QStringLiteral("Steam's web API answered with more than %1 MB")
                          .arg(options_.maxBytes >> 20));
    if (reply->error() != QNetworkReply::NoError && http == 0)
        return finish(Outcome::Failed, QStringLiteral("Steam's web API cannot be reached"));
    if (http != 200)
        return finish(Outcome::Failed,
                      QStringLiteral("Steam's web API answered with HTTP status %1").arg(http));
    WebServerList list = parseWebServerList(body);
    if (!list.error.isEmpty())
        return finish(Outcome::Failed, list.error);
    servers_ = std::move(list.servers);
    if (!servers_.empty())
        Q_EMIT serversAdded(0, static_cast<int>(servers_.size()));
    finish(Outcome::Complete,
           servers_.size() == 1
               ? QStringLiteral("Steam's web API lists 1 server")
               : QStringLiteral("Steam's web API lists %1 servers").arg(servers_.size()));
}

void SteamWebList::finish(MasterList::Outcome outcome, const QString& status) {
    status_ = status;
    Q_EMIT statusChanged(status_);
    Q_EMIT finished(outcome, status_);
}
