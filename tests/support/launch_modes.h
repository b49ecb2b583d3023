#pragma once

#include "command_line.h"
#include "settings.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Every way of starting the game, with the arguments the game must receive after its own name.
// One table for the Linux stub, the Windows build's start and the Windows stub under Wine, so
// all three give the game the same arguments.
struct LaunchCase {
    const char* label;
    std::function<void(quorvale::LauncherState&)> change;
    std::function<std::string()> connect;
    quorvale::ModsOfServer mods;
    std::vector<std::string> args;
};

inline void PrintTo(const LaunchCase& c, std::ostream* os) {
    *os << c.label;
}

// Two ticked mods, one with a blank; a server that carries its own.
inline void prepareLaunchState(quorvale::LauncherState& st) {
    st.settings.noSplash = true;
    st.mods.entries = {{0, "", "@dirA", true}, {0, "", "@dir B", true}};
    st.servers.entries = {{0, "", "127.0.0.1", "2302", "", "", false, "@dirA;"}};
}

inline std::vector<LaunchCase> launchModeCases() {
    using namespace quorvale;
    using S = LauncherState;
    const std::string hostile = "; $(touch x) `id` \" ' & |";
    return {
        {"single",
         [](S&) {},
         [] { return singlePlayerConnect("Alpha"); },
         kTickedMods,
         {"-nosplash", "-mod=@dirA;@dir B", "-name=Alpha"}},
        {"windowed",
         [](S& s) { s.settings.windowed = true; },
         [] { return windowedConnect("Alpha"); },
         kTickedMods,
         {"-nosplash", "-window", "-mod=@dirA;@dir B", "-window", "-name=Alpha"}},
        {"host",
         [](S& s) { s.settings.maxMemory = 2; },
         [] { return hostConnect("Alpha"); },
         kTickedMods,
         {"-nosplash", "-maxmem=2", "-mod=@dirA;@dir B", "-host", "-name=Alpha"}},
        {"dedicated",
         [](S& s) { s.settings.maxMemory = 1; },
         [] { return dedicatedServerConnect("Alpha"); },
         kTickedMods,
         {"-nosplash", "-mod=@dirA;@dir B", "-server", "-config=server.cfg", "-name=Alpha"}},
        {"browserJoin",
         [](S& s) { s.settings.additionalParameters = "-world=empty -x"; },
         [] {
             return browserJoinConnect({0, "", "127.0.0.1", "2302", "", "pw", false, ""}, "Alpha");
         },
         0,
         {"-nosplash", "-world=empty", "-x", "-mod=@dirA", "-connect=127.0.0.1", "-port=2302",
          "-password=pw", "-dplay", "-name=Alpha"}},
        {"directJoinHostile",
         [](S& s) { s.mods.entries.clear(); },
         [hostile] { return directJoinConnect("h; rm -rf /", "2302 | id", hostile, "a&b"); },
         kTickedMods,
         {"-nosplash", "-connect=h; rm -rf /", "-port=2302 | id", "-name=" + hostile,
          "-password=a&b"}},
        {"singleHostileName",
         [](S& s) { s.mods.entries.clear(); },
         [hostile] { return singlePlayerConnect(hostile); },
         kTickedMods,
         {"-nosplash", "-name=" + hostile}},
        // Stored and typed texts that would bring arguments of their own.
        {"storedTextSmuggles",
         [](S& s) { s.servers.entries[0].mods = "@m1;@m2 -cfg=evil.cfg"; },
         [] {
             return browserJoinConnect({0, "", "127.0.0.1", "2302", "", "x -init=hint2", false, ""},
                                       "Jo\" -init=evil \"x");
         },
         0,
         {"-nosplash", "-mod=@m1;@m2 -cfg=evil.cfg", "-connect=127.0.0.1", "-port=2302",
          "-password=x -init=hint2", "-dplay", "-name=Jo\" -init=evil \"x"}},
        {"typedTextSmuggles",
         [](S& s) { s.mods.entries[1].folder = "@q\\\" -init=hint \"x\\"; },
         [] { return directJoinConnect("h", "2302", "Zo\\", "p w\\"); },
         kTickedMods,
         {"-nosplash", "-mod=@dirA;@q\\\" -init=hint \"x\\", "-connect=h", "-port=2302",
          "-name=Zo\\", "-password=p w\\"}},
        // Paths with blanks and backslashes, quotes, names beyond ASCII.
        {"backslashesAndNonAscii",
         [](S& s) {
             s.settings.additionalParameters =
                 "\"-profiles=C:\\Users\\Zo\u00eb B\\\\\" -cfg=C:\\a\\\\b\\ -x=a\\\"b";
             s.mods.entries[0].folder = "@\u010cech";
         },
         [] { return singlePlayerConnect("Zo\u00eb"); },
         kTickedMods,
         {"-nosplash", "-profiles=C:\\Users\\Zo\u00eb B\\", "-cfg=C:\\a\\\\b\\", "-x=a\"b",
          "-mod=@\u010cech;@dir B", "-name=Zo\u00eb"}},
    };
}
