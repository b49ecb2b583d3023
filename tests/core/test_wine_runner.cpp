// The Linux build against the real Wine: the cross-compiled Windows stub started through the
// wine runner in every launch mode, and the game's install key read from a prefix that Wine
// itself wrote. scripts/test-windows runs this with the stub it builds and the prefix it makes
// (QUORVALE_WIN_STUB, WINEPREFIX, a wineserver kept running).
#include "launch.h"
#include "launch_modes.h"
#include "param_names.h"
#include "recording_host.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "win_stub_records.h"
#include "wine_prefix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace quorvale;
namespace fs = std::filesystem;

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Skips, saying why, where the Windows build or the prefix is not there.
#define NEED_WINE()                                                                                \
    do {                                                                                           \
        if (!fs::is_regular_file(env("QUORVALE_WIN_STUB")) ||                                      \
            !fs::is_directory(env("WINEPREFIX") + "/drive_c"))                                     \
            GTEST_SKIP() << "needs the Windows stub (QUORVALE_WIN_STUB) and a Wine prefix "        \
                            "(WINEPREFIX); scripts/test-windows provides both";                    \
    } while (0)

// Runs a command to its end, no shell between, its output dropped (a wineserver it starts
// would otherwise hold the test's output open); its exit status.
int run(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int rc = posix_spawnp(&pid, args[0], &quiet, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The Windows path of a folder on the prefix's drive C:.
std::string onDriveC(const fs::path& driveC, const fs::path& p) {
    std::string w = "C:\\" + p.lexically_relative(driveC).string();
    std::replace(w.begin(), w.end(), '/', '\\');
    return w;
}

// Sets environment variables for one test and puts them back after it.
class ScopedEnv {
public:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? setenv(it->first.c_str(), it->second->c_str(), 1)
                       : unsetenv(it->first.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace

class ThroughWine : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(ThroughWine, TheWindowsGameParsesTheArgumentsOfEveryMode) {
    NEED_WINE();
    const auto& c = GetParam();
    const std::string prefix = env("WINEPREFIX");
    const fs::path driveC = fs::canonical(prefix + "/drive_c");
    const TempDir games(driveC);
    const fs::path folder = games.path() / "Arma 2 folder; & $(x)";
    fs::create_directories(folder);
    fs::copy_file(env("QUORVALE_WIN_STUB"), folder / "arma2 game.exe");
    const TempDir records;
    const std::string out = records.file("records");

    LauncherState st;
    prepareLaunchState(st);
    c.change(st);
    st.settings.executable = (folder / "arma2 game.exe").string();
    st.settings.gamePath = folder.string();
    st.settings.runner = "wine";
    st.settings.winePrefix = prefix; // stored; the environment's points nowhere
    ScopedEnv scoped;
    scoped.set("WINEPREFIX", "/nonexistent/prefix");
    scoped.set("QUORVALE_STUB_OUT", ("Z:" + out).c_str());
    scoped.set("LANG", "C"); // the launcher must give Wine a UTF-8 locale itself
    scoped.set("LC_ALL", nullptr);
    scoped.set("LC_CTYPE", nullptr);

    RegFileStore store(records.file("reg"));
    SystemProcessStarter starter;
    const LaunchResult r = launchGame(st, store, starter, c.connect(), c.mods);
    ASSERT_TRUE(r.gameStarted) << r.error;
    const auto recs = waitForWinStubRecords(out, 1, std::chrono::seconds(120));
    ASSERT_EQ(recs.size(), 1u);
    std::cout << "[ line     ] " << c.label << ": " << recs[0].commandLine << "\n";
    ASSERT_FALSE(recs[0].args.empty());
    EXPECT_EQ(recs[0].args[0], onDriveC(driveC, folder / "arma2 game.exe"));
    EXPECT_EQ(std::vector<std::string>(recs[0].args.begin() + 1, recs[0].args.end()), c.args);
    EXPECT_EQ(recs[0].cwd, onDriveC(driveC, folder));
    EXPECT_FALSE(fs::exists(folder / "x")); // nothing ran through a shell
    EXPECT_FALSE(fs::exists("x"));
}

INSTANTIATE_TEST_SUITE_P(Modes, ThroughWine, ::testing::ValuesIn(launchModeCases()), ByLabel());

// Wine writes its registry to system.reg when its server ends; this test therefore comes last
// and starts a server for the prefix again when it is done.
TEST(RealPrefix, TheInstallKeyWineWroteGivesTheGameFolder) {
    NEED_WINE();
    const std::string prefix = env("WINEPREFIX");
    const fs::path driveC = fs::canonical(prefix + "/drive_c");
    const TempDir games(driveC);
    const fs::path game = games.path() / "Bohemia Interactive" / "ArmA 2 \u00dcn\u00ef";
    fs::create_directories(game);
    {
        ScopedEnv scoped;
        scoped.set("LC_ALL", "C.UTF-8");
        // A 32-bit installer's key in a 64-bit prefix lands under Wow6432Node.
        ASSERT_EQ(run({"wine", "reg", "add", "HKLM\\Software\\Bohemia Interactive Studio\\ArmA 2",
                       "/v", "MAIN", "/d", onDriveC(driveC, game), "/reg:32", "/f"}),
                  0);
    }
    run({"wineserver", "-k"});
    run({"wineserver", "-w"});
    run({"wineserver", "-p"});

    EXPECT_EQ(gameFolderInPrefix(prefix), game.string());

    // The launcher's load: no install key in its store, the executable not there yet.
    const TempDir dir;
    RegFileStore store(dir.file("registry.reg"));
    store.openKey(kLauncherKey, true);
    store.writeString("executable", dir.file("gone/arma2oa.exe"));
    store.writeInteger("nosplash", 1);
    store.writeInteger("window", 0);
    store.closeKey();
    LauncherState st;
    RecordingHost host;
    readRegistry(store, st, host, "", prefix);
    EXPECT_EQ(st.settings.gamePath, game.string());
}
