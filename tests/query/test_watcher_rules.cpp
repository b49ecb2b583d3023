#include "param_names.h"
#include "watcher_rules.h"

#include <gtest/gtest.h>

using namespace quorvale;

namespace {

ServerStatusReply reply(std::optional<std::string> state, std::optional<std::string> players = {},
                        std::optional<std::string> slots = {}) {
    ServerStatusReply r;
    r.gameState = std::move(state);
    r.numPlayers = std::move(players);
    r.slots = std::move(slots);
    return r;
}

struct Step {
    ServerStatusReply reply;
    bool newGame;
    bool joined;
};

struct SequenceCase {
    const char* label;
    WatcherPhase startPhase;
    std::vector<Step> steps;
    WatcherPhase phase;
    std::optional<std::string> status; // of the last step
    LabelColour statusColour;
    std::optional<bool> redLamp;
    friend void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.label; }
};

class WatcherSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(WatcherSequence, AlertsAndState) {
    const SequenceCase& c = GetParam();
    WatcherState s;
    s.phase = c.startPhase;
    WatcherUpdate u;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        watcherQuerySent(s);
        u = applyWatcherReply(s, c.steps[i].reply, true);
        EXPECT_EQ(u.newGameAlert, c.steps[i].newGame) << "step " << i;
        EXPECT_EQ(u.playerJoinedAlert, c.steps[i].joined) << "step " << i;
    }
    EXPECT_EQ(s.phase, c.phase);
    EXPECT_EQ(u.status, c.status);
    EXPECT_EQ(u.statusColour, c.statusColour);
    EXPECT_EQ(u.redLamp, c.redLamp);
}

const auto G = LabelColour::Green;
const auto M = LabelColour::Maroon;
const auto K = LabelColour::Keep;
using P = WatcherPhase;

INSTANTIATE_TEST_SUITE_P(
    Replies, WatcherSequence,
    ::testing::Values(
        SequenceCase{
            "gameEndsOnce",
            P::Unknown,
            {{reply("7"), false, false}, {reply("8"), true, false}, {reply("8"), false, false}},
            P::Debriefing,
            "Debriefing",
            G,
            false},
        SequenceCase{"serverEmptiesDuringAGame",
                     P::Unknown,
                     {{reply("7"), false, false}, {reply({}, "0", "30"), true, false}},
                     P::Empty,
                     "Empty",
                     M,
                     true},
        SequenceCase{"playersComeBackToAnEmptyServer",
                     P::Empty,
                     {{reply("1", "1", "30"), false, true}},
                     P::SelectingMission,
                     "Selecting mission",
                     G,
                     false},
        SequenceCase{"playersComeBackWithoutAState",
                     P::Empty,
                     {{reply({}, "2"), false, true}, {reply({}, "3"), false, false}},
                     P::Unknown,
                     std::nullopt,
                     K,
                     std::nullopt},
        SequenceCase{"unmappedStateIsShownAndKeepsTheRest",
                     P::InProgress,
                     {{reply("2"), false, false}, {reply({}, "4"), false, false}},
                     P::InProgress,
                     std::nullopt,
                     K,
                     std::nullopt},
        SequenceCase{"unmappedValueText",
                     P::SettingUp,
                     {{reply("2"), false, false}},
                     P::SettingUp,
                     "2",
                     K,
                     std::nullopt},
        SequenceCase{"firstReplyAfterOpeningNeverAlerts",
                     P::Unknown,
                     {{reply("8"), false, false}},
                     P::Debriefing,
                     "Debriefing",
                     G,
                     false},
        SequenceCase{"briefingIsLoading",
                     P::InProgress,
                     {{reply("6"), true, false}},
                     P::Loading,
                     "Briefing",
                     M,
                     true}),
    ByLabel());

struct PlayersCase {
    const char* label;
    std::optional<std::string> players, slots;
    std::optional<std::string> label_;
    LabelColour colour;
    friend void PrintTo(const PlayersCase& c, std::ostream* os) { *os << c.label; }
};

class WatcherPlayers : public ::testing::TestWithParam<PlayersCase> {};

TEST_P(WatcherPlayers, LabelAndColour) {
    const PlayersCase& c = GetParam();
    WatcherState s;
    watcherQuerySent(s);
    const WatcherUpdate u = applyWatcherReply(s, reply({}, c.players, c.slots), true);
    EXPECT_EQ(u.players, c.label_);
    EXPECT_EQ(u.playersColour, c.colour);
}

INSTANTIATE_TEST_SUITE_P(Counts, WatcherPlayers,
                         ::testing::Values(PlayersCase{"over", "10", "8", "10/8", M},
                                           PlayersCase{"full", "8", "8", "8/8", G},
                                           PlayersCase{"room", "9", "10", "9/10", G},
                                           PlayersCase{"unknownMaximum", "9", {}, "9/?", G},
                                           PlayersCase{"negativeMaximum", "1", "-1", "1/-1", M},
                                           PlayersCase{"empty", "0", "32", "0/32", M},
                                           PlayersCase{
                                               "noCountKeepsTheLabel", {}, "32", std::nullopt, K}),
                         ByLabel());

TEST(WatcherReply, MissionRowsAndAFailedParse) {
    WatcherState s;
    s.phase = WatcherPhase::InProgress;
    watcherQuerySent(s);
    ServerStatusReply r = reply("8", "2", "30");
    r.mission = "";
    r.players = {{"a", "1"}, {"b", std::nullopt}};
    const WatcherUpdate cut = applyWatcherReply(s, r, false);
    EXPECT_EQ(cut.mission, std::optional<std::string>("None"));
    EXPECT_EQ(cut.missionColour, LabelColour::Maroon);
    ASSERT_EQ(cut.rows.size(), 1u);
    EXPECT_EQ(cut.rows[0].first, "a");
    EXPECT_FALSE(cut.players);
    EXPECT_FALSE(cut.newGameAlert);
    EXPECT_EQ(s.phase, WatcherPhase::InProgress);

    r.mission = "Co08 Escape";
    const WatcherUpdate whole = applyWatcherReply(s, r, true);
    EXPECT_EQ(whole.mission, std::optional<std::string>("Co08 Escape"));
    EXPECT_EQ(whole.missionColour, LabelColour::Green);
    EXPECT_TRUE(whole.newGameAlert);
}

} // namespace
