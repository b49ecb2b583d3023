#pragma once

#include "command_line.h"
#include "process_starter.h"
#include "registry_store.h"
#include "settings.h"

#include <string>

namespace quorvale {

struct LaunchResult {
    std::string commandLine; // the game's command line as started
    bool gameStarted = false;
    std::string error;          // for the user, when the game did not start
    bool closeLauncher = false; // `close` is set and the game started
};

// The pre-launch program, TrackIR and the game, in that order; none is waited for. The first
// two fail silently; a game that cannot start is reported through the result.
LaunchResult launchGame(const LauncherState& state, RegistryStore& store, ProcessStarter& starter,
                        const std::string& connectString, ModsOfServer modsOfServer);

// The TrackIR program from its registry key, or empty when the key, value or folder is missing.
std::string trackIrProgram(RegistryStore& store);

} // namespace quorvale
