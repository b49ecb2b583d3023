#pragma once

#include "udp_endpoint.h"
#include "ui_server_watcher.h"
#include "watcher_rules.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class TForm1;
class AlertSink;

// "Server Watcher": polls one server every 5 s, shows its state and alerts when the game in
// progress there ends.
class TFormWatcher : public QWidget {
    Q_OBJECT
public:
    TFormWatcher(TForm1& main, AlertSink& alerts);
    ~TFormWatcher() override;

    // Opens the watcher on a server: hides the main window and the opener, shows this window,
    // starts polling. join runs for the Join button. A port that is no whole number in
    // 1..65535 throws before anything is hidden.
    void watch(QWidget* opener, const QString& host, const std::string& port,
               std::function<void()> join);

    void UpdateStatus();
    void ToggleWindow();
    void FormActivate();
    // The window that shows again with the main window when the watcher closes.
    void setBrowser(QWidget* browser) { browser_ = browser; }

    Ui::TFormWatcher ui;
    TNMUDP udps;
    QTimer Timer1;
    QTimer Timer2;
    quorvale::WatcherState state;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private Q_SLOTS:
    void udpsDataReceived(int NumberBytes, const QString& FromIP, int Port);
    void Timer1Timer();
    void BitBtn2Click();

private:
    void alert(const std::string& soundFile);
    void placeAnchored();

    TForm1& main_;
    AlertSink& alerts_;
    QWidget* browser_ = nullptr;
    std::function<void()> join_;
    std::optional<std::pair<QString, int>> watched_; // where the last query went
};
