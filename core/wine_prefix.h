#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where there is no Windows, the game is a Windows installation in a Wine prefix: its registry
// lives in text files there, its drives are folders named by dosdevices/.
namespace quorvale {

// String values (REG_SZ or REG_EXPAND_SZ, not expanded) from the text of a Wine registry file
// (system.reg, user.reg): for each of `keyPaths` (relative to the hive, Software\A\B) its
// value `valueName`, or nothing where the key, the value or its whole text is missing. Names
// compare without regard to case; what the reader does not understand it skips, and a text that
// is no such file gives nothing at all.
std::vector<std::optional<std::string>>
wineRegistryStrings(std::string_view fileText, const std::vector<std::string>& keyPaths,
                    std::string_view valueName);

// $WINEPREFIX, else ~/.wine: where Wine itself looks when nothing else is said.
std::string environmentWinePrefix();
// The prefix the launcher uses: the stored one ("~" for the home folder), else the environment's.
std::string winePrefixFolder(const std::string& stored, const std::string& environmentPrefix);

// A Windows path as the prefix holds it: "C:\Games\ArmA 2" through dosdevices/c: to
// ".../drive_c/Games/ArmA 2", each name matched without regard to case, as Windows matches.
// Nothing when the path has no drive letter or names nothing that exists.
std::optional<std::string> unixPathInPrefix(const std::string& prefix,
                                            std::string_view windowsPath);

// The game's install folder as the prefix's registry names it ("MAIN" of the game's keys, also
// where a 32-bit installer writes in a 64-bit prefix), when that folder exists; else empty.
std::string gameFolderInPrefix(const std::string& prefix);

// The name the game last played with, as it stored it in the prefix's user.reg ("Player Name"
// of Software\Bohemia Interactive Studio\ArmA 2, else of ArmA 2 OA); empty when none.
std::string playerNameInPrefix(const std::string& prefix);

// The player's document folders in the prefix (drive_c/users/<name>/Documents and the older
// My Documents) that exist; they stand where USERPROFILE's documents stand on Windows.
std::vector<std::string> documentFoldersInPrefix(const std::string& prefix);

} // namespace quorvale
