#pragma once

#include "command_line.h"
#include "master_list.h"
#include "query_pass.h"
#include "server_list_model.h"
#include "steam_web_list.h"
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
class QCheckBox;
class QLabel;
class QSpinBox;
class QTabBar;
class QTableView;

// "Servers": the favourite servers with their state, queried in one pass; joins the selected
// one or watches it. Beside them the internet's servers, as Steam's master server lists them, and
// the servers joined last, each asked by a pass of its own; those two lists sort by any column.
// Every list shows only what the filter box and switches let through.
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

    enum Tab { FavouritesTab, InternetTab, HistoryTab };
    QTabBar* listTabs;
    QTableView* listView; // the internet or the history list
    QLineEdit* filterEdit;
    QCheckBox* notFullBox;
    QCheckBox* notEmptyBox;
    QCheckBox* noPasswordBox;
    QCheckBox* pingBox;
    QSpinBox* pingLimitBox;
    QPushButton* addFavouriteButton;
    // A list of servers found elsewhere than in the favourites, and the pass that asks them.
    struct ServerList {
        UdpEndpoint endpoint;
        QueryPass pass{endpoint};
        ServerListModel model;
        ServerListFilter filter{model};
    };
    ServerList internet;
    ServerList history;
    MasterList master;
    SteamWebList webList; // in place of the master when the player has a key
    // The internet or history server selected, if that list is shown.
    const ListedServer* selectedListed() const;
    void showTab(int tab);
    void addSelectedToFavourites();

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
    void addListControls();
    ServerList* shownList();
    const ServerList* shownList() const;
    void listInternet();
    void listHistory();
    void joinListed(const ListedServer& server);
    // A join of a favourite (its slot) or of a listed server (kTickedMods), with the mods it named.
    void joinEntry(const quorvale::ServerEntry& chosen, quorvale::ModsOfServer stored);
    void applyFilter();
    void remember(const quorvale::ServerEntry& server);
    void showFavouriteIfItPasses(int slot);
    void addInternetServers(const std::vector<QueryPass::Server>& servers);
    bool internetRunning() const;

    LauncherSession& session_;
    std::vector<ServerRow> rows_;
    ServerWatcher* watcher_ = nullptr;
    QLabel* status_;
    QString passError_;  // a server of this pass that could not be queried
    QString replyError_; // the latest datagram's parse error
    // The server picked last, by name, address and port (ids stay with slots), to pick it again.
    std::optional<std::array<std::string, 3>> picked_;
    bool refreshHadFocus_ = false;
    bool nameTyped_ = false;    // into this window's Player box
    ServerFilter filter_;       // the filter box and switches, for every list
    QString internetStatus_;    // the master's or the web API's latest
    std::string listedHistory_; // the stored history the History tab lists
};
