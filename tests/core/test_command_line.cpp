#include "command_line.h"
#include "param_names.h"

#include <gtest/gtest.h>

using namespace quorvale;

namespace {

LauncherState exampleState() {
    LauncherState st;
    st.settings.executable = "C:\\Games\\Game\\arma2.exe";
    st.settings.noSplash = true;
    st.settings.maxMemory = 1024;
    st.mods.entries = {{0, "", "dirA", true}, {0, "", "dirX", false}, {0, "", "dirB", true}};
    st.servers.entries = {{0, "", "10.0.0.5", "2302", "", "", true, "dirA;"},
                          {0, "", "game.example.org", "2402", "", "secret", false, ""}};
    return st;
}

} // namespace

TEST(CommandLine, TheSinglePlayerExample) {
    EXPECT_EQ(buildGameCommandLine(exampleState(), singlePlayerConnect("Alpha"), kTickedMods),
              "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=1024 -mod=dirA;dirB  \"-name=Alpha\" ");
}

struct ConnectCase {
    const char* label;
    std::string got;
    const char* expected;
    friend void PrintTo(const ConnectCase& c, std::ostream* os) { *os << c.label; }
};

class ConnectStrings : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(ConnectStrings, AreBuiltPieceByPiece) {
    EXPECT_EQ(GetParam().got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ConnectStrings,
    ::testing::Values(
        ConnectCase{"single", singlePlayerConnect("A b"), " \"-name=A b\" "},
        ConnectCase{"singleEmpty", singlePlayerConnect(""), " \"-name=\" "},
        ConnectCase{"windowed", windowedConnect("A"), " -window \"-name=A\" "},
        ConnectCase{"host", hostConnect("A"), "-host \"-name=A\""},
        ConnectCase{"dedicated", dedicatedServerConnect("A"),
                    "-server -config=server.cfg \"-name=A\""},
        ConnectCase{"browserSockets", browserJoinConnect(exampleState().servers.entries[0], "A"),
                    " -connect=10.0.0.5 -port=2302 -sockets  \"-name=A\""},
        ConnectCase{"browserPassDplay", browserJoinConnect(exampleState().servers.entries[1], "A"),
                    " -connect=game.example.org -port=2402 -password=secret -dplay  \"-name=A\""},
        ConnectCase{"direct", directJoinConnect("h", "2302", "A", "pw"),
                    " -connect=h -port=2302 \"-name=A\" -password=pw"},
        ConnectCase{"directNoPassword", directJoinConnect("h", "2302", "A", ""),
                    " -connect=h -port=2302 \"-name=A\" -password="},
        ConnectCase{"directBlanks", directJoinConnect("", "2302", "Mr X", "p w"),
                    " -connect= -port=2302 \"-name=Mr X\" \"-password=p w\""}),
    ByLabel());

struct LineCase {
    const char* label;
    std::function<void(LauncherState&)> change;
    std::string connect;
    ModsOfServer mods;
    const char* expected;
    friend void PrintTo(const LineCase& c, std::ostream* os) { *os << c.label; }
};

class GameCommandLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(GameCommandLine, MatchesByteForByte) {
    LauncherState st = exampleState();
    GetParam().change(st);
    EXPECT_EQ(buildGameCommandLine(st, GetParam().connect, GetParam().mods), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, GameCommandLine,
    ::testing::Values(
        LineCase{
            "noModTicked",
            [](LauncherState& s) { s.mods.entries[0].checked = s.mods.entries[2].checked = false; },
            "X", kTickedMods, "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=1024 X"},
        LineCase{"serverModsTrailingSemicolon", [](LauncherState&) {}, "X", 0,
                 "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=1024 -mod=dirA  X"},
        LineCase{"serverWithoutMods", [](LauncherState&) {}, "X", 1,
                 "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=1024 X"},
        LineCase{"serverSlotOutsideTheTable", [](LauncherState&) {}, "X", 7,
                 "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=1024 X"},
        LineCase{"serversNamedModsInItsOrder", [](LauncherState&) {}, "X",
                 ModsOfServer::named({"@CBA_CO", "@my mod"}),
                 "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=1024 \"-mod=@CBA_CO;@my mod\" X"},
        LineCase{"serverNamesOnlyTheGame", [](LauncherState&) {}, "X", ModsOfServer::named({}),
                 "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=1024 X"},
        LineCase{"maxmemZero", [](LauncherState& s) { s.settings.maxMemory = 0; }, "X", 0,
                 "C:\\Games\\Game\\arma2.exe -nosplash -mod=dirA  X"},
        LineCase{"maxmemOne", [](LauncherState& s) { s.settings.maxMemory = 1; }, "X", 0,
                 "C:\\Games\\Game\\arma2.exe -nosplash -mod=dirA  X"},
        LineCase{"maxmemTwo", [](LauncherState& s) { s.settings.maxMemory = 2; }, "X", 0,
                 "C:\\Games\\Game\\arma2.exe -nosplash -maxmem=2 -mod=dirA  X"},
        LineCase{"extraParams",
                 [](LauncherState& s) {
                     s.settings.additionalParameters = "-world=empty";
                     s.settings.maxMemory = 0;
                 },
                 "X", 1, "C:\\Games\\Game\\arma2.exe -nosplash -world=empty  X"},
        LineCase{"extraParamsOnSeveralLines",
                 [](LauncherState& s) {
                     s.settings.additionalParameters = "-world=empty\r\n-noPause\t-x\x1b";
                     s.settings.maxMemory = 0;
                 },
                 "X", 1, "C:\\Games\\Game\\arma2.exe -nosplash -world=empty  -noPause -x   X"},
        LineCase{"windowedTwice",
                 [](LauncherState& s) {
                     s.settings.windowed = true;
                     s.settings.maxMemory = 0;
                     s.mods.entries.clear();
                 },
                 windowedConnect("A"), kTickedMods,
                 "C:\\Games\\Game\\arma2.exe -nosplash -window  -window \"-name=A\" "},
        LineCase{"executableWithABlank",
                 [](LauncherState& s) { s.settings.executable = "C:\\Program Files\\a.exe"; }, "X",
                 1, "\"C:\\Program Files\\a.exe\" -nosplash -maxmem=1024 X"},
        LineCase{"nothingSet",
                 [](LauncherState& s) {
                     s.settings = {};
                     s.settings.executable = "game";
                 },
                 "", 1, "game "}),
    ByLabel());
