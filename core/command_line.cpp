#include "command_line.h"

#include <algorithm>

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

std::string browserJoinConnect(const ServerEntry& server, const std::string& player) {
    std::string s = " " + option("-connect=", server.host) + " " + option("-port=", server.port);
    if (!server.password.empty())
        s += " " + option("-password=", server.password);
    s += server.joinWithSockets ? " -sockets " : " -dplay ";
    s += " " + quotedName(player);
    return s;
}

std::string directJoinConnect(const std::string& host, const std::string& port,
                              const std::string& player, const std::string& password) {
    return " " + option("-connect=", host) + " " + option("-port=", port) + " " +
           quotedName(player) + " " + option("-password=", password);
}

std::string buildGameCommandLine(const LauncherState& state, const std::string& connectString,
                                 ModsOfServer modsOfServer) {
    const LauncherSettings& s = state.settings;
    std::string line = windowsProgram(s.executable);
    if (s.noSplash)
        line += " -nosplash";
    if (s.windowed)
        line += " -window";
    if (s.maxMemory > 1)
        line += " -maxmem=" + std::to_string(s.maxMemory);
    if (!s.additionalParameters.empty()) {
        // Pasted line breaks and other control characters would end up inside an argument:
        // they separate, as a blank does.
        std::string extra = s.additionalParameters;
        std::replace_if(
            extra.begin(), extra.end(),
            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
        line += " " + extra + " ";
    }

    std::string mods;
    if (modsOfServer.folders) {
        for (const std::string& folder : *modsOfServer.folders)
            mods += (mods.empty() ? "" : ";") + folder;
    } else if (!modsOfServer.slot) {
        for (const ModEntry& m : state.mods.entries) {
            if (!m.checked)
                continue;
            if (!mods.empty())
                mods += ';';
            mods += m.folder;
        }
    } else if (state.servers.holds(*modsOfServer.slot)) {
        mods = state.servers.entries[static_cast<size_t>(*modsOfServer.slot)].mods;
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
