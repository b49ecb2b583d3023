#pragma once

// A server's mods against the player's: which known mod each one is, which the game itself
// brings, which the player does not have.

#include "settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

struct ServerModMatch {
    std::string name;  // as the server names it
    int slot = -1;     // the known mod's slot, or -1
    bool game = false; // the game itself: an expansion or DLC
    bool missing() const { return slot < 0 && !game; }
};

// The game's own content by the names servers give it: never a mod to load or to miss.
bool isGameContent(std::string_view name);
// Each server mod matched to a known mod by display name or folder, without regard to case;
// a leading "@" on either side does not count.
std::vector<ServerModMatch> matchServerMods(const std::vector<std::string>& names,
                                            const ModTable& mods);
// The folders of the matched mods in the server's order, each once.
std::vector<std::string> matchedFolders(const std::vector<ServerModMatch>& matches,
                                        const ModTable& mods);
std::vector<std::string> missingMods(const std::vector<ServerModMatch>& matches);
// "This server uses 2 mods you do not have: @ACE, @CBA_CO. Join anyway?"
std::string missingModsQuestion(const std::vector<std::string>& missing);

// The display name a mod folder's mod.cpp gives in its `name = "...";`, if it gives one.
std::optional<std::string> modCppName(std::string_view text);
// The same read from <folder>/mod.cpp; only its beginning is read.
std::optional<std::string> readModCppName(const std::string& folder);

} // namespace quorvale
