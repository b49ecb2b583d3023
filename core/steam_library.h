#pragma once

#include "settings.h"

#include <optional>
#include <string>
#include <vector>

// Where there is no Windows, the game may be Steam's: found through Steam's own files and run
// by Proton or by Steam itself. Steam on Linux only; Windows finds the game in its registry.
namespace quorvale {

inline constexpr int kArrowheadAppId = 33930;
inline constexpr int kArma2AppId = 33900;

// One Steam installation and the libraries its lists name.
struct SteamInstall {
    std::string root;
    bool flatpak = false;               // Flathub's Steam, started through flatpak
    std::vector<std::string> libraries; // the root first, each existing library once
    std::vector<std::string> problems;  // files left aside, in the player's words
};

// Where Steam's root may be for a home folder, in the order they are tried.
std::vector<std::string> steamRootCandidates(const std::string& home);
// The Steam installations among `roots` that exist, each once however many links lead to it.
std::vector<SteamInstall> findSteamInstalls(const std::vector<std::string>& roots);
// The same for the candidates of $HOME.
std::vector<SteamInstall> findSteamInstalls();

struct SteamGame {
    int appId = 0;
    std::string title;
    std::string root; // of its Steam installation
    bool flatpak = false;
    std::string library;
    std::string folder;     // <library>/steamapps/common/<installdir>
    std::string executable; // in `folder`, its name matched without regard to case
};

// The games the libraries hold with their executable: Operation Arrowhead first, then ArmA 2.
std::vector<SteamGame> findSteamGames(const std::vector<SteamInstall>& installs);
// The game whose folder holds `executable`, else the first of `games`; nothing when none.
std::optional<SteamGame> steamGameFor(const std::vector<SteamGame>& games,
                                      const std::string& executable);

// What Proton keeps for the game: <library>/steamapps/compatdata/<appid>, and the Wine prefix
// in it, pfx, with the game's registry and the player's documents.
std::string compatDataFolder(const SteamGame& game);
std::string compatPrefix(const SteamGame& game);

struct ProtonTool {
    std::string name;   // its folder's name: "Proton 8.0", "GE-Proton9-1"
    std::string script; // the "proton" to run
};
// Steam's Protons (steamapps/common/Proton*/proton in every library), newest first, then those
// installed beside Steam (compatibilitytools.d/*/proton under the root).
std::vector<ProtonTool> findProtons(const std::vector<SteamInstall>& installs);

// The stored "runner" value. "wine" (or nothing) and any other text are the command that starts
// Windows programs, as they always were; two forms choose Steam's own: "proton:" followed by the
// path of a Proton's "proton" script, and "steam".
struct RunnerValue {
    enum Kind { Command, Proton, Steam } kind = Command;
    std::string text; // the command ("wine" when empty), or the Proton script
};
RunnerValue parseRunnerValue(const std::string& stored);
std::string protonRunnerValue(const std::string& script);
inline constexpr const char* kSteamRunnerValue = "steam";

// The choices Options offers for "Run Windows programs with:": Wine, each Proton found, and
// Steam where there is one. A stored value among none of them is a command the player typed.
struct RunnerOption {
    std::string label;
    std::string value;
};
std::vector<RunnerOption> runnerOptions(const std::vector<SteamInstall>& installs);

// The prefix that holds the game's registry and the player's profiles: with Proton or Steam the
// game's compatdata/<appid>/pfx, else the stored prefix or the environment's. Looks for Steam
// under $HOME only for those two.
std::string gamePrefixFolder(const LauncherSettings& settings,
                             const std::string& environmentPrefix);

// What a first start can offer when Steam has the game: its executable and a runner value,
// the newest Proton once Steam has made the game's prefix, else Steam itself.
struct SteamSetup {
    SteamGame game;
    std::string runner;
};
std::optional<SteamSetup> steamSetup(const std::vector<SteamInstall>& installs);

// What a first start tells once it has taken the game from Steam.
std::string steamGameFoundMessage(const SteamSetup& setup);

// What went wrong, in the player's words.
std::string steamNotFoundMessage();
std::string steamWithoutGameMessage(const std::vector<SteamInstall>& installs);
std::string protonMissingMessage(const std::string& script);
std::string compatDataMissingMessage(const SteamGame& game);

} // namespace quorvale
