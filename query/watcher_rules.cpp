#include "watcher_rules.h"

#include "text.h"

namespace quorvale {

namespace {
struct StateRow {
    const char* value;
    WatcherPhase phase;
    bool green;
};
using P = WatcherPhase;
constexpr StateRow kStates[] = {{"1", P::SelectingMission, true}, {"3", P::SettingUp, true},
                                {"8", P::Debriefing, true},       {"9", P::Debriefing, true},
                                {"5", P::Loading, false},         {"6", P::Loading, false},
                                {"7", P::InProgress, false}};
} // namespace

void watcherQuerySent(WatcherState& state) {
    state.playersText = "?";
    state.maxPlayersText = "?";
}

WatcherUpdate applyWatcherReply(WatcherState& state, const ServerStatusReply& reply,
                                bool complete) {
    WatcherUpdate u;
    std::optional<WatcherPhase> code;
    if (reply.numPlayers)
        state.playersText = *reply.numPlayers;
    if (reply.slots)
        state.maxPlayersText = *reply.slots;
    if (reply.gameState) {
        u.status = gameStateText(*reply.gameState);
        for (const StateRow& row : kStates) {
            if (*reply.gameState == row.value) {
                code = row.phase;
                u.statusColour = row.green ? LabelColour::Green : LabelColour::Maroon;
                u.redLamp = !row.green;
            }
        }
    }
    if (reply.mission) {
        const bool none = reply.mission->empty();
        u.mission = none ? "None" : *reply.mission;
        u.missionColour = none ? LabelColour::Maroon : LabelColour::Green;
    }
    for (const StatusPlayer& p : reply.players)
        if (p.score)
            u.rows.emplace_back(p.name, *p.score);
    if (!complete)
        return u;

    if (state.playersText != "?") {
        u.players = state.playersText + "/" + state.maxPlayersText;
        if (state.playersText == "0") {
            code = P::Empty;
            u.playersColour = LabelColour::Maroon;
            u.status = "Empty";
            u.statusColour = LabelColour::Maroon;
            u.redLamp = true;
        } else {
            int32_t count = 0, max = 0;
            const bool over = tryStrToInt(state.playersText, count) &&
                              tryStrToInt(state.maxPlayersText, max) && count > max;
            u.playersColour = over ? LabelColour::Maroon : LabelColour::Green;
        }
    }

    // Only a recognised state ends a game, so one finished game alerts once.
    u.newGameAlert = state.phase == P::InProgress && code && *code != P::InProgress;
    u.playerJoinedAlert = state.phase == P::Empty && reply.numPlayers && state.playersText != "0" &&
                          (!code || *code != P::Empty);
    if (code)
        state.phase = *code;
    else if (u.playerJoinedAlert)
        state.phase = P::Unknown; // the server is no longer empty, whatever it is doing
    return u;
}

} // namespace quorvale
