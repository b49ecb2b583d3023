// The game in Steam's libraries, and the runners Steam offers.
#include "fake_steam.h"
#include "param_names.h"
#include "steam_library.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quorvale;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct ListCase {
    const char* label;
    FakeSteam::List list;
    bool flatpak;
    friend void PrintTo(const ListCase& c, std::ostream* os) { *os << c.label; }
};

class SteamLibraries : public ::testing::TestWithParam<ListCase> {};

TEST_P(SteamLibraries, HoldTheGameArrowheadFirst) {
    const FakeSteam steam(GetParam().list, GetParam().flatpak);
    const auto installs = findSteamInstalls(steamRootCandidates(steam.home));
    ASSERT_EQ(installs.size(), 1u);
    EXPECT_EQ(installs[0].flatpak, GetParam().flatpak);
    EXPECT_EQ(installs[0].libraries, (Strings{steam.root, steam.library}));
    const auto games = findSteamGames(installs);
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(games[0].executable, steam.arrowheadExe);
    EXPECT_EQ(games[1].executable, steam.arma2 + "/ArmA2.exe");
    EXPECT_EQ(steamGameFor(games, steam.arma2 + "/ArmA2.exe")->appId, kArma2AppId);
    EXPECT_EQ(steamGameFor(games, "/elsewhere/arma2oa.exe")->appId, kArrowheadAppId);
}

INSTANTIATE_TEST_SUITE_P(Forms, SteamLibraries,
                         ::testing::Values(ListCase{"current", FakeSteam::List::Current, false},
                                           ListCase{"old", FakeSteam::List::Old, false},
                                           ListCase{"inConfig", FakeSteam::List::InConfig, false},
                                           ListCase{"flatpakOnly", FakeSteam::List::Current, true}),
                         ByLabel());

struct HostileCase {
    const char* label;
    std::string text; // empty: a pipe
    const char* why;
    friend void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.label; }
};

class HostileLibraryList : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileLibraryList, IsLeftAsideWithAMessage) {
    const FakeSteam steam(FakeSteam::List::None);
    const std::string list = steam.root + "/steamapps/libraryfolders.vdf";
    if (GetParam().text.empty())
        mkfifo(list.c_str(), 0600);
    else
        writeAll(list, GetParam().text);
    const auto installs = findSteamInstalls(steamRootCandidates(steam.home));
    ASSERT_EQ(installs.size(), 1u);
    EXPECT_EQ(installs[0].libraries, Strings{steam.root}); // still searched
    EXPECT_EQ(findSteamGames(installs).size(), 1u);
    ASSERT_EQ(installs[0].problems.size(), 1u);
    EXPECT_NE(installs[0].problems[0].find(list + ": " + GetParam().why), std::string::npos)
        << installs[0].problems[0];
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileLibraryList,
    ::testing::Values(
        HostileCase{"cut", "\"libraryfolders\" { \"1\" { \"path\" \"/mnt/Lib",
                    "line 1: a quoted text is not closed"},
        HostileCase{"deepBraces", repeated("\"a\"{", 100000),
                    "line 1: blocks nested deeper than 64"},
        HostileCase{"tenMegabytes", std::string(10 << 20, ' '), "larger than 1024 KiB"},
        HostileCase{"binary", std::string("\0libraryfolders\0\x01path\0/x\0\x08\x08", 28),
                    "line 1: the file holds binary data"},
        HostileCase{"pipe", "", "not a plain file"}),
    ByLabel());

TEST(SteamLibraries, OfferEachProtonNewestFirstAndTheFirstStartWhatItFinds) {
    const FakeSteam steam;
    const auto installs = findSteamInstalls(steamRootCandidates(steam.home));
    Strings labels;
    for (const auto& o : runnerOptions(installs))
        labels.push_back(o.label + "=" + o.value);
    EXPECT_EQ(
        labels,
        (Strings{"Wine=wine",
                 "Proton 10.0=proton:" + steam.library + "/steamapps/common/Proton 10.0/proton",
                 "Proton 8.0=proton:" + steam.proton,
                 "GE-Proton9-1=proton:" + steam.root + "/compatibilitytools.d/GE-Proton9-1/proton",
                 "Steam=steam"}));
    EXPECT_EQ(steamSetup(installs)->game.executable, steam.arrowheadExe);
    EXPECT_EQ(steamSetup(installs)->runner, protonRunnerValue(findProtons(installs)[0].script));
    fs::remove_all(steam.compatData);
    EXPECT_EQ(steamSetup(installs)->runner, "steam"); // Steam makes the prefix at its first start
}

TEST(SteamLibraries, KeepEveryOlderRunnerValueACommand) {
    const std::pair<std::string, RunnerValue> values[] = {
        {"wine", {RunnerValue::Command, "wine"}},
        {"", {RunnerValue::Command, "wine"}},
        {"/opt/Proton\\ 8.0/proton run", {RunnerValue::Command, "/opt/Proton\\ 8.0/proton run"}},
        {"steam -x", {RunnerValue::Command, "steam -x"}},
        {"proton:/opt/Proton 8.0/proton", {RunnerValue::Proton, "/opt/Proton 8.0/proton"}},
        {"steam", {RunnerValue::Steam, ""}}};
    for (const auto& [stored, value] : values) {
        EXPECT_EQ(parseRunnerValue(stored).kind, value.kind) << stored;
        EXPECT_EQ(parseRunnerValue(stored).text, value.text) << stored;
    }
}
