#pragma once

#include "query_pass.h"
#include "server_rules.h"
#include "udp_endpoint.h"

#include <QTableWidget>
#include <map>
#include <optional>
#include <string>

class LauncherSession;

// The mods a server names, each with whether the player has it: "known", "missing", or "game"
// for the game's own content. Asks one server at a time for its Steam rules, when it is picked,
// and remembers what each server told for as long as the window lives.
class ServerModsView : public QTableWidget {
    Q_OBJECT
public:
    explicit ServerModsView(LauncherSession& session, QWidget* parent = nullptr);

    // Shows the server's mods, asking it for its rules when they are not known yet.
    void pick(const QueryPass::Server& server);
    // No server picked: an empty view, and a late answer shows nothing.
    void pickNone();
    // What another query learnt (a GameSpy answer's "mod" key, the watcher's rules).
    void remember(const QueryPass::Server& server, const quorvale::ServerMods& mods);
    std::optional<quorvale::ServerMods> modsOf(const QueryPass::Server& server) const;
    // Shows mods without asking anybody: none is "no mod list".
    void showMods(const std::optional<quorvale::ServerMods>& mods);
    void showText(const QString& text);

    UdpEndpoint endpoint;
    QueryPass pass; // the picked server's rules

Q_SIGNALS:
    void modsArrived();

private:
    static std::string keyOf(const QueryPass::Server& server);
    void rulesUpdated();

    LauncherSession& session_;
    std::map<std::string, quorvale::ServerMods> known_;
    std::optional<QueryPass::Server> picked_;
    QueryPass::Server asked_;
};
