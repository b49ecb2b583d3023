#include "status_protocol.h"

#include "errors.h"
#include "text.h"

#include <algorithm>
#include <string_view>

namespace quorvale {

namespace {
enum class Key { None, Mission, NumPlayers, MaxPlayers, GameState, Mods, HostName, Password };

Key keyOf(std::string_view f) {
    if (f == "mission")
        return Key::Mission;
    if (f == "numplayers")
        return Key::NumPlayers;
    if (f == "maxplayers")
        return Key::MaxPlayers;
    if (f == "gameState")
        return Key::GameState;
    if (f == "mod")
        return Key::Mods;
    if (f == "hostname")
        return Key::HostName;
    if (f == "password")
        return Key::Password;
    return Key::None;
}
} // namespace

bool answersStatusRequest(const uint8_t* bytes, size_t count) {
    return count >= 5 && bytes[0] == 0 &&
           std::equal(bytes + 1, bytes + 5, StatusRequest.begin() + 3);
}

void parseStatusReply(const uint8_t* bytes, size_t count, ServerStatusReply& out) {
    out = ServerStatusReply();
    // Keys and values alternate until an empty key; then come the player section's field names,
    // the last beginning with "deaths_", and the players. Only a field in a key's place is read
    // as a key, so no name or value a server passes on is taken for one.
    enum class Section { Keys, Names, Players };
    Section section = Section::Keys;
    bool keyPlace = true;
    Key pending = Key::None;
    int countdown = 2;
    bool lastKept = false; // the group being read has a player in out
    // 00 and the request id come before the first key.
    size_t start = count >= 5 && bytes[0] == 0 ? 5 : 0;
    for (size_t i = start; i < count; ++i) {
        if (bytes[i] != 0)
            continue;
        const std::string_view f(reinterpret_cast<const char*>(bytes + start), i - start);
        start = i + 1;
        const bool deaths = f.substr(0, 7) == "deaths_";
        if (section == Section::Keys && keyPlace) {
            if (deaths) {
                section = Section::Players;
            } else if (f.empty() || f.substr(0, 7) == "player_") {
                section = Section::Names;
            } else {
                pending = keyOf(f);
                keyPlace = false;
            }
            continue;
        }
        if (section == Section::Keys) {
            keyPlace = true;
            switch (pending) {
            case Key::Mission:
                out.mission = decodeUtf8OrCp1252(f);
                break;
            case Key::NumPlayers:
                out.numPlayers = decodeUtf8OrCp1252(f);
                break;
            case Key::MaxPlayers: {
                int32_t v;
                const std::string text = decodeUtf8OrCp1252(f);
                if (!tryStrToInt(text, v))
                    throw ConvertError(text);
                out.slots = std::to_string(static_cast<int64_t>(v) - 2);
                break;
            }
            case Key::GameState:
                out.gameState = decodeUtf8OrCp1252(f);
                break;
            case Key::Mods:
                out.mods = modsOfListValue(f);
                break;
            case Key::HostName:
                out.hostName = decodeUtf8OrCp1252(f);
                break;
            case Key::Password:
                out.passworded = !f.empty() && f != "0";
                break;
            case Key::None:
                break;
            }
            continue;
        }
        if (section == Section::Names) {
            if (deaths)
                section = Section::Players;
            continue;
        }
        --countdown;
        if (countdown < 1) {
            // Past the cap the groups are still counted, only not kept.
            lastKept = out.players.size() < MaxReplyPlayers;
            if (lastKept)
                out.players.push_back({decodeUtf8OrCp1252(f), std::nullopt});
            countdown = 4;
        } else if (countdown == 2 && lastKept) {
            out.players.back().score = decodeUtf8OrCp1252(f);
        }
    }
}

ServerStatusReply parseStatusReply(const uint8_t* bytes, size_t count) {
    ServerStatusReply r;
    parseStatusReply(bytes, count, r);
    return r;
}

std::string gameStateText(const std::string& code) {
    if (code == "1")
        return "Selecting mission";
    if (code == "3")
        return "Setting up";
    if (code == "5")
        return "Loading mission";
    if (code == "6")
        return "Briefing";
    if (code == "7")
        return "Game in progress...";
    if (code == "8" || code == "9")
        return "Debriefing";
    return code;
}

} // namespace quorvale
