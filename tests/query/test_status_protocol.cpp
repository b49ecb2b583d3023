#include "errors.h"
#include "param_names.h"
#include "reply_players.h"
#include "status_protocol.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

using namespace quorvale;

namespace {

// Joins fields, each ended by a zero byte.
std::string fields(std::initializer_list<std::string> fs) {
    std::string s;
    for (const auto& f : fs) {
        s += f;
        s += '\0';
    }
    return s;
}

const std::string kAnna = fields({"hostname", "Our server", "numplayers", "3", "maxplayers", "34",
                                  "mission", "", "gameState", "7", "player_", "team_", "score_",
                                  "deaths_", "", "Anna", "1", "120", "2"});

ServerStatusReply parse(const std::string& s) {
    return parseStatusReply(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

} // namespace

TEST(StatusRequest, IsTheTenBytes) {
    const std::array<uint8_t, 10> expected = {0xFE, 0xFD, 0x00, 'C', 'O', 'R', 'Y', 0xFF, 0xFF, 0};
    EXPECT_EQ(StatusRequest, expected);
}

struct ReplyCase {
    const char* label;
    std::string bytes;
    std::optional<std::string> numPlayers, slots, mission, gameState;
    Players players;
    friend void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.label; }
};

class ParseReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ParseReply, ReadsTheFields) {
    const auto& c = GetParam();
    const ServerStatusReply r = parse(c.bytes);
    EXPECT_EQ(r.numPlayers, c.numPlayers);
    EXPECT_EQ(r.slots, c.slots);
    EXPECT_EQ(r.mission, c.mission);
    EXPECT_EQ(r.gameState, c.gameState);
    EXPECT_EQ(playersOf(r), c.players);
}

const std::optional<std::string> none;

INSTANTIATE_TEST_SUITE_P(
    Replies, ParseReply,
    ::testing::Values(
        ReplyCase{"anna", kAnna, "3", "32", "", "7", {{"Anna", "120"}}},
        ReplyCase{"withoutFinalZero",
                  kAnna.substr(0, kAnna.size() - 1),
                  "3",
                  "32",
                  "",
                  "7",
                  {{"Anna", "120"}}},
        ReplyCase{"cutAfterTwoPlayerFields",
                  kAnna.substr(0, kAnna.find("120")),
                  "3",
                  "32",
                  "",
                  "7",
                  {{"Anna", none}}},
        ReplyCase{"extraEmptyFieldIsAPlayer",
                  kAnna + std::string(1, '\0'),
                  "3",
                  "32",
                  "",
                  "7",
                  {{"Anna", "120"}, {"", none}}},
        ReplyCase{"maxplayersTwo", fields({"maxplayers", "2"}), none, "0", none, none, {}},
        ReplyCase{"maxplayersOne", fields({"maxplayers", "1"}), none, "-1", none, none, {}},
        ReplyCase{"numplayersTwice",
                  fields({"numplayers", "1", "numplayers", "5"}),
                  "5",
                  none,
                  none,
                  none,
                  {}},
        ReplyCase{"deathsTotalStartsPlayers",
                  fields({"deaths_total", "", "Bob", "x", "7", "y", "numplayers", "4"}),
                  none,
                  none,
                  none,
                  none,
                  {{"Bob", "7"}, {"numplayers", none}}},
        ReplyCase{"otherCaseNotRecognised",
                  fields({"NumPlayers", "3", "MISSION", "m"}),
                  none,
                  none,
                  none,
                  none,
                  {}},
        ReplyCase{"missionNamedNumplayers",
                  fields({"mission", "numplayers", "9"}),
                  none,
                  none,
                  "numplayers",
                  none,
                  {}},
        // Names and values are never keys; a value never starts the players.
        ReplyCase{"playerNamedMaxplayers",
                  kAnna + fields({"maxplayers", "", "5", ""}),
                  "3",
                  "32",
                  "",
                  "7",
                  {{"Anna", "120"}, {"maxplayers", "5"}}},
        ReplyCase{"playersNamedLikeKeys",
                  fields({"numplayers", "2", "mission", "m", "deaths_", "", "numplayers", "", "1",
                          "", "mission", "", "2", ""}),
                  "2",
                  none,
                  "m",
                  none,
                  {{"numplayers", "1"}, {"mission", "2"}}},
        ReplyCase{"valuesNamedLikeKeys",
                  fields({"hostname", "maxplayers", "mission", "deaths_x", "numplayers", "2"}),
                  "2",
                  none,
                  "deaths_x",
                  none,
                  {}},
        ReplyCase{"keyAsLastField", fields({"mission"}), none, none, none, none, {}},
        ReplyCase{"noFieldsAtAll", std::string("abc"), none, none, none, none, {}},
        ReplyCase{"cp1252Name",
                  fields({"deaths_", "", "Jos\xE9", "", "5", ""}),
                  none,
                  none,
                  none,
                  none,
                  {{"José", "5"}}},
        ReplyCase{"utf8Name",
                  fields({"deaths_", "", "Zoë", "", "5", ""}),
                  none,
                  none,
                  none,
                  none,
                  {{"Zoë", "5"}}}),
    ByLabel());

TEST(ParseReply, BadMaxplayersFailsKeepingWhatCameBefore) {
    ServerStatusReply r;
    const std::string s = fields({"numplayers", "3", "maxplayers", "ten", "mission", "m"});
    try {
        parseStatusReply(reinterpret_cast<const uint8_t*>(s.data()), s.size(), r);
        FAIL();
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'ten' is not a valid integer value");
    }
    EXPECT_EQ(r.numPlayers, "3");
    EXPECT_FALSE(r.slots);
    EXPECT_FALSE(r.mission);
}

TEST(ParseReply, KeepsAtMostATableRowOfPlayers) {
    std::string s = fields({"deaths_", ""});
    for (size_t i = 0; i < MaxReplyPlayers + 10; ++i)
        s += fields({"p" + std::to_string(i), "", std::to_string(i), ""});
    const ServerStatusReply r = parse(s);
    ASSERT_EQ(r.players.size(), MaxReplyPlayers);
    EXPECT_EQ(r.players.back().name, "p1024");
    EXPECT_EQ(r.players.back().score, "1024"); // not overwritten by the dropped groups
}

struct CaptureCase {
    const char* file;
    std::optional<std::string> numPlayers, slots, mission, gameState;
    Players players;
    friend void PrintTo(const CaptureCase& c, std::ostream* os) { *os << c.file; }
};

class RealCaptures : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(RealCaptures, ParseToThePlayersAndScores) {
    const auto& c = GetParam();
    const std::string bytes = readAll(std::string(TEST_DATA_DIR) + "/" + c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    const ServerStatusReply r = parse(bytes);
    EXPECT_EQ(r.numPlayers, c.numPlayers);
    EXPECT_EQ(r.slots, c.slots);
    EXPECT_EQ(r.mission, c.mission);
    EXPECT_EQ(r.gameState, c.gameState);
    EXPECT_EQ(playersOf(r), c.players);
}

const std::string kDomination = "co@10 Domination!ACE East [4.5+] RA";

INSTANTIATE_TEST_SUITE_P(
    Servers, RealCaptures,
    ::testing::Values(CaptureCase{"synth_arma1_1_FFFF00.bin",
                                  "2",
                                  "8",
                                  kDomination,
                                  "7",
                                  {{"Rokse [LT]", "56"}, {"EngineerACE", "39"}}},
                      CaptureCase{"gameq_arma1_1_CORY.bin", "2", "8", kDomination, "7", {}}),
    [](const auto& p) { // the capture's file name, without its extension
        const std::string file = p.param.file;
        return file.substr(0, file.find('.'));
    });

TEST(GameState, TextsOfTheKnownCodes) {
    EXPECT_EQ(gameStateText("1"), "Selecting mission");
    EXPECT_EQ(gameStateText("7"), "Game in progress...");
    EXPECT_EQ(gameStateText("9"), "Debriefing");
    EXPECT_EQ(gameStateText("07"), "07");
    EXPECT_EQ(gameStateText(""), "");
}
