#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quorvale {

// The most entries a table holds; the store may list more, which stay there untouched.
constexpr int TableCapacity = 1025;

// What the watcher plays when it alerts. Stored as a number; a value outside these plays
// nothing and is written back as it was read.
enum class AlertSound : int32_t { None = 0, Default = 1, Files = 2 };

struct ServerEntry {
    int32_t id = 0;
    std::string name;
    std::string host;
    std::string port;      // the game port, as stored: text
    std::string queryPort; // empty: the game port + 1
    std::string password;
    bool joinWithSockets = false; // -sockets, else the old -dplay
    std::string mods;             // mod folders, each followed by ";"
    friend bool operator==(const ServerEntry&, const ServerEntry&) = default;
};

struct LauncherSettings {
    std::string executable;
    std::string gamePath;
    bool gameInstallKeyFound = false; // gamePath came from the game's install key (not stored)
    bool noSplash = false;
    bool runTrackIr = false;
    bool windowed = false;
    bool flashTaskbar = false;
    bool closeAfterLaunch = false;
    AlertSound alertSound = AlertSound::None;
    int32_t maxMemory = 0;
    std::string newGameSound;         // the WAV played when a new game is about to start
    std::string playersBackSound;     // the WAV played when an empty server has players again
    std::string additionalParameters; // the player's own, several arguments as typed
    std::string preLaunchProgram;
    // Where there is no Windows: what starts Windows programs, and in which Wine prefix.
    std::string runner = "wine";
    std::string winePrefix;
    // The server list's internet servers: the master server (empty: Steam's) and the app id its
    // filter adds (empty: none).
    std::string masterServer;
    std::string masterAppId;
    // With a key of the player's own, the list comes from Steam's web API at this address
    // (empty: Steam's) instead of the master server.
    std::string webApiKey;
    std::string webApiUrl;
    std::vector<ServerEntry> history; // the servers joined last, newest first
};

// What a load learnt about a table's subkeys, so that a save touches only what it loaded.
struct StoredKeys {
    std::vector<std::string> listed; // every subkey name the store listed
    std::vector<std::string> loaded; // the names whose entries are in the table
    bool overflowTold = false;       // the user heard once that the table is full
};

struct ModEntry {
    int32_t id = 0; // the number its subkey is named by
    std::string name;
    std::string folder;
    bool checked = false;
};

// The entries in store order; their index is the slot the windows and the launch name.
template <typename Entry> struct Table {
    std::vector<Entry> entries;
    StoredKeys keys;

    int count() const { return static_cast<int>(entries.size()); }
    bool full() const { return count() >= TableCapacity; }
    bool holds(int slot) const { return slot >= 0 && slot < count(); }
};
using ModTable = Table<ModEntry>;
using ServerTable = Table<ServerEntry>;

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
