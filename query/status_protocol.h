#pragma once

#include "server_rules.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvale {

// The status query every server gets: server information and players, no teams (a team
// section would be read as further players).
inline constexpr std::array<uint8_t, 10> StatusRequest = {0xFE, 0xFD, 0x00, 0x43, 0x4F,
                                                          0x52, 0x59, 0xFF, 0xFF, 0x00};

// Players kept from one reply; a reply cannot name more than fit a table row.
inline constexpr size_t MaxReplyPlayers = 1025;

struct StatusPlayer {
    std::string name;
    std::optional<std::string> score; // absent only when the reply was cut inside the group
};

// What one reply says; absent (the key did not occur) and empty are kept apart. Texts are
// UTF-8: field bytes as UTF-8 where they are valid UTF-8, else as Windows-1252.
struct ServerStatusReply {
    std::optional<std::string> numPlayers;
    std::optional<std::string> slots; // maxplayers - 2
    std::optional<std::string> mission;
    std::optional<std::string> gameState;
    std::vector<StatusPlayer> players;
    std::optional<uint16_t> gamePort; // the Steam info reply's, where it tells
    std::optional<ServerMods> mods;   // the Steam rules' mods, or the GameSpy "mod" key's
    std::optional<std::string> hostName;
    std::optional<bool> passworded;
};

// Reads one reply datagram into out. Throws ConvertError when "maxplayers" is not a whole
// number; what was read before it stays in out.
// Whether a datagram is a reply to StatusRequest: it starts with 00 and the request's id.
bool answersStatusRequest(const uint8_t* bytes, size_t count);
void parseStatusReply(const uint8_t* bytes, size_t count, ServerStatusReply& out);
ServerStatusReply parseStatusReply(const uint8_t* bytes, size_t count);

// The watcher's text for a game state code; other codes are shown as they are.
std::string gameStateText(const std::string& code);

} // namespace quorvale
