#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quorvale {

constexpr int TableCapacity = 1025;

struct LauncherSettings {
    std::string executable;
    std::string gamePath;
    bool gameInstallKeyFound = false; // gamePath came from the game's install key (not stored)
    bool nosplash = false;
    bool runtir = false;
    bool window = false;
    bool flash = false;
    bool close = false;
    int32_t watchers = 0;
    int32_t maxmem = 0;
    std::string sound1;
    std::string sound2;
    std::string extraParams;
    std::string extraExec;
    // Where there is no Windows: what starts Windows programs, and in which Wine prefix.
    std::string runner = "wine";
    std::string wineprefix;
};

// What a load learnt about a table's subkeys, so that a save touches only what it loaded.
struct StoredKeys {
    std::vector<std::string> listed; // every subkey name the store listed
    std::vector<std::string> loaded; // the names whose entries are in the table
    bool overflowTold = false;       // the user heard once that the table is full
};

struct ModTable {
    int32_t lastIndex = -1;
    std::array<int32_t, TableCapacity> id{};
    std::array<std::string, TableCapacity> name;
    std::array<std::string, TableCapacity> dir;
    std::array<bool, TableCapacity> checked{};
    StoredKeys keys;

    int count() const { return lastIndex + 1; }
};

struct ServerTable {
    int32_t lastIndex = -1;
    std::array<int32_t, TableCapacity> id{};
    std::array<std::string, TableCapacity> name;
    std::array<std::string, TableCapacity> ip;
    std::array<std::string, TableCapacity> port;
    std::array<std::string, TableCapacity> queryPort; // empty: the game port + 1
    std::array<std::string, TableCapacity> pass;
    std::array<bool, TableCapacity> sockets{};
    std::array<std::string, TableCapacity> mods;
    StoredKeys keys;

    // Working columns of the server browser; never stored.
    std::array<std::string, TableCapacity> resolvedIp;
    std::array<uint32_t, TableCapacity> queryTick{};
    std::array<int32_t, TableCapacity> playerCount{};
    // Grow with the replies, to at most TableCapacity names per server.
    std::array<std::vector<std::string>, TableCapacity> playerName;
    std::array<std::vector<std::string>, TableCapacity> playerScore;

    int count() const { return lastIndex + 1; }
};

// What a load learnt about the launcher key's own values, so that a save writes only those
// this run read or the player changed; a value the load never came to stays as stored.
struct StoredValues {
    std::set<std::string> read; // value names read by the last load or written since
    LauncherSettings asLoaded;  // the settings as the last load began
};

struct LauncherState {
    LauncherSettings settings;
    StoredValues storedSettings;
    ModTable mods;
    ServerTable servers;
};

} // namespace quorvale
