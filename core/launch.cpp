#include "launch.h"
#include "paths.h"

#include "command_line.h"
#include "registry_io.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace quorvale {

std::string trackIrProgram(RegistryStore& store) {
    std::string folder;
    try {
        store.setRoot(RootKey::CurrentUser);
        KeyScope scope(store);
        if (store.openKeyReadOnly(kTrackIrKey))
            folder = store.readString("Path");
        scope.close();
    } catch (const std::exception&) {
        return {};
    }
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(pathFromUtf8(folder), ec))
        return {};
    const bool backslashes =
        folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
    const char sep = backslashes ? '\\' : '/';
    if (folder.back() != sep)
        folder += sep;
    return folder + "TrackIR.exe";
}

#ifndef _WIN32
LaunchRunners launchRunners(const LauncherSettings& settings,
                            const std::vector<SteamInstall>& installs) {
    const RunnerValue value = parseRunnerValue(settings.runner);
    LaunchRunners r;
    r.game = r.others = WindowsRunner{settings.runner, settings.winePrefix, {}, true};
    if (value.kind == RunnerValue::Command)
        return r;
    const auto game = steamGameFor(findSteamGames(installs), settings.executable);
    if (!game) {
        r.problem = steamWithoutGameMessage(installs);
        return r;
    }
    const std::string appId = std::to_string(game->appId);
    std::error_code ec;
    if (value.kind == RunnerValue::Steam) {
        RunnerCommand steam;
        steam.words = game->flatpak
                          ? std::vector<std::string>{"flatpak", "run", "com.valvesoftware.Steam"}
                          : std::vector<std::string>{"steam"};
        steam.words.insert(steam.words.end(), {"-applaunch", appId});
        r.game = WindowsRunner{{}, {}, steam, false};
        r.others.command = "wine";
        return r;
    }
    if (!fs::is_regular_file(pathFromUtf8(value.text), ec)) {
        r.problem = protonMissingMessage(value.text);
        return r;
    }
    if (!fs::is_directory(pathFromUtf8(compatDataFolder(*game)), ec)) {
        r.problem = compatDataMissingMessage(*game);
        return r;
    }
    // What Steam sets around "proton run" for the game; Proton picks the prefix from them.
    RunnerCommand proton;
    proton.environment = {{"STEAM_COMPAT_DATA_PATH", compatDataFolder(*game)},
                          {"STEAM_COMPAT_CLIENT_INSTALL_PATH", game->root},
                          {"SteamAppId", appId},
                          {"SteamGameId", appId}};
    proton.words = {value.text, "run"};
    r.game = r.others = WindowsRunner{{}, {}, proton, true};
    return r;
}
#endif

LaunchResult launchGame(const LauncherState& state, RegistryStore& store, ProcessStarter& starter,
                        const std::string& connectString, ModsOfServer modsOfServer) {
    const LauncherSettings& s = state.settings;
    LaunchResult result;
    if (s.executable.empty()) {
        // Nothing else is started for a game that cannot be.
        result.error = "No game executable is chosen. Choose the ArmA 2 executable with "
                       "\"change\" in the main window.";
        return result;
    }
#ifdef _WIN32
    const WindowsRunner runner{}, gameRunner{};
#else
    const bool steamsRunner = parseRunnerValue(s.runner).kind != RunnerValue::Command;
    const LaunchRunners runners =
        launchRunners(s, steamsRunner ? findSteamInstalls() : std::vector<SteamInstall>());
    if (!runners.problem.empty()) {
        result.error = runners.problem;
        return result;
    }
    const WindowsRunner& runner = runners.others;
    const WindowsRunner& gameRunner = runners.game;
#endif

    if (!s.preLaunchProgram.empty())
        starter.start(s.preLaunchProgram, s.gamePath, runner);

    if (s.runTrackIr) {
        const std::string program = trackIrProgram(store);
        if (!program.empty())
            starter.start(windowsProgram(program), pathToUtf8(pathFromUtf8(program).parent_path()),
                          runner);
    }

    result.commandLine = buildGameCommandLine(state, connectString, modsOfServer);
    const StartResult started = starter.start(result.commandLine, s.gamePath, gameRunner);
    result.gameStarted = started.started;
    if (!started.started) {
        // A missing executable is named whole, blanks and all.
        std::error_code ec;
        const std::string why = fs::exists(pathFromUtf8(s.executable), ec)
                                    ? started.error
                                    : "The program " + s.executable + " was not found.";
        result.error = "The game could not be started:\n" + s.executable + "\n" + why;
    }
    result.closeLauncher = s.closeAfterLaunch && started.started;
    return result;
}

} // namespace quorvale
