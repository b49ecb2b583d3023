#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A status reply laid out the way real servers of the engine family build it: 00 and the
// request id; key and value fields; an empty field; the 2-byte player count; the field names;
// an empty field; four values per player (team empty). Cut at 1400 bytes with the last string
// cut short and still zero-ended.
struct FakeServerState {
    QString hostname = QStringLiteral("Quorvale test server");
    QString mission = QStringLiteral("co@10 Domination");
    QString gameState = QStringLiteral("7");
    int maxPlayers = 34;
    bool password = false;
    QList<QPair<QString, int>> players; // name, score
    bool withNumPlayers = true;
    bool withMaxPlayers = true;
    bool withGameState = true;
    QString numPlayers;     // in place of the players' count when set
    QString maxPlayersText; // in place of maxPlayers when set
    QByteArray id;          // in place of the request's id when set: a forged reply
};

inline QByteArray buildStatusReply(const QByteArray& request, const FakeServerState& s) {
    QByteArray r;
    r.append('\0');
    r.append(s.id.isEmpty() ? request.mid(3, 4) : s.id);
    const auto field = [&r](const QByteArray& f) {
        r.append(f);
        r.append('\0');
    };
    const QList<QPair<QByteArray, QByteArray>> info = {
        {"gamename", "arma2pc"},
        {"gamever", "1.11.0"},
        {"hostname", s.hostname.toUtf8()},
        {"mapname", "chernarus"},
        {"gametype", "COOP"},
        {"numplayers",
         s.numPlayers.isEmpty() ? QByteArray::number(s.players.size()) : s.numPlayers.toUtf8()},
        {"numteams", "0"},
        {"maxplayers",
         s.maxPlayersText.isEmpty() ? QByteArray::number(s.maxPlayers) : s.maxPlayersText.toUtf8()},
        {"gamemode", "openplaying"},
        {"timelimit", "15"},
        {"password", s.password ? "1" : "0"},
        {"mission", s.mission.toUtf8()},
        {"gameState", s.gameState.toUtf8()}};
    for (const auto& [k, v] : info) {
        if ((k == "numplayers" && !s.withNumPlayers) || (k == "maxplayers" && !s.withMaxPlayers) ||
            (k == "gameState" && !s.withGameState))
            continue;
        field(k);
        field(v);
    }
    field("");
    r.append(static_cast<char>((s.players.size() >> 8) & 0xFF));
    r.append(static_cast<char>(s.players.size() & 0xFF));
    for (const char* n : {"player_", "team_", "score_", "deaths_"})
        field(n);
    field("");
    for (const auto& [name, score] : s.players) {
        field(name.toUtf8());
        field("");
        field(QByteArray::number(score));
        field(QByteArray::number(score / 2));
    }
    if (r.size() > 1400) {
        r.truncate(1399);
        r.append('\0');
    }
    return r;
}
