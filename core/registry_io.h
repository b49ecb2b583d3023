#pragma once

#include "registry_store.h"
#include "settings.h"

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace quorvale {

inline constexpr const char* kLauncherKey = "\\Software\\Oskelan\\Quorvale\\";
inline constexpr const char* kModsKey = "\\Software\\Oskelan\\Quorvale\\mods";
inline constexpr const char* kServersKey = "\\Software\\Oskelan\\Quorvale\\servers";
inline constexpr const char* kGameInstallKey = "\\Software\\Bohemia Interactive Studio\\arma 2\\";
inline constexpr const char* kGameUserKey = "\\Software\\Bohemia Interactive Studio\\ArmA 2\\";
inline constexpr const char* kTrackIrKey =
    "\\Software\\NaturalPoint\\NaturalPoint\\NPClient Location\\";

// What a load needs from the main window.
class LoadHost {
public:
    virtual ~LoadHost() = default;
    virtual void showMessage(const std::string& text) = 0;
    // Shows the executable file dialog and returns its file name (the previous one if cancelled).
    virtual std::string chooseExecutable() = 0;
    virtual void refreshLocalAddress() = 0;
    virtual void setLoadedPlayerName(const std::string& text) = 0;
    // Clears the player name list, keeping its text, and fills it.
    virtual void setPlayerList(const std::vector<std::string>& names) = 0;
    virtual void refillModList() = 0;
    virtual void setExecutableLabel(const std::string& text) = 0;
};

// Loads everything. A failed read without fallback throws; what was loaded before it stays.
// Where there is no Windows, a game that neither the store nor the executable places is looked
// for in the Wine prefix the settings name, else in environmentPrefix (empty: nowhere).
void readRegistry(RegistryStore& store, LauncherState& state, LoadHost& host,
                  const std::string& userProfile, const std::string& environmentPrefix = {});
// Stores everything; does nothing when the launcher key does not exist.
void saveRegistry(RegistryStore& store, LauncherState& state);

// The main window's "ch&ange": where the launcher key exists, asks for the executable and
// writes the file chosen; a cancelled dialog that never chose one writes nothing. Returns
// whether it wrote; the caller then reloads.
bool writeExecutableChoice(RegistryStore& store, LoadHost& host);

// USERPROFILE, else HOME.
std::string userProfileFolder();
// The player profiles of each documents folder (USERPROFILE's Documents and My Documents; a
// Wine prefix's): in "ArmA 2" and in the folders of "ArmA 2 Other Profiles", names cut before
// ".ArmA2Profile", ".ArmA2OAProfile" or ".ArmAProfile" and with their %XX decoded; each once.
std::vector<std::string> findProfiles(const std::vector<std::string>& documentFolders);

// A random id in [base, base + 9,999,999] that no entry of the table and no stored subkey uses.
int32_t newModId(const ModTable& mods, std::mt19937& rng, int32_t base = 0);
int32_t newServerId(const ServerTable& servers, std::mt19937& rng, int32_t base = 0);

} // namespace quorvale
