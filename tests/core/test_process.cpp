#include "command_line.h"
#include "launch.h"
#include "launch_modes.h"
#include "param_names.h"
#include "process_starter.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "stub_records.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace quorvale;

struct ArgCase {
    const char* label;
    const char* line;
    std::vector<std::string> args;
    friend void PrintTo(const ArgCase& c, std::ostream* os) { *os << c.label; }
};

class WindowsArguments : public ::testing::TestWithParam<ArgCase> {};

TEST_P(WindowsArguments, SplitAsTheCRuntimeDoes) {
    EXPECT_EQ(splitArguments(GetParam().line), GetParam().args);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, WindowsArguments,
    ::testing::Values(ArgCase{"blanks", "  a\tb   c ", {"a", "b", "c"}},
                      ArgCase{"quotedBlank", "\"-name=A b\" x", {"-name=A b", "x"}},
                      ArgCase{"quoteMidWord", "a\"b c\"d", {"ab cd"}},
                      ArgCase{"backslashesKept", "C:\\a\\b\\ c", {"C:\\a\\b\\", "c"}},
                      ArgCase{"escapedQuote", "a\\\"b", {"a\"b"}},
                      ArgCase{"evenBackslashesThenQuote", "\"a\\\\\" b", {"a\\", "b"}},
                      ArgCase{"oddBackslashesThenQuote", "a\\\\\\\"b", {"a\\\"b"}},
                      ArgCase{"doubledQuoteInQuotes", "\"a\"\"b\"", {"a\"b"}},
                      ArgCase{"emptyQuoted", "\"\" x", {"", "x"}},
                      ArgCase{"unclosedQuoteKeepsBlanks", "\"a b ", {"a b "}},
                      ArgCase{"nothing", "   ", {}}),
    ByLabel());

TEST(SplitCommandLine, FindsTheShortestPrefixThatNamesAProgram) {
    const auto isProgram = [](const std::string& s) {
        return s == "C:\\Program Files\\Game\\arma2.exe" ||
               s == "C:\\Program Files\\Game\\arma2.exe -x";
    };
    const auto split =
        splitCommandLine("C:\\Program Files\\Game\\arma2.exe -x \"-name=A\"", isProgram);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->program, "C:\\Program Files\\Game\\arma2.exe");
    EXPECT_EQ(split->args, (std::vector<std::string>{"-x", "-name=A"}));

    const auto quoted = splitCommandLine("\"C:\\Program Files\\Game\\arma2.exe\" -y", isProgram);
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->args, std::vector<std::string>{"-y"});

    EXPECT_FALSE(splitCommandLine("C:\\nothing here", isProgram));
    EXPECT_FALSE(splitCommandLine("", isProgram));
}

namespace {

struct LaunchFixture {
    TempDir dir;
    std::string out = dir.file("records");
    std::string gameDir = dir.file("Arma 2 folder; & $(x)");
    std::string game = placeStub(gameDir + "/arma2 game.exe");
    LauncherState st;

    LaunchFixture() {
        setenv("QUORVALE_STUB_OUT", out.c_str(), 1);
        st.settings.executable = game;
        st.settings.gamePath = gameDir;
    }
    ~LaunchFixture() { unsetenv("QUORVALE_STUB_OUT"); }
};

// Records the order of starts and passes them on to the real starter.
struct OrderRecorder : ProcessStarter {
    SystemProcessStarter real;
    std::vector<std::string> lines;
    StartResult start(const std::string& line, const std::string& dir,
                      const WindowsRunner& runner) override {
        lines.push_back(line);
        return real.start(line, dir, runner);
    }
};

} // namespace

class LaunchTheStub : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchTheStub, TheGameReceivesTheCommandLine) {
    const auto& c = GetParam();
    LaunchFixture f;
    placeStub(f.dir.file("Arma")); // what the game's path reads as up to its first blank
    prepareLaunchState(f.st);
    c.change(f.st);
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const std::string cwdBefore = std::filesystem::current_path().string();
    const LaunchResult r = launchGame(f.st, store, starter, c.connect(), c.mods);
    EXPECT_TRUE(r.gameStarted) << r.error;
    const auto recs = waitForStubRecords(f.out, 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].program, f.game);
    EXPECT_EQ(recs[0].cwd, f.gameDir);
    EXPECT_EQ(recs[0].args, c.args);
    EXPECT_EQ(std::filesystem::current_path().string(), cwdBefore);
    EXPECT_FALSE(std::filesystem::exists(f.gameDir + "/x")); // nothing ran through a shell
}

INSTANTIATE_TEST_SUITE_P(Modes, LaunchTheStub, ::testing::ValuesIn(launchModeCases()), ByLabel());

TEST(Launch, PreLaunchProgramThenTrackIrThenTheGame) {
    LaunchFixture f;
    const std::string tir = placeStub(f.dir.file("Track IR/TrackIR.exe"));
    placeStub(f.dir.file("Track")); // what the path's text up to its blank would start
    const std::string pre = placeStub(f.dir.file("tools/pre launch"));
    f.st.settings.preLaunchProgram = pre + " --minimized \"a b\"";
    f.st.settings.runTrackIr = true;
    RegFileStore store(f.dir.file("reg"));
    store.openKey(kTrackIrKey, true);
    store.writeString("Path", f.dir.file("Track IR"));
    store.closeKey();

    OrderRecorder starter;
    const LaunchResult r = launchGame(f.st, store, starter, singlePlayerConnect("A"), kTickedMods);
    EXPECT_TRUE(r.gameStarted);
    ASSERT_EQ(starter.lines.size(), 3u);
    EXPECT_EQ(starter.lines[0], f.st.settings.preLaunchProgram);
    EXPECT_EQ(starter.lines[1], windowsProgram(tir));
    EXPECT_EQ(starter.lines[2], r.commandLine);

    auto recs = waitForStubRecords(f.out, 3);
    ASSERT_EQ(recs.size(), 3u);
    for (const auto& rec : recs) {
        if (rec.program == pre) {
            EXPECT_EQ(rec.cwd, f.gameDir);
            EXPECT_EQ(rec.args, (std::vector<std::string>{"--minimized", "a b"}));
        } else if (rec.program == tir) {
            EXPECT_EQ(rec.cwd, f.dir.file("Track IR"));
        } else {
            EXPECT_EQ(rec.program, f.game);
        }
    }
}

struct TrackIrCase {
    const char* label;
    bool key;
    bool value;
    bool folder;
    friend void PrintTo(const TrackIrCase& c, std::ostream* os) { *os << c.label; }
};

class TrackIrMissing : public ::testing::TestWithParam<TrackIrCase> {};

TEST_P(TrackIrMissing, StartsNothingButTheGame) {
    const auto& c = GetParam();
    LaunchFixture f;
    f.st.settings.runTrackIr = true;
    RegFileStore store(f.dir.file("reg"));
    if (c.key) {
        store.openKey(kTrackIrKey, true);
        if (c.value)
            store.writeString("Path", c.folder ? f.dir.path().string() : "/no/such/folder");
        store.closeKey();
    }
    OrderRecorder starter;
    const LaunchResult r = launchGame(f.st, store, starter, "", kTickedMods);
    EXPECT_TRUE(r.gameStarted);
    ASSERT_EQ(starter.lines.size(), 1u);
    EXPECT_EQ(starter.lines[0], r.commandLine);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrackIrMissing,
                         ::testing::Values(TrackIrCase{"noKey", false, false, false},
                                           TrackIrCase{"noValue", true, false, false},
                                           TrackIrCase{"noFolder", true, true, false}),
                         ByLabel());

struct BadGameCase {
    const char* label;
    std::function<std::string(const TempDir&)> executable;
    friend void PrintTo(const BadGameCase& c, std::ostream* os) { *os << c.label; }
};

class GameThatCannotStart : public ::testing::TestWithParam<BadGameCase> {};

TEST_P(GameThatCannotStart, IsReportedAndKeepsTheLauncherOpen) {
    LaunchFixture f;
    f.st.settings.executable = GetParam().executable(f.dir);
    f.st.settings.closeAfterLaunch = true;
    f.st.settings.preLaunchProgram = "/no/such/pre-launch"; // silent
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const LaunchResult r = launchGame(f.st, store, starter, "", kTickedMods);
    EXPECT_FALSE(r.gameStarted);
    EXPECT_FALSE(r.closeLauncher);
    EXPECT_NE(r.error.find(f.st.settings.executable), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GameThatCannotStart,
    ::testing::Values(BadGameCase{"missing", [](const TempDir& d) { return d.file("nope.exe"); }},
                      BadGameCase{"notExecutable",
                                  [](const TempDir& d) {
                                      writeAll(d.file("plain.exe"), "not a program");
                                      return d.file("plain.exe");
                                  }},
                      BadGameCase{"empty", [](const TempDir&) { return std::string(); }}),
    ByLabel());

TEST(Launch, CloseIsAskedForOnlyAfterTheGameStarted) {
    LaunchFixture f;
    f.st.settings.closeAfterLaunch = true;
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const LaunchResult r = launchGame(f.st, store, starter, "", kTickedMods);
    EXPECT_TRUE(r.gameStarted);
    EXPECT_TRUE(r.closeLauncher);
    waitForStubRecords(f.out, 1);
}

struct RunnerWordsCase {
    const char* label;
    const char* text;
    std::vector<std::pair<std::string, std::string>> environment;
    std::vector<std::string> words;
    friend void PrintTo(const RunnerWordsCase& c, std::ostream* os) { *os << c.label; }
};

class RunnerWords : public ::testing::TestWithParam<RunnerWordsCase> {};

TEST_P(RunnerWords, SplitAsAShellWouldWithNoneRunning) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/tester", 1);
    const auto cmd = parseRunnerCommand(GetParam().text);
    setenv("HOME", home.c_str(), 1);
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->environment, GetParam().environment);
    EXPECT_EQ(cmd->words, GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RunnerWords,
    ::testing::Values(
        RunnerWordsCase{"empty", "  ", {}, {"wine"}},
        RunnerWordsCase{"proton", "proton run", {}, {"proton", "run"}},
        RunnerWordsCase{
            "quotedPath", "\"/opt/Proton 8.0/proton\" run", {}, {"/opt/Proton 8.0/proton", "run"}},
        RunnerWordsCase{"environmentFirst",
                        "STEAM_COMPAT_DATA_PATH=~/pfx WINEDEBUG=-all ~/bin/proton run A=1",
                        {{"STEAM_COMPAT_DATA_PATH", "/home/tester/pfx"}, {"WINEDEBUG", "-all"}},
                        {"/home/tester/bin/proton", "run", "A=1"}},
        RunnerWordsCase{"environmentOnly", "WINEDEBUG=-all", {{"WINEDEBUG", "-all"}}, {"wine"}},
        RunnerWordsCase{"notAName", "1A=b '~/x' ~user", {}, {"1A=b", "~/x", "~user"}},
        RunnerWordsCase{"quotesAndEscapes",
                        "a\\ b 'c \"d' \"e \\\"f\\\" \\\\g \\h\"",
                        {},
                        {"a b", "c \"d", "e \"f\" \\g \\h"}},
        RunnerWordsCase{"metacharactersStayText",
                        "wine $(touch x) `id` ; |",
                        {},
                        {"wine", "$(touch", "x)", "`id`", ";", "|"}}),
    ByLabel());

TEST(RunnerWords, AQuoteNotClosedIsNoCommand) {
    for (const char* text : {"\"/usr/bin/wine", "wine 'a", "a\"b"})
        EXPECT_FALSE(parseRunnerCommand(text)) << text;
}

namespace {
std::string windowsProgramAt(const std::string& path) {
    writeAll(path, std::string("MZ\x90\0\3\0\0\0", 8));
    return path;
}
} // namespace

TEST(WindowsRunner, EveryWindowsProgramGoesThroughTheRunnerWithItsArguments) {
    LaunchFixture f;
    const std::string game = windowsProgramAt(f.gameDir + "/arma2 game.exe");
    const std::string pre = windowsProgramAt(f.gameDir + "/pre launch.exe");
    f.st.settings.executable = game;
    f.st.settings.preLaunchProgram = pre + " --x";
    f.st.settings.runner = std::string(STUB_GAME_PATH) + " --runner-flag 'two words'";
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const LaunchResult r =
        launchGame(f.st, store, starter, singlePlayerConnect("Zo\u00eb"), kTickedMods);
    EXPECT_TRUE(r.gameStarted) << r.error;
    auto recs = waitForStubRecords(f.out, 2);
    ASSERT_EQ(recs.size(), 2u);
    if (recs[0].args.size() > 2 && recs[0].args[2] == game)
        std::swap(recs[0], recs[1]);
    for (const auto& rec : recs) {
        EXPECT_EQ(rec.program, STUB_GAME_PATH);
        EXPECT_EQ(rec.cwd, f.gameDir);
    }
    EXPECT_EQ(recs[0].args, (std::vector<std::string>{"--runner-flag", "two words", pre, "--x"}));
    EXPECT_EQ(recs[1].args,
              (std::vector<std::string>{"--runner-flag", "two words", game, "-name=Zo\u00eb"}));
}

struct RunnerFaultCase {
    const char* label;
    const char* runner;
    bool windowsGame;
    std::string errorPart; // empty: the game starts
    friend void PrintTo(const RunnerFaultCase& c, std::ostream* os) { *os << c.label; }
};

class RunnerFault : public ::testing::TestWithParam<RunnerFaultCase> {};

TEST_P(RunnerFault, IsToldByItsNameAndAScriptNeedsNoRunner) {
    const auto& c = GetParam();
    LaunchFixture f;
    std::string game = f.gameDir + "/start game";
    if (c.windowsGame) {
        windowsProgramAt(game);
    } else {
        writeAll(game, std::string("#!/bin/sh\nexec '") + STUB_GAME_PATH + "' \"$@\"\n");
        std::filesystem::permissions(game, std::filesystem::perms::owner_all);
    }
    f.st.settings.executable = game;
    f.st.settings.runner = c.runner;
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const LaunchResult r = launchGame(f.st, store, starter, singlePlayerConnect("A"), kTickedMods);
    if (c.errorPart.empty()) {
        EXPECT_TRUE(r.gameStarted) << r.error;
        const auto recs = waitForStubRecords(f.out, 1);
        ASSERT_EQ(recs.size(), 1u);
        EXPECT_EQ(recs[0].args, std::vector<std::string>{"-name=A"});
        return;
    }
    EXPECT_FALSE(r.gameStarted);
    EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find("The program"), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunnerFault,
    ::testing::Values(
        RunnerFaultCase{"missingRunner", "no-such-runner-q7", true,
                        "Windows programs are started with no-such-runner-q7, which was not "
                        "found."},
        RunnerFaultCase{"missingRunnerPath", "/no/such/wine run", true,
                        "started with /no/such/wine, which was not found"},
        RunnerFaultCase{"unclosedQuote", "\"/usr/bin/wine", true, "A quote is not closed"},
        RunnerFaultCase{"scriptStartsDirectly", "no-such-runner-q7", false, ""}),
    ByLabel());

TEST(WindowsRunner, ABareNameComesFromPathNeverFromTheCurrentFolder) {
    LaunchFixture f;
    f.st.settings.executable = windowsProgramAt(f.gameDir + "/arma2.exe");
    windowsProgramAt(f.dir.file("Arma")); // the game's path up to its first blank
    f.st.settings.runner = "runner-q7";
    placeStub(f.dir.file("bin/runner-q7"));
    const auto cwd = std::filesystem::current_path();
    const std::string path = std::getenv("PATH");
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;

    std::filesystem::current_path(f.dir.file("bin"));
    const LaunchResult here = launchGame(f.st, store, starter, "", kTickedMods);
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(here.gameStarted);
    EXPECT_NE(here.error.find("runner-q7, which was not found"), std::string::npos) << here.error;

    setenv("PATH", (f.dir.file("bin") + ":" + path).c_str(), 1);
    const LaunchResult onPath = launchGame(f.st, store, starter, "", kTickedMods);
    setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(onPath.gameStarted) << onPath.error;

    // A relative PATH entry names the folder it names before the start moves to the game's.
    std::filesystem::current_path(f.dir.path());
    setenv("PATH", ("bin:" + path).c_str(), 1);
    const LaunchResult relative = launchGame(f.st, store, starter, "", -1);
    setenv("PATH", path.c_str(), 1);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(relative.gameStarted) << relative.error;
    const auto recs = waitForStubRecords(f.out, 2);
    ASSERT_EQ(recs.size(), 2u);
    for (const auto& rec : recs)
        EXPECT_EQ(rec.args, std::vector<std::string>{f.st.settings.executable});
}
