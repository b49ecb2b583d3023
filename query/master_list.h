#pragma once

#include "master_protocol.h"
#include "query_pass.h"
#include "udp_endpoint.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <vector>

// Steam's master server list, page by page from one socket of its own: the master starts its
// list over for a request from a new source port. Pages are paced to stay within what the
// master allows one address; a page that does not come is asked for again with a growing wait;
// when the master stays silent, or the time limit is reached, what came so far is delivered.
// Only datagrams from the master's address and port are read.
//
// Keep one for the program's life: its pacing then covers every listing, also the next one.
class MasterList : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString master = QString::fromLatin1(quorvale::DefaultMasterServer); // host[:port]
        std::string filter = quorvale::masterFilter();
        uint8_t region = quorvale::MasterRegionAll;
        int pagesPerWindow = 25; // the master allows about 30 a minute from one address
        int windowMs = 60000;
        int replyWaitMs = 1500; // for a page; doubled at each further request for it
        int retries = 3;        // further requests for a page that did not come
        int timeLimitMs = 120000;
    };
    // Failed: not one server came.
    enum class Outcome { Complete, Partial, Failed };
    Q_ENUM(Outcome)

    explicit MasterList(QObject* parent = nullptr, HostResolver resolver = systemResolver());
    ~MasterList() override;

    void setOptions(const Options& options) { options_ = options; }
    const Options& options() const { return options_; }
    // Starts a listing from the first page, from a new socket; one still running is dropped.
    // Its end, also for an address that is none, comes as finished() after start() returned.
    // Throws UdpSocketError when no socket can be had.
    void start();
    // Ends the listing without a finished signal.
    void stop();
    bool isRunning() const { return running_; }
    const std::vector<quorvale::MasterAddress>& servers() const { return listing_.servers(); }
    const QString& statusText() const { return status_; }
    // Replies from the master that were not read: unreadable, repeated or after the end.
    int ignoredReplies() const { return ignored_; }
    int boundPort() const { return udp_.boundPort(); }

    // What the query pass asks of a listed server: the Steam query at its listed port, the
    // GameSpy query at the port below, the game port until its info reply tells the real one.
    static QueryPass::Server queryPassServer(const quorvale::MasterAddress& a);

Q_SIGNALS:
    // servers()[first] .. [first + count - 1] are new.
    void serversAdded(int first, int count);
    void statusChanged(const QString& text);
    void finished(MasterList::Outcome outcome, const QString& status);

private:
    void found(const QHostAddress& address, int generation);
    void sendWhenAllowed();
    void send();
    void onData(int bytes);
    void replyWaitEnded();
    // Ends with what came, or with nothingCame when nothing did.
    void giveUp(const QString& why, const QString& nothingCame);
    void finish(Outcome outcome, const QString& status);
    void setStatus(const QString& text);
    QString soFar() const;

    UdpEndpoint udp_;
    Options options_;
    quorvale::MasterListing listing_;
    QHostAddress masterAddress_;
    quint16 masterPort_ = 0;
    std::deque<qint64> sentMs_; // the requests within the pacing window, oldest first
    QElapsedTimer clock_;
    QTimer paceTimer_, replyTimer_, limitTimer_;
    int attempt_ = 0; // further requests for the page still to come
    int ignored_ = 0;
    int generation_ = 0;
    bool running_ = false;
    QString status_;
};
