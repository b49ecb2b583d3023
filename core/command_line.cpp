#include "command_line.h"

namespace quorvale {

namespace {
std::string quotedName(const std::string& player) {
    return "\"-name=" + player + "\"";
}
} // namespace

std::string singlePlayerConnect(const std::string& player) {
    return " " + quotedName(player) + " ";
}

std::string windowedConnect(const std::string& player) {
    return " -window " + quotedName(player) + " ";
}

std::string hostConnect(const std::string& player) {
    return "-host " + quotedName(player);
}

std::string dedicatedServerConnect(const std::string& player) {
    return "-server -config=server.cfg " + quotedName(player);
}

std::string browserJoinConnect(const ServerTable& servers, int slot, const std::string& player) {
    std::string s = " -connect=" + servers.ip[slot] + " -port=" + servers.port[slot];
    if (!servers.pass[slot].empty())
        s += " -password=" + servers.pass[slot];
    s += servers.sockets[slot] ? " -sockets " : " -dplay ";
    s += " " + quotedName(player);
    return s;
}

std::string directJoinConnect(const std::string& host, const std::string& port,
                              const std::string& player, const std::string& password) {
    return " -connect=" + host + " -port=" + port + " " + quotedName(player) +
           " -password=" + password;
}

std::string buildGameCommandLine(const LauncherState& state, const std::string& connectString,
                                 int32_t launchMode) {
    const LauncherSettings& s = state.settings;
    std::string line = s.executable;
    if (s.nosplash)
        line += " -nosplash";
    if (s.window)
        line += " -window";
    if (s.maxmem > 1)
        line += " -maxmem=" + std::to_string(s.maxmem);
    if (!s.extraParams.empty())
        line += " " + s.extraParams + " ";

    std::string mods;
    if (launchMode == -1) {
        for (int i = 0; i <= state.mods.lastIndex; ++i) {
            if (!state.mods.checked[i])
                continue;
            if (!mods.empty())
                mods += ';';
            mods += state.mods.dir[i];
        }
    } else if (launchMode >= 0 && launchMode <= state.servers.lastIndex) {
        mods = state.servers.mods[launchMode];
    }
    if (!mods.empty() && mods.back() == ';')
        mods.back() = ' ';
    if (!mods.empty())
        line += " -mod=" + mods;
    line += " " + connectString;
    return line;
}

} // namespace quorvale
