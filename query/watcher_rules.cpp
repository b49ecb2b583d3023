#include "watcher_rules.h"

#include "text.h"

namespace quorvale {

namespace {
struct StateRow {
    const char* value;
    int32_t code;
    bool green;
};
constexpr StateRow kStates[] = {{"1", 1, true},  {"3", 3, true},  {"8", 9, true},  {"9", 9, true},
                                {"5", 5, false}, {"6", 5, false}, {"7", 14, false}};
constexpr int32_t kInProgress = 14;
constexpr int32_t kEmpty = 256;
} // namespace

void watcherQuerySent(WatcherState& state) {
    state.playersText = "?";
    state.maxPlayersText = "?";
}

WatcherUpdate applyWatcherReply(WatcherState& state, const ServerStatusReply& reply,
                                bool complete) {
    WatcherUpdate u;
    std::optional<int32_t> code;
    if (reply.numPlayers)
        state.playersText = *reply.numPlayers;
    if (reply.slots)
        state.maxPlayersText = *reply.slots;
    if (reply.gameState) {
        u.status = gameStateText(*reply.gameState);
        for (const StateRow& row : kStates) {
            if (*reply.gameState == row.value) {
                code = row.code;
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
            code = kEmpty;
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
    u.newGameAlert = state.lastState == kInProgress && code && *code != kInProgress;
    u.playerJoinedAlert = state.lastState == kEmpty && reply.numPlayers &&
                          state.playersText != "0" && (!code || *code != kEmpty);
    if (code)
        state.lastState = *code;
    else if (u.playerJoinedAlert)
        state.lastState = 0; // the server is no longer empty, whatever it is doing
    return u;
}

} // namespace quorvale
