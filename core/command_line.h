#pragma once

#include "settings.h"

#include <string>

namespace quorvale {

// The connectString of each way of starting the game.
std::string singlePlayerConnect(const std::string& player);
std::string windowedConnect(const std::string& player);
std::string hostConnect(const std::string& player);
std::string dedicatedServerConnect(const std::string& player);
std::string browserJoinConnect(const ServerTable& servers, int slot, const std::string& player);
std::string directJoinConnect(const std::string& host, const std::string& port,
                              const std::string& player, const std::string& password);

// The game's whole command line. launchMode -1 takes the ticked mods, otherwise the mods of
// that server slot (a slot outside the table gives no mods).
std::string buildGameCommandLine(const LauncherState& state, const std::string& connectString,
                                 int32_t launchMode);

} // namespace quorvale
