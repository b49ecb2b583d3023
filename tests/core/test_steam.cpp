// The game in Steam's libraries, run by Proton or by Steam, with Proton's prefix.
#include "fake_steam.h"
#include "launch.h"
#include "launch_modes.h"
#include "param_names.h"
#include "recording_host.h"
#include "reg_file_store.h"
#include "steam_library.h"
#include "test_store.h"

#include <gtest/gtest.h>

#include <algorithm>
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

namespace {
// Operation Arrowhead from Steam's library, started in single player with $HOME at the fake Steam.
LaunchResult launchFrom(FakeSteam& steam, const std::string& runner, ProcessStarter& starter) {
    const ScopedEnv home("HOME", steam.home);
    LauncherState st;
    prepareLaunchState(st);
    st.settings.executable = steam.arrowheadExe;
    st.settings.gamePath = steam.arrowhead;
    st.settings.runner = runner == "proton" ? "proton:" + steam.proton : runner;
    RegFileStore store(steam.dir.file("registry.reg"));
    const LaunchCase single = launchModeCases().front();
    return launchGame(st, store, starter, single.connect(), single.mods);
}
} // namespace

struct RunnerCase {
    const char* label;
    bool flatpak;
    const char* runner;
    Strings removed;     // below the fake Steam's folder
    const char* told;    // not empty: nothing starts, and this is told
    const char* program; // empty: the stub game, run by the Proton script
    Strings head;        // before the game's arguments; "exe": the game
    friend void PrintTo(const RunnerCase& c, std::ostream* os) { *os << c.label; }
};

class SteamRunner : public ::testing::TestWithParam<RunnerCase> {};

TEST_P(SteamRunner, StartsTheGameWithItsArgumentsSplitAsWindowsSplitsThemOrTellsWhyNot) {
    const auto& c = GetParam();
    FakeSteam steam(FakeSteam::List::Current, c.flatpak);
    for (const std::string& path : c.removed)
        fs::remove_all(steam.dir.file(path));
    placeStub(steam.dir.file("bin/steam"));
    placeStub(steam.dir.file("bin/flatpak"));
    const ScopedEnv path("PATH", steam.dir.file("bin") + ":" + std::getenv("PATH"));
    struct : SystemProcessStarter {
        int starts = 0;
        StartResult start(const std::string& l, const std::string& d,
                          const WindowsRunner& r) override {
            ++starts;
            return SystemProcessStarter::start(l, d, r);
        }
    } starter;
    const LaunchResult r = launchFrom(steam, c.runner, starter);
    if (*c.told) {
        EXPECT_EQ(starter.starts, 0);
        EXPECT_NE(r.error.find(c.told), std::string::npos) << r.error;
        return;
    }
    ASSERT_TRUE(r.gameStarted) << r.error;
    const auto recs = waitForStubRecords(steam.records, 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].program, *c.program ? c.program : STUB_GAME_PATH);
    EXPECT_EQ(recs[0].cwd, steam.arrowhead);
    Strings args = c.head;
    std::replace(args.begin(), args.end(), std::string("exe"), steam.arrowheadExe);
    const Strings gameArgs = launchModeCases().front().args;
    args.insert(args.end(), gameArgs.begin(), gameArgs.end());
    EXPECT_EQ(recs[0].args, args);
    if (!*c.program) { // Steam's variables, which the script wrote before it ran the game
        EXPECT_EQ(readAll(steam.protonEnv),
                  steam.compatData + "\n" + steam.root + "\n33930\n33930\n");
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Runners, SteamRunner, ::testing::Values(
    RunnerCase{"proton", false, "proton", {}, "", "", {"run", "exe"}},
    RunnerCase{"steam", false, "steam", {}, "", "steam", {"-applaunch", "33930"}},
    RunnerCase{"flatpakSteam", true, "steam", {}, "", "flatpak",
               {"run", "com.valvesoftware.Steam", "-applaunch", "33930"}},
    RunnerCase{"noSteam", false, "steam", {"home"}, "Steam was not found.", "", {}},
    RunnerCase{"steamWithoutTheGame", false, "proton",
               {"home/.local/share/Steam/steamapps/appmanifest_33900.acf",
                "games/Steam Library/steamapps/appmanifest_33930.acf"},
               "Steam is installed, but ArmA 2: Operation Arrowhead and ArmA 2 are in none", "", {}},
    RunnerCase{"protonGone", false, "proton:/gone/proton", {}, "The Proton chosen under", "", {}},
    RunnerCase{"noCompatData", false, "proton", {"games/Steam Library/steamapps/compatdata"},
               "Start the game once from Steam", "", {}}),
    ByLabel());
// clang-format on

TEST(SteamPrefix, PlacesTheGameAndGivesThePlayerNameAndProfiles) {
    FakeSteam steam;
    const ScopedEnv home("HOME", steam.home);
    RegFileStore store(steam.dir.file("registry.reg"));
    LauncherState st;
    RecordingHost firstStart;
    readRegistry(store, st, firstStart, "", steam.dir.file("no-wine-prefix"));
    EXPECT_EQ(st.settings.gamePath, steam.arrowhead); // the executable found, with a Proton

    store.setRoot(RootKey::CurrentUser);
    store.openKey(kLauncherKey, false);
    store.writeString("executable", ""); // the chooser opens where Proton's prefix has the game
    store.closeKey();
    RecordingHost host;
    readRegistry(store, st, host, "", steam.dir.file("no-wine-prefix"));
    EXPECT_EQ(st.settings.gamePath, steam.compatData + "/pfx/drive_c/Games/OA"); // its install key
    EXPECT_EQ(host.playerName, "Zo\u00eb \"Z\"");
    EXPECT_EQ(host.playerList, Strings{"Zo\u00eb"});
}
