#pragma once

// The Steam server query: requests, the challenge exchange, split replies and the mapping of
// the replies into the record the GameSpy query fills. Plain C++; every read is bounds-checked.

#include "server_rules.h"
#include "status_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// Opaque: sent back as it came.
using A2sChallenge = std::array<uint8_t, 4>;
// The challenge a player request carries to ask for one.
inline constexpr A2sChallenge A2sAskForChallenge = {0xFF, 0xFF, 0xFF, 0xFF};

enum class A2sRequestKind { Info, Players, Rules };

// The port a server answers the Steam query on: its stored query port, or when none is stored
// the game port + 1. None when the text is no port or there is no port after the game port.
std::optional<uint16_t> a2sQueryPort(const std::string& gamePort, const std::string& queryPort);

// An info request carries no challenge until the server asked for one; a player or rules
// request without one carries A2sAskForChallenge.
std::vector<uint8_t> a2sRequest(A2sRequestKind kind,
                                const std::optional<A2sChallenge>& challenge = std::nullopt);

// Gathers the parts of split replies. Holds a few messages of a few parts each; a part that
// does not fit, contradicts its message or announces a compressed message is an error.
class A2sReassembler {
public:
    static constexpr size_t MaxMessages = 4;
    static constexpr size_t MaxParts = 32;
    static constexpr size_t MaxBytes = 64 * 1024;

    enum class Status { Complete, Pending, Error };
    struct Result {
        Status status = Status::Pending;
        std::vector<uint8_t> payload; // Complete: the reply after its FF FF FF FF header
        std::string error;
    };

    Result accept(const uint8_t* bytes, size_t count);
    size_t pendingMessages() const { return messages_.size(); }
    size_t pendingBytes() const { return bytes_; }

private:
    struct Message {
        uint32_t id;
        uint8_t total;
        std::vector<std::optional<std::vector<uint8_t>>> parts;
        size_t bytes = 0;
    };
    void drop(std::deque<Message>::iterator it);
    std::deque<Message> messages_; // oldest first
    size_t bytes_ = 0;
};

struct A2sInfo {
    std::string name, map, folder, game, version;
    uint16_t appId = 0;
    uint8_t players = 0, maxPlayers = 0, bots = 0;
    uint8_t visibility = 0; // 1: a password is asked
    std::optional<uint16_t> port;
    std::optional<std::string> keywords;
    std::optional<uint64_t> gameId;
};

struct A2sPlayer {
    std::string name;
    int32_t score = 0;
};

struct A2sReply {
    enum class Kind { Error, Challenge, Info, Players, Rules };
    Kind kind = Kind::Error;
    std::string error;
    A2sChallenge challenge{};
    A2sInfo info;
    std::vector<A2sPlayer> players;
    std::vector<RawRule> rules;
};

// Whether a datagram is a Steam query reply: it starts with a -1 or -2 header. A GameSpy reply
// starts with 00.
bool isA2sDatagram(const uint8_t* bytes, size_t count);

// Reads a whole reply, its FF FF FF FF header already taken off.
A2sReply parseA2sPayload(const uint8_t* bytes, size_t count);

// The game state is the number of the "s<number>" tag in the keywords, if there is one.
std::optional<std::string> gameStateOfKeywords(std::string_view keywords);
void applyA2sInfo(const A2sInfo& info, ServerStatusReply& out);
void applyA2sPlayers(const std::vector<A2sPlayer>& players, ServerStatusReply& out);

// One server's query: the info and player requests, and the rules request when asked for, go
// out together; a challenge makes the requests still unanswered go out again with it. A server that
// keeps asking for new challenges gets no more than MaxSendsPerRequest of each request.
class A2sQuery {
public:
    static constexpr int MaxSendsPerRequest = 3;

    struct Step {
        std::vector<std::vector<uint8_t>> send;
        std::optional<std::string> error; // the datagram was bad; the query is failed
    };

    // A challenge this client got from the server before saves a round trip.
    explicit A2sQuery(std::optional<A2sChallenge> known = std::nullopt, bool askRules = false);
    Step start();
    // Sends the requests still unanswered again, each with a fresh allowance of challenges.
    Step retry();
    Step accept(const uint8_t* bytes, size_t count);

    bool hasInfo() const { return info_.answered; }
    bool hasPlayers() const { return players_.answered; }
    bool hasRules() const { return rules_.answered; }
    // Every request asked is answered.
    bool done() const { return hasInfo() && hasPlayers() && (!askRules_ || hasRules()); }
    const std::optional<A2sChallenge>& challenge() const { return challenge_; }
    const ServerStatusReply& reply() const { return reply_; }

private:
    struct Request {
        A2sRequestKind kind;
        bool answered = false;
        int sends = 0;
        std::optional<A2sChallenge> sentWith;
    };
    void send(Request& r, Step& step);
    std::vector<Request*> asked();
    std::optional<A2sChallenge> challenge_;
    bool askRules_ = false;
    Request info_{A2sRequestKind::Info, false, 0, std::nullopt};
    Request players_{A2sRequestKind::Players, false, 0, std::nullopt};
    Request rules_{A2sRequestKind::Rules, false, 0, std::nullopt};
    A2sReassembler reassembler_;
    ServerStatusReply reply_;
};

} // namespace quorvale
