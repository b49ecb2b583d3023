#pragma once

// Steam's master server list: the page request, the addresses of a reply and the walk from
// page to page. Plain C++; every read is bounds-checked.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quorvale {

// A server's Steam query address as the master lists it; the IPv4 address in host order.
struct MasterAddress {
    uint32_t ip = 0;
    uint16_t port = 0;
    friend bool operator==(const MasterAddress&, const MasterAddress&) = default;
};

inline constexpr uint8_t MasterRegionAll = 0xFF;
inline constexpr char DefaultMasterServer[] = "hl2master.steampowered.com:27011";
inline constexpr uint16_t DefaultMasterPort = 27011;

// "\gamedir\arma2arrowpc", with "\appid\N" after it when an app id is given.
std::string masterFilter(std::optional<uint32_t> appId = std::nullopt);
// The request for the page after `seed` (0.0.0.0:0 for the first).
std::vector<uint8_t> masterRequest(const MasterAddress& seed, std::string_view filter,
                                   uint8_t region = MasterRegionAll);
// "1.2.3.4:27016".
std::string addressText(const MasterAddress& a);
// "host" or "host:port"; none for an empty host or a port that is no port.
std::optional<std::pair<std::string, uint16_t>> splitHostPort(std::string_view text,
                                                              uint16_t defaultPort);
// The port to join a listed server on: the game port its info reply gave, else the query port
// minus one; none when neither names a port.
std::optional<uint16_t> masterJoinPort(std::optional<uint16_t> infoGamePort, uint16_t queryPort);

struct MasterReply {
    bool readable = false;
    std::vector<MasterAddress> servers; // in the reply's order, up to the end mark
    bool ended = false;                 // the end mark 0.0.0.0:0 came
    std::string note;                   // why it is unreadable, or what of it was left unread
};

MasterReply parseMasterReply(const uint8_t* bytes, size_t count);

// One listing: the request for the page still to come, and what each reply adds. A reply that
// brings no new address (a page sent twice, or late) leaves the seed where it is, so the walk
// never goes back; every address is listed once.
class MasterListing {
public:
    explicit MasterListing(std::string filter = masterFilter(), uint8_t region = MasterRegionAll);

    std::vector<uint8_t> request() const { return masterRequest(seed_, filter_, region_); }

    enum class Outcome { Page, Ended, Repeated, Ignored };
    struct Step {
        Outcome outcome = Outcome::Ignored;
        size_t added = 0;
        std::string note;
    };
    Step accept(const uint8_t* bytes, size_t count);

    const std::vector<MasterAddress>& servers() const { return servers_; }
    const MasterAddress& seed() const { return seed_; }
    bool ended() const { return ended_; }
    int pages() const { return pages_; }

private:
    static uint64_t key(const MasterAddress& a) { return (uint64_t(a.ip) << 16) | a.port; }
    std::string filter_;
    uint8_t region_;
    MasterAddress seed_;
    std::vector<MasterAddress> servers_;
    std::unordered_set<uint64_t> known_;
    bool ended_ = false;
    int pages_ = 0;
};

} // namespace quorvale
