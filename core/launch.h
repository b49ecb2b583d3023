#pragma once

#include "command_line.h"
#include "process_starter.h"
#include "registry_store.h"
#include "settings.h"
#ifndef _WIN32
#include "steam_library.h"
#endif

#include <string>

namespace quorvale {

struct LaunchResult {
    std::string commandLine; // the game's command line as started
    bool gameStarted = false;
    std::string error;          // for the user, when the game did not start
    bool closeLauncher = false; // `close` is set and the game started
};

// The pre-launch program, TrackIR and the game, in that order; none is waited for. The first
// two fail silently; a game that cannot start is reported through the result. A runner of
// Steam's is looked for under $HOME.
LaunchResult launchGame(const LauncherState& state, RegistryStore& store, ProcessStarter& starter,
                        const std::string& connectString, ModsOfServer modsOfServer);

#ifndef _WIN32
// How a launch starts the Windows programs for the stored runner value: the game, and the
// others (the pre-launch program, TrackIR). With Proton both run in the game's prefix; with
// Steam, Steam starts the game and the others go through Wine, as before.
struct LaunchRunners {
    WindowsRunner game;
    WindowsRunner others;
    std::string problem; // not empty: nothing should start, and this tells the player why
};
LaunchRunners launchRunners(const LauncherSettings& settings,
                            const std::vector<SteamInstall>& installs);
#endif

// The TrackIR program from its registry key, or empty when the key, value or folder is missing.
std::string trackIrProgram(RegistryStore& store);

} // namespace quorvale
