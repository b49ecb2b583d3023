#pragma once

#include "a2s_protocol.h"
#include "query_pass.h"
#include "udp_endpoint.h"
#include "ui_server_watcher.h"
#include "watcher_rules.h"

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class MainWindow;
class AlertSink;

// "Server Watcher": polls one server every 5 s, shows its state and alerts when the game in
// progress there ends.
class ServerWatcher : public QWidget {
    Q_OBJECT
public:
    ServerWatcher(MainWindow& main, AlertSink& alerts);
    ~ServerWatcher() override;

    // Opens the watcher on a server: hides the main window and the opener, shows this window,
    // starts polling. join runs for the Join button. A port that is no whole number in
    // 1..65535 throws before anything is hidden. The server is asked with the query that
    // answered last; until one has, and after a poll nothing answered, with both: the GameSpy
    // query at the game port, the Steam query at queryPort (empty: the game port + 1).
    void watch(QWidget* opener, const QString& host, const std::string& port,
               std::function<void()> join, const std::string& queryPort = {},
               QueryPass::Protocol answered = QueryPass::Protocol::None);
    // The query that answered last.
    QueryPass::Protocol answeredBy() const { return answered_; }

    void updateStatus();
    void toggleDetails();
    void refreshFields();
    // The window that shows again with the main window when the watcher closes.
    void setBrowser(QWidget* browser) { browser_ = browser; }

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::ServerWatcher ui;
    UdpEndpoint endpoint;
    QTimer blinkTimer;
    QTimer pollTimer;
    quorvale::WatcherState state;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private Q_SLOTS:
    void processReply(int byteCount, const QString& fromAddress, int Port);
    void blinkLamp();
    void joinWatched();

private:
    void alert(const std::string& soundFile);
    void askSteam(const QHostAddress& to);
    void steamReply(const QByteArray& bytes);
    void showReply(const quorvale::ServerStatusReply& reply,
                   const std::optional<quorvale::LauncherError>& failure);
    void placeAnchored();

    MainWindow& main_;
    AlertSink& alerts_;
    QWidget* browser_ = nullptr;
    std::vector<std::pair<QPointer<QWidget>, QPoint>> hidden_; // and where they were
    std::function<void()> join_;
    std::optional<std::pair<QHostAddress, quint16>> watched_; // where the last query went
    quint16 steamPort_ = 0;                                   // 0: the Steam query is not asked
    std::optional<QHostAddress> steamTo_;
    std::optional<quorvale::A2sQuery> steam_; // this poll's Steam query
    std::optional<quorvale::A2sChallenge> challenge_;
    QueryPass::Protocol answered_ = QueryPass::Protocol::None;
    QueryPass::Protocol pollAnswered_ = QueryPass::Protocol::None; // by the latest poll
    std::pair<QString, std::string> watchedKey_; // host and port text of the server on the face
    int poll_ = 0;                               // a lookup of an earlier poll finds nothing to do
};
