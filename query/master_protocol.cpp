#include "master_protocol.h"

#include "text.h"

#include <cstring>

namespace quorvale {

namespace {
constexpr uint8_t kReplyHeader[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
constexpr size_t kEntry = 6;
} // namespace

std::string masterFilter(std::optional<uint32_t> appId) {
    std::string f = "\\gamedir\\arma2arrowpc";
    if (appId)
        f += "\\appid\\" + std::to_string(*appId);
    return f;
}

std::string addressText(const MasterAddress& a) {
    return std::to_string(a.ip >> 24) + "." + std::to_string((a.ip >> 16) & 0xFF) + "." +
           std::to_string((a.ip >> 8) & 0xFF) + "." + std::to_string(a.ip & 0xFF) + ":" +
           std::to_string(a.port);
}

std::vector<uint8_t> masterRequest(const MasterAddress& seed, std::string_view filter,
                                   uint8_t region) {
    std::vector<uint8_t> d{0x31, region};
    const std::string s = addressText(seed);
    d.insert(d.end(), s.begin(), s.end());
    d.push_back(0);
    // A zero inside the filter would end it early on the master's side.
    for (const char c : filter)
        if (c != '\0')
            d.push_back(static_cast<uint8_t>(c));
    d.push_back(0);
    return d;
}

std::optional<std::pair<std::string, uint16_t>> splitHostPort(std::string_view text,
                                                              uint16_t defaultPort) {
    const size_t colon = text.rfind(':');
    std::string host(text.substr(0, colon));
    uint16_t port = defaultPort;
    if (colon != std::string_view::npos && !tryParsePort(std::string(text.substr(colon + 1)), port))
        return std::nullopt;
    if (host.empty() || host.find(':') != std::string::npos)
        return std::nullopt;
    return std::pair{std::move(host), port};
}

std::optional<uint16_t> masterJoinPort(std::optional<uint16_t> infoGamePort, uint16_t queryPort) {
    if (infoGamePort && *infoGamePort != 0)
        return infoGamePort;
    if (queryPort > 1)
        return static_cast<uint16_t>(queryPort - 1);
    return std::nullopt;
}

MasterReply parseMasterReply(const uint8_t* bytes, size_t count) {
    MasterReply r;
    if (count < sizeof kReplyHeader || std::memcmp(bytes, kReplyHeader, sizeof kReplyHeader) != 0) {
        r.note = "The master server's reply has no known header";
        return r;
    }
    const uint8_t* p = bytes + sizeof kReplyHeader;
    const size_t entries = (count - sizeof kReplyHeader) / kEntry;
    const size_t rest = (count - sizeof kReplyHeader) % kEntry;
    if (entries == 0 && rest != 0) {
        r.note = "The master server's reply is cut inside its first address";
        return r;
    }
    r.readable = true;
    for (size_t i = 0; i < entries; ++i, p += kEntry) {
        MasterAddress a;
        a.ip = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        a.port = static_cast<uint16_t>(p[4] << 8 | p[5]);
        if (a.ip == 0 && a.port == 0) {
            r.ended = true;
            return r;
        }
        r.servers.push_back(a);
    }
    if (rest != 0)
        r.note = "The master server's reply ends inside an address; its last " +
                 std::to_string(rest) + " bytes are left unread";
    return r;
}

MasterListing::MasterListing(std::string filter, uint8_t region)
    : filter_(std::move(filter)), region_(region) {}

MasterListing::Step MasterListing::accept(const uint8_t* bytes, size_t count) {
    Step step;
    if (ended_) {
        step.note = "The master server's list has already ended";
        return step;
    }
    MasterReply reply = parseMasterReply(bytes, count);
    step.note = std::move(reply.note);
    if (!reply.readable)
        return step;
    for (const MasterAddress& a : reply.servers) {
        if (known_.insert(key(a)).second) {
            servers_.push_back(a);
            ++step.added;
        }
    }
    if (reply.servers.empty() && !reply.ended) {
        // Nothing after the seed: the end, though without its mark.
        reply.ended = true;
        step.note = "The master server's list ended without its end mark";
    }
    if (step.added == 0 && !reply.ended) {
        step.outcome = Outcome::Repeated;
        return step;
    }
    if (!reply.servers.empty())
        seed_ = reply.servers.back();
    ++pages_;
    ended_ = reply.ended;
    step.outcome = ended_ ? Outcome::Ended : Outcome::Page;
    return step;
}

} // namespace quorvale
