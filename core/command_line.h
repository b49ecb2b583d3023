#pragma once

#include "settings.h"

#include <optional>
#include <string>

namespace quorvale {

// The connectString of each way of starting the game.
std::string singlePlayerConnect(const std::string& player);
std::string windowedConnect(const std::string& player);
std::string hostConnect(const std::string& player);
std::string dedicatedServerConnect(const std::string& player);
std::string browserJoinConnect(const ServerEntry& server, const std::string& player);
std::string directJoinConnect(const std::string& host, const std::string& port,
                              const std::string& player, const std::string& password);

// Whose mods a launch loads: a server slot's stored mods, or none for the ticked mods.
using ModsOfServer = std::optional<int>;
inline constexpr ModsOfServer kTickedMods = std::nullopt;

// The game's whole command line. A server slot outside the table gives no mods.
std::string buildGameCommandLine(const LauncherState& state, const std::string& connectString,
                                 ModsOfServer modsOfServer);

} // namespace quorvale
