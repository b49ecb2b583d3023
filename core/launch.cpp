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

LaunchResult launchGame(const LauncherState& state, RegistryStore& store, ProcessStarter& starter,
                        const std::string& connectString, ModsOfServer modsOfServer) {
    const LauncherSettings& s = state.settings;
    const WindowsRunner runner{s.runner, s.winePrefix};
    LaunchResult result;
    if (s.executable.empty()) {
        // Nothing else is started for a game that cannot be.
        result.error = "No game executable is chosen. Choose the ArmA 2 executable with "
                       "\"change\" in the main window.";
        return result;
    }

    if (!s.preLaunchProgram.empty())
        starter.start(s.preLaunchProgram, s.gamePath, runner);

    if (s.runTrackIr) {
        const std::string program = trackIrProgram(store);
        if (!program.empty())
            starter.start(windowsProgram(program), pathToUtf8(pathFromUtf8(program).parent_path()),
                          runner);
    }

    result.commandLine = buildGameCommandLine(state, connectString, modsOfServer);
    const StartResult started = starter.start(result.commandLine, s.gamePath, runner);
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
