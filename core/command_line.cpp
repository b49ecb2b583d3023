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

std::string browserJoinConnect(const ServerEntry& server, const std::string& player) {
    std::string s = " -connect=" + server.host + " -port=" + server.port;
    if (!server.password.empty())
        s += " -password=" + server.password;
    s += server.joinWithSockets ? " -sockets " : " -dplay ";
    s += " " + quotedName(player);
    return s;
}

std::string directJoinConnect(const std::string& host, const std::string& port,
                              const std::string& player, const std::string& password) {
    return " -connect=" + host + " -port=" + port + " " + quotedName(player) +
           " -password=" + password;
}

std::string buildGameCommandLine(const LauncherState& state, const std::string& connectString,
                                 ModsOfServer modsOfServer) {
    const LauncherSettings& s = state.settings;
    std::string line = s.executable;
    if (s.noSplash)
        line += " -nosplash";
    if (s.windowed)
        line += " -window";
    if (s.maxMemory > 1)
        line += " -maxmem=" + std::to_string(s.maxMemory);
    if (!s.additionalParameters.empty())
        line += " " + s.additionalParameters + " ";

    std::string mods;
    if (!modsOfServer) {
        for (const ModEntry& m : state.mods.entries) {
            if (!m.checked)
                continue;
            if (!mods.empty())
                mods += ';';
            mods += m.folder;
        }
    } else if (state.servers.holds(*modsOfServer)) {
        mods = state.servers.entries[static_cast<size_t>(*modsOfServer)].mods;
    }
    if (!mods.empty() && mods.back() == ';')
        mods.back() = ' ';
    if (!mods.empty())
        line += " -mod=" + mods;
    line += " " + connectString;
    return line;
}

} // namespace quorvale
