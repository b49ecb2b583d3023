#include "command_line.h"

namespace quorvale {

std::string quotedWindowsArgument(std::string_view text) {
    std::string out = "\"";
    size_t backslashes = 0; // a run, whose meaning depends on what follows it
    for (const char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\'); // the closing quote follows
    return out + '"';
}

std::string windowsArgument(std::string_view text) {
    if (!text.empty() && text.find_first_of(" \t\"") == std::string_view::npos)
        return std::string(text);
    return quotedWindowsArgument(text);
}

std::string windowsProgram(std::string_view path) {
    if (path.find_first_of(" \t") == std::string_view::npos)
        return std::string(path);
    return "\"" + std::string(path) + "\"";
}

namespace {
std::string quotedName(const std::string& player) {
    return quotedWindowsArgument("-name=" + player);
}

std::string option(const char* name, const std::string& value) {
    return windowsArgument(name + value);
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
    std::string s =
        " " + option("-connect=", servers.ip[slot]) + " " + option("-port=", servers.port[slot]);
    if (!servers.pass[slot].empty())
        s += " " + option("-password=", servers.pass[slot]);
    s += servers.sockets[slot] ? " -sockets " : " -dplay ";
    s += " " + quotedName(player);
    return s;
}

std::string directJoinConnect(const std::string& host, const std::string& port,
                              const std::string& player, const std::string& password) {
    return " " + option("-connect=", host) + " " + option("-port=", port) + " " +
           quotedName(player) + " " + option("-password=", password);
}

std::string buildGameCommandLine(const LauncherState& state, const std::string& connectString,
                                 int32_t launchMode) {
    const LauncherSettings& s = state.settings;
    std::string line = windowsProgram(s.executable);
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
    // A stored list ends in ";", which has always become a blank after the option.
    const bool trailingSeparator = !mods.empty() && mods.back() == ';';
    if (trailingSeparator)
        mods.pop_back();
    if (!mods.empty() || trailingSeparator)
        line += " " + option("-mod=", mods) + (trailingSeparator ? " " : "");
    line += " " + connectString;
    return line;
}

} // namespace quorvale
