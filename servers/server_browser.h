#pragma once

#include "query_pass.h"
#include "udp_endpoint.h"
#include "ui_server_browser.h"

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class LauncherSession;
class ServerModsView;
class ServerWatcher;
class QLabel;

// "Servers": the favourite servers with their state, queried in one pass; joins the selected
// one or watches it.
class ServerBrowser : public QMainWindow {
    Q_OBJECT
public:
    explicit ServerBrowser(LauncherSession& session);
    // The watcher is created after the browser.
    void setWatcher(ServerWatcher* watcher) { watcher_ = watcher; }
    ~ServerBrowser() override;

    void layoutColumns();
    void queryServers();
    void showPlayers();
    // The selected server's slot, or -1 when no row is selected.
    int selectedSlot() const;
    // Joins the server of a slot, as "&Join server" does for the selected one.
    void joinSlot(int slot);
    QString statusText() const;

    // What the latest pass learnt of a slot's server; never stored.
    struct ServerRow {
        std::string resolvedIp;
        uint32_t queryTick = 0; // the millisecond tick of the send the reply answered
        std::vector<std::pair<std::string, std::string>> players; // name, score
    };
    const ServerRow& row(int slot) const { return rows_[static_cast<size_t>(slot)]; }

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::ServerBrowser ui;
    UdpEndpoint endpoint;
    QueryPass pass;
    QTimer passDoneTimer;
    QTimer activationTimer;
    ServerModsView* modsView; // beside the players

Q_SIGNALS:
    void statusShown(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private Q_SLOTS:
    void refreshFields();
    void finishPass();
    void startQueryAfterActivation();
    void joinSelected();
    void refresh();
    void openWatcher();
    void showSelectedPlayers();
    void serverUpdated(int slot);

private:
    void takePlayerName();
    void setStatus(const QString& text);
    void setCell(int row, int column, const QString& text);
    void updateButtons();

    LauncherSession& session_;
    std::vector<ServerRow> rows_;
    ServerWatcher* watcher_ = nullptr;
    QLabel* status_;
    QString passError_;  // a server of this pass that could not be queried
    QString replyError_; // the latest datagram's parse error
    // The server picked last, by name, address and port (ids stay with slots), to pick it again.
    std::optional<std::array<std::string, 3>> picked_;
    bool refreshHadFocus_ = false;
    bool nameTyped_ = false; // into this window's Player box
};
