#pragma once

#include "udp_endpoint.h"
#include "ui_server_watcher.h"
#include "watcher_rules.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

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
    // 1..65535 throws before anything is hidden.
    void watch(QWidget* opener, const QString& host, const std::string& port,
               std::function<void()> join);

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
    void placeAnchored();

    MainWindow& main_;
    AlertSink& alerts_;
    QWidget* browser_ = nullptr;
    std::function<void()> join_;
    std::optional<std::pair<QHostAddress, quint16>> watched_; // where the last query went
};
