#pragma once

#include "status_protocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvale {

enum class LabelColour { Keep, Green, Maroon };

// Where the watched server's game stood at the latest reply that told it. Debriefing covers
// game states 8 and 9, loading 5 and 6 (the briefing).
enum class WatcherPhase {
    Unknown,
    SelectingMission,
    SettingUp,
    Loading,
    Debriefing,
    InProgress,
    Empty
};

// What the watcher remembers between replies.
struct WatcherState {
    std::string playersText;    // numplayers of the latest reply with it; "?" since the query
    std::string maxPlayersText; // its shown maximum likewise
    WatcherPhase phase = WatcherPhase::Unknown;
};

// What one reply changes on the watcher's face; absent fields stay as they are.
struct WatcherUpdate {
    std::optional<std::string> status;
    LabelColour statusColour = LabelColour::Keep;
    std::optional<bool> redLamp;
    std::optional<std::string> mission;
    LabelColour missionColour = LabelColour::Keep;
    std::optional<std::string> players;
    LabelColour playersColour = LabelColour::Keep;
    std::vector<std::pair<std::string, std::string>> rows; // players with a score
    bool newGameAlert = false;                             // the game in progress ended
    bool playerJoinedAlert = false;                        // the empty server has players again
};

// A query went out: the counts are unknown until a reply gives them.
void watcherQuerySent(WatcherState& state);
// Applies one reply. A reply whose parse failed (complete false) changes the labels it reached
// but neither the players label, the alerts nor the remembered state.
WatcherUpdate applyWatcherReply(WatcherState& state, const ServerStatusReply& reply, bool complete);

} // namespace quorvale
