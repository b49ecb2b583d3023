#pragma once

#include "settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// One argument that a Windows program receives whole (CommandLineToArgvW, the Microsoft C
// runtime): as it is unless it is empty or holds a blank, tab or quote; else quoted, with its
// quotes and the backslashes before them escaped.
std::string windowsArgument(std::string_view text);
// The same, always in quotes, as the name option has always been written.
std::string quotedWindowsArgument(std::string_view text);
// The program at the head of a command line, quoted when it holds a blank or tab. Windows reads
// a quoted program name up to the next quote, with no escapes.
std::string windowsProgram(std::string_view path);

// The connectString of each way of starting the game; each typed or stored text reaches the
// game inside one argument.
std::string singlePlayerConnect(const std::string& player);
std::string windowedConnect(const std::string& player);
std::string hostConnect(const std::string& player);
std::string dedicatedServerConnect(const std::string& player);
std::string browserJoinConnect(const ServerEntry& server, const std::string& player);
std::string directJoinConnect(const std::string& host, const std::string& port,
                              const std::string& player, const std::string& password);

// Whose mods a launch loads: the ticked mods (neither set), a server slot's stored mods, or the
// folders of the known mods a server names, in its order.
struct ModsOfServer {
    std::optional<int> slot;
    std::optional<std::vector<std::string>> folders;
    ModsOfServer(std::nullopt_t = std::nullopt) {}
    ModsOfServer(int serverSlot) : slot(serverSlot) {}
    static ModsOfServer named(std::vector<std::string> serverFolders) {
        ModsOfServer m;
        m.folders = std::move(serverFolders);
        return m;
    }
};
inline const ModsOfServer kTickedMods;

// The game's whole command line. A server slot outside the table gives no mods.
std::string buildGameCommandLine(const LauncherState& state, const std::string& connectString,
                                 ModsOfServer modsOfServer);

} // namespace quorvale
