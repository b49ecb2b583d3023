#pragma once

#include "master_list.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

class QNetworkAccessManager;

// A server as Steam's web API lists it: its query address, and the game port where it tells.
struct WebListedServer {
    quorvale::MasterAddress query;
    std::optional<uint16_t> gamePort;
};

// The servers of an IGameServersService/GetServerList answer; none and an error in words for
// an answer that is no such list.
struct WebServerList {
    std::vector<WebListedServer> servers;
    QString error;
};
WebServerList parseWebServerList(const QByteArray& json);

// The internet's servers from Steam's web API instead of the master server: one request with
// the player's own key, the master's filter and a limit. The key goes into the request only; no
// status or error names it.
class SteamWebList : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString baseUrl = QStringLiteral("https://api.steampowered.com");
        QString key;
        std::string filter = quorvale::masterFilter();
        int limit = 5000;
        int timeoutMs = 20000;
        qint64 maxBytes = 16 << 20; // an answer past this is no list of servers
    };

    explicit SteamWebList(QObject* parent = nullptr);
    ~SteamWebList() override;
    void setOptions(const Options& options) { options_ = options; }
    // Its end comes as finished() after start() returned.
    void start();
    void stop();
    bool isRunning() const { return reply_ != nullptr; }
    const std::vector<WebListedServer>& servers() const { return servers_; }
    const QString& statusText() const { return status_; }

Q_SIGNALS:
    void serversAdded(int first, int count);
    void statusChanged(const QString& text);
    void finished(MasterList::Outcome outcome, const QString& status);

private:
    void replyEnded();
    void finish(MasterList::Outcome outcome, const QString& status);

    Options options_;
    QNetworkAccessManager* network_;
    QPointer<QNetworkReply> reply_;
    QTimer timeout_;
    bool timedOut_ = false;
    std::vector<WebListedServer> servers_;
    QString status_;
};
