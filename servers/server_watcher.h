#pragma once

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

class LauncherSession;
class AlertSink;
class ServerModsView;

// "Server Watcher": polls one server every 5 s, shows its state and alerts when the game in
// progress there ends.
class ServerWatcher : public QWidget {
    Q_OBJECT
public:
    ServerWatcher(LauncherSession& session, AlertSink& alerts);
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
    // The windows that hide while the watcher is open and show again when it closes.
    void setMainWindow(QWidget* main) { mainWindow_ = main; }
    void setBrowser(QWidget* browser) { browser_ = browser; }

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::ServerWatcher ui;
    UdpEndpoint endpoint;
    QueryPass pass; // one server, asked anew each poll
    QTimer blinkTimer;
    QTimer pollTimer;
    quorvale::WatcherState state;
    ServerModsView* modsView; // in the large layout

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private Q_SLOTS:
    void answerArrived();
    void blinkLamp();
    void joinWatched();

private:
    void alert(const std::string& soundFile);
    void showReply(const quorvale::ServerStatusReply& reply,
                   const std::optional<quorvale::LauncherError>& failure);
    void placeAnchored();

    LauncherSession& session_;
    AlertSink& alerts_;
    QWidget* mainWindow_ = nullptr;
    QWidget* browser_ = nullptr;
    std::vector<std::pair<QPointer<QWidget>, QPoint>> hidden_; // and where they were
    std::function<void()> join_;
    QueryPass::Server server_;
    QueryPass::Protocol answered_ = QueryPass::Protocol::None;
    QueryPass::Protocol lastPollAnswered_ = QueryPass::Protocol::None;
    bool shown_ = false;      // this poll's answer is on the face
    bool errorTold_ = false;  // a box told this server's bad answer
    bool rulesAsked_ = false; // once a watched server
    bool modsShown_ = false;
    std::pair<QString, std::string> watchedKey_; // host and port text of the server on the face
};
