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
    int32_t mode;
    std::vector<std::string> args;
};

inline void PrintTo(const LaunchCase& c, std::ostream* os) {
    *os << c.label;
}

// Two ticked mods, one with a blank; a server that carries its own.
inline void prepareLaunchState(quorvale::LauncherState& st) {
    st.settings.nosplash = true;
    st.mods.lastIndex = 1;
    st.mods.dir[0] = "@dirA";
    st.mods.checked[0] = true;
    st.mods.dir[1] = "@dir B";
    st.mods.checked[1] = true;
    st.servers.lastIndex = 0;
    st.servers.ip[0] = "127.0.0.1";
    st.servers.port[0] = "2302";
    st.servers.mods[0] = "@dirA;";
}

inline std::vector<LaunchCase> launchModeCases() {
    using namespace quorvale;
    using S = LauncherState;
    const std::string hostile = "; $(touch x) `id` \" ' & |";
    return {
        {"single",
         [](S&) {},
         [] { return singlePlayerConnect("Alpha"); },
         -1,
         {"-nosplash", "-mod=@dirA;@dir B", "-name=Alpha"}},
        {"windowed",
         [](S& s) { s.settings.window = true; },
         [] { return windowedConnect("Alpha"); },
         -1,
         {"-nosplash", "-window", "-mod=@dirA;@dir B", "-window", "-name=Alpha"}},
        {"host",
         [](S& s) { s.settings.maxmem = 2; },
         [] { return hostConnect("Alpha"); },
         -1,
         {"-nosplash", "-maxmem=2", "-mod=@dirA;@dir B", "-host", "-name=Alpha"}},
        {"dedicated",
         [](S& s) { s.settings.maxmem = 1; },
         [] { return dedicatedServerConnect("Alpha"); },
         -1,
         {"-nosplash", "-mod=@dirA;@dir B", "-server", "-config=server.cfg", "-name=Alpha"}},
        {"browserJoin",
         [](S& s) { s.settings.extraParams = "-world=empty -x"; },
         [] {
             S st;
             st.servers.ip[0] = "127.0.0.1";
             st.servers.port[0] = "2302";
             st.servers.pass[0] = "pw";
             return browserJoinConnect(st.servers, 0, "Alpha");
         },
         0,
         {"-nosplash", "-world=empty", "-x", "-mod=@dirA", "-connect=127.0.0.1", "-port=2302",
          "-password=pw", "-dplay", "-name=Alpha"}},
        {"directJoinHostile",
         [](S& s) { s.mods.lastIndex = -1; },
         [hostile] { return directJoinConnect("h; rm -rf /", "2302 | id", hostile, "a&b"); },
         -1,
         {"-nosplash", "-connect=h; rm -rf /", "-port=2302 | id", "-name=" + hostile,
          "-password=a&b"}},
        {"singleHostileName",
         [](S& s) { s.mods.lastIndex = -1; },
         [hostile] { return singlePlayerConnect(hostile); },
         -1,
         {"-nosplash", "-name=" + hostile}},
        // Stored and typed texts that would bring arguments of their own.
        {"storedTextSmuggles",
         [](S& s) { s.servers.mods[0] = "@m1;@m2 -cfg=evil.cfg"; },
         [] {
             S st;
             st.servers.ip[0] = "127.0.0.1";
             st.servers.port[0] = "2302";
             st.servers.pass[0] = "x -init=hint2";
             return browserJoinConnect(st.servers, 0, "Jo\" -init=evil \"x");
         },
         0,
         {"-nosplash", "-mod=@m1;@m2 -cfg=evil.cfg", "-connect=127.0.0.1", "-port=2302",
          "-password=x -init=hint2", "-dplay", "-name=Jo\" -init=evil \"x"}},
        {"typedTextSmuggles",
         [](S& s) { s.mods.dir[1] = "@q\\\" -init=hint \"x\\"; },
         [] { return directJoinConnect("h", "2302", "Zo\\", "p w\\"); },
         -1,
         {"-nosplash", "-mod=@dirA;@q\\\" -init=hint \"x\\", "-connect=h", "-port=2302",
          "-name=Zo\\", "-password=p w\\"}},
        // Paths with blanks and backslashes, quotes, names beyond ASCII.
        {"backslashesAndNonAscii",
         [](S& s) {
             s.settings.extraParams =
                 "\"-profiles=C:\\Users\\Zo\u00eb B\\\\\" -cfg=C:\\a\\\\b\\ -x=a\\\"b";
             s.mods.dir[0] = "@\u010cech";
         },
         [] { return singlePlayerConnect("Zo\u00eb"); },
         -1,
         {"-nosplash", "-profiles=C:\\Users\\Zo\u00eb B\\", "-cfg=C:\\a\\\\b\\", "-x=a\"b",
          "-mod=@\u010cech;@dir B", "-name=Zo\u00eb"}},
    };
}
