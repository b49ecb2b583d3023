#pragma once

#include "settings.h"

#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// The server editor's list: the server's mods in its stored order, ticked (slot -1 for a folder
// that no mod of the table has any more), then the table's other mods, unticked.
struct ServerModItem {
    std::string folder;
    int slot = -1;
    bool ticked = false;
};
std::vector<ServerModItem> serverModItems(std::string_view mods, const ModTable& table);
// The ticked folders in the list's order, each followed by ";".
std::string modsFromItems(const std::vector<ServerModItem>& items);

// Stores an entry into the selected slot, or into a new slot when selected is -1. A new entry
// gets a fresh id; returns false, changing nothing, when the table has no room for it.
bool saveModEntry(ModTable& table, int selected, const std::string& name, const std::string& dir,
                  std::mt19937& rng);

struct ServerFields {
    std::string name, host, port, password, queryPort;
};
// The server's mods as stored: folders, each followed by ";".
bool saveServerEntry(ServerTable& servers, int selected, const ServerFields& fields,
                     const std::string& mods, std::mt19937& rng);

// The slot of the favourite with this host (in any case) and game port, or -1.
int favouriteSlot(const ServerTable& servers, std::string_view host, std::string_view port);

// The servers joined last, newest first: one entry per host and game port.
inline constexpr size_t HistoryCapacity = 50;
void rememberJoined(std::vector<ServerEntry>& history, ServerEntry joined);
// One line per server: host, game port, query port and name, apart by tabs. A name's tabs and
// line breaks become blanks; lines without a host are skipped.
std::string historyText(const std::vector<ServerEntry>& history);
std::vector<ServerEntry> parseHistory(std::string_view text);

// The master server setting as typed: "host" or "host:port". What is wrong with it, or empty.
std::string masterAddressProblem(std::string_view text);
// The app id setting: empty, or a whole number from 1 on. What is wrong with it, or empty.
std::string appIdProblem(std::string_view text);
// The Steam web API key setting: empty, or letters and digits only.
std::string webApiKeyProblem(std::string_view text);
// The app id an accepted setting names; none for an empty one.
std::optional<uint32_t> appIdOf(std::string_view text);

// Closes the gap of the selected slot in place; selected -1 removes nothing.
void deleteModEntry(ModTable& table, int selected);
// Ids stay with their slots: the servers after it move up, each taking the id before it.
void deleteServerEntry(ServerTable& servers, int selected);

inline constexpr int MaxFoundMods = 1001;

struct ModScan {
    bool gameFolderUnknown = false;
    std::vector<std::string> found; // new mod folders that fit, in listing order
    std::vector<std::string> names; // their display names: mod.cpp's, else the folder's
    int leftOut = 0;                // further new mod folders that do not fit
    bool scanLimitHit = false;      // they were left out by the per-scan cap, not a full list
};

// Lists gamePath for mod folders (holding "addons" or "dta", in any case) whose name is no display
// name of the table yet, nor is the name their mod.cpp gives. Hidden and system entries
// are skipped.
ModScan scanForMods(const std::string& gamePath, const ModTable& table);
std::string scanQuestion(const ModScan& scan);
std::string tableFullMessage(const char* what);
std::string leftOutMessage(const ModScan& scan);
inline constexpr const char* kGameFolderUnknown =
    "The game folder is unknown, so there is no folder to scan for mods. Choose the ArmA 2 "
    "executable in the main window first.";
// The same when the game's install key is there but names no folder: choosing the executable
// would not help then.
inline constexpr const char* kGameFolderNotInInstallKey =
    "The game folder is unknown, so there is no folder to scan for mods: the game's install "
    "key (HKEY_LOCAL_MACHINE\\Software\\Bohemia Interactive Studio\\ArmA 2) names no folder "
    "in its value \"MAIN\". Set \"MAIN\" to the game's folder, or install the game again.";

// Appends each folder as an unticked mod, as one add after another would, named by its display
// name when one is given, else by the folder.
void addFoundMods(ModTable& table, const std::vector<std::string>& folders, std::mt19937& rng,
                  const std::function<void(const std::string&)>& trace,
                  const std::vector<std::string>& displayNames = {});

// A generator seeded from the clock, as each new entry's draw is.
inline std::mt19937 clockSeededRng() {
    return std::mt19937(static_cast<std::mt19937::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));
}

// Equal where only the letters a-z and A-Z ignore case.
bool sameAsciiNoCase(std::string_view a, std::string_view b);

} // namespace quorvale
