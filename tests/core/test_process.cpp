#include "command_line.h"
#include "launch.h"
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
    [](const auto& info) { return std::string(info.param.label); });

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
    StartResult start(const std::string& line, const std::string& dir) override {
        lines.push_back(line);
        return real.start(line, dir);
    }
};

} // namespace

struct LaunchCase {
    const char* label;
    std::function<void(LauncherState&)> change;
    std::function<std::string(const std::string&)> connect;
    int32_t mode;
    std::vector<std::string> args;
};

class LaunchTheStub : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchTheStub, TheGameReceivesTheCommandLine) {
    const auto& c = GetParam();
    LaunchFixture f;
    f.st.settings.nosplash = true;
    f.st.mods.lastIndex = 1;
    f.st.mods.dir[0] = "@dirA";
    f.st.mods.checked[0] = true;
    f.st.mods.dir[1] = "@dir B";
    f.st.mods.checked[1] = true;
    f.st.servers.lastIndex = 0;
    f.st.servers.ip[0] = "127.0.0.1";
    f.st.servers.port[0] = "2302";
    f.st.servers.mods[0] = "@dirA;";
    c.change(f.st);
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const std::string cwdBefore = std::filesystem::current_path().string();
    const LaunchResult r = launchGame(f.st, store, starter, c.connect("Alpha"), c.mode);
    EXPECT_TRUE(r.gameStarted) << r.error;
    const auto recs = waitForStubRecords(f.out, 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].program, f.game);
    EXPECT_EQ(recs[0].cwd, f.gameDir);
    EXPECT_EQ(recs[0].args, c.args);
    EXPECT_EQ(std::filesystem::current_path().string(), cwdBefore);
    EXPECT_FALSE(std::filesystem::exists(f.gameDir + "/x")); // nothing ran through a shell
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LaunchTheStub,
    ::testing::Values(
        LaunchCase{"single",
                   [](LauncherState&) {},
                   singlePlayerConnect,
                   -1,
                   {"-nosplash", "-mod=@dirA;@dir", "B", "-name=Alpha"}},
        LaunchCase{"windowed",
                   [](LauncherState& s) { s.settings.window = true; },
                   windowedConnect,
                   -1,
                   {"-nosplash", "-window", "-mod=@dirA;@dir", "B", "-window", "-name=Alpha"}},
        LaunchCase{"host",
                   [](LauncherState& s) { s.settings.maxmem = 2; },
                   hostConnect,
                   -1,
                   {"-nosplash", "-maxmem=2", "-mod=@dirA;@dir", "B", "-host", "-name=Alpha"}},
        LaunchCase{
            "dedicated",
            [](LauncherState& s) { s.settings.maxmem = 1; },
            dedicatedServerConnect,
            -1,
            {"-nosplash", "-mod=@dirA;@dir", "B", "-server", "-config=server.cfg", "-name=Alpha"}},
        LaunchCase{"browserJoin",
                   [](LauncherState& s) { s.settings.extraParams = "-world=empty -x"; },
                   [](const std::string& p) {
                       LauncherState st;
                       st.servers.ip[0] = "127.0.0.1";
                       st.servers.port[0] = "2302";
                       st.servers.pass[0] = "pw";
                       return browserJoinConnect(st.servers, 0, p);
                   },
                   0,
                   {"-nosplash", "-world=empty", "-x", "-mod=@dirA", "-connect=127.0.0.1",
                    "-port=2302", "-password=pw", "-dplay", "-name=Alpha"}},
        LaunchCase{"directJoinHostile",
                   [](LauncherState& s) { s.mods.lastIndex = -1; },
                   [](const std::string&) {
                       return directJoinConnect("h; rm -rf /", "2302 | id",
                                                "; $(touch x) `id` \" ' & |", "a&b");
                   },
                   -1,
                   {"-nosplash", "-connect=h;", "rm", "-rf", "/", "-port=2302", "|", "id",
                    "-name=; $(touch x) `id` ", "'", "&", "| -password=a&b"}},
        LaunchCase{
            "singleHostileName",
            [](LauncherState& s) { s.mods.lastIndex = -1; },
            [](const std::string&) { return singlePlayerConnect("; $(touch x) `id` \" ' & |"); },
            -1,
            {"-nosplash", "-name=; $(touch x) `id` ", "'", "&", "| "}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Launch, PreLaunchProgramThenTrackIrThenTheGame) {
    LaunchFixture f;
    const std::string tir = placeStub(f.dir.file("Track IR/TrackIR.exe"));
    const std::string pre = placeStub(f.dir.file("tools/pre launch"));
    f.st.settings.extraExec = pre + " --minimized \"a b\"";
    f.st.settings.runtir = true;
    RegFileStore store(f.dir.file("reg"));
    store.openKey(kTrackIrKey, true);
    store.writeString("Path", f.dir.file("Track IR"));
    store.closeKey();

    OrderRecorder starter;
    const LaunchResult r = launchGame(f.st, store, starter, singlePlayerConnect("A"), -1);
    EXPECT_TRUE(r.gameStarted);
    ASSERT_EQ(starter.lines.size(), 3u);
    EXPECT_EQ(starter.lines[0], f.st.settings.extraExec);
    EXPECT_EQ(starter.lines[1], tir);
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
};

class TrackIrMissing : public ::testing::TestWithParam<TrackIrCase> {};

TEST_P(TrackIrMissing, StartsNothingButTheGame) {
    const auto& c = GetParam();
    LaunchFixture f;
    f.st.settings.runtir = true;
    RegFileStore store(f.dir.file("reg"));
    if (c.key) {
        store.openKey(kTrackIrKey, true);
        if (c.value)
            store.writeString("Path", c.folder ? f.dir.path().string() : "/no/such/folder");
        store.closeKey();
    }
    OrderRecorder starter;
    const LaunchResult r = launchGame(f.st, store, starter, "", -1);
    EXPECT_TRUE(r.gameStarted);
    ASSERT_EQ(starter.lines.size(), 1u);
    EXPECT_EQ(starter.lines[0], r.commandLine);
}

INSTANTIATE_TEST_SUITE_P(Cases, TrackIrMissing,
                         ::testing::Values(TrackIrCase{"noKey", false, false, false},
                                           TrackIrCase{"noValue", true, false, false},
                                           TrackIrCase{"noFolder", true, true, false}),
                         [](const auto& info) { return std::string(info.param.label); });

struct BadGameCase {
    const char* label;
    std::function<std::string(const TempDir&)> executable;
};

class GameThatCannotStart : public ::testing::TestWithParam<BadGameCase> {};

TEST_P(GameThatCannotStart, IsReportedAndKeepsTheLauncherOpen) {
    LaunchFixture f;
    f.st.settings.executable = GetParam().executable(f.dir);
    f.st.settings.close = true;
    f.st.settings.extraExec = "/no/such/pre-launch"; // silent
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const LaunchResult r = launchGame(f.st, store, starter, "", -1);
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
    [](const auto& info) { return std::string(info.param.label); });

TEST(Launch, CloseIsAskedForOnlyAfterTheGameStarted) {
    LaunchFixture f;
    f.st.settings.close = true;
    RegFileStore store(f.dir.file("reg"));
    SystemProcessStarter starter;
    const LaunchResult r = launchGame(f.st, store, starter, "", -1);
    EXPECT_TRUE(r.gameStarted);
    EXPECT_TRUE(r.closeLauncher);
    waitForStubRecords(f.out, 1);
}
